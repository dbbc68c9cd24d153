#pragma once
#include <cstddef>
#include <cstdint>

namespace kelvaro::mbus {

// How a record's data is shown, as far as the VIF decides it.
enum class VifKind : std::uint8_t {
    Number,       // scaled number in `unit`
    Date,         // type G (or by data length)
    DateTime,     // types F, I, J by data length
    Digits,       // fabrication number, identification: digits as sent
    BitField,     // error flags, digital in/out: shown as hex
    Text,         // plain-text VIF: the text comes from the telegram
    Manufacturer, // manufacturer-specific VIF
    Reserved,     // code without meaning: shown as hex
};

// One entry of the static VIF tables. Records point at these; nothing here
// is allocated per record.
// The value in `unit` is (raw x 10^exponent - subtrahend) x multiplier / divisor;
// `factor` is that scale as one number, for display decisions.
struct VifInfo {
    const char* german;
    const char* english;
    const char* unit;      // display unit (UTF-8), "" when none
    double factor;         // raw x factor = value in `unit` (without the subtrahend)
    std::int8_t decimals;  // decimals of the display
    VifKind kind;
    bool unsignedInt = false;     // counters, addresses, baud rate: never negative
    std::int8_t exponent = 0;
    std::uint16_t multiplier = 1; // m³/min and m³/s shown in m³/h; 5 for °F
    std::uint16_t divisor = 1;    // 9 for °F, 4096 for the 2^-12 rating factors
    std::int16_t subtrahend = 0;  // 32 for a °F temperature shown in °C
};

enum class VifTable : std::uint8_t { Primary, FB, FD };

// The entry for a code (extension bit ignored) of one table.
const VifInfo& LookupVif(VifTable table, std::uint8_t code);

// Entries used outside the VIF tables.
const VifInfo& PlainTextVif();
const VifInfo& ManufacturerDataInfo();   // DIF 0F/1F
const VifInfo& FixedCounterInfo(std::uint8_t unitCode, bool& valid); // CI 73 unit codes
const VifInfo& UndecodableInfo();        // tail that could not be decoded
const VifInfo& GlobalReadoutInfo();      // DIF 7F
const VifInfo& EncryptedInfo();          // undecodable tail behind a signature

// Every entry handed out above has a number below kVifInfoCount, so that what is
// made from an entry (its display texts) can be made once and kept per entry.
inline constexpr std::size_t kVifInfoCount = 3 * 128 + 64 + 5;
std::size_t VifInfoIndex(const VifInfo& info); // kVifInfoCount for any other VifInfo
const VifInfo& VifInfoAt(std::size_t index);   // index < kVifInfoCount

} // namespace kelvaro::mbus
