#pragma once
#include "mbus/vif.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvaro::mbus {

// Why a telegram (or its tail) could not be decoded.
enum class DecodeError : std::uint8_t {
    None,
    Empty,
    FrameIncomplete,
    FrameStart,
    FrameLength,
    FrameChecksum,
    FrameStop,
    NotDataFrame,    // E5 or short frame
    NotResponse,     // master-to-slave frame
    UnsupportedCi,
    HeaderTooShort,
    FixedLength,     // CI 73/77 without its 16 bytes
    // Record errors: the records before stay decoded.
    PrematureEnd,
    TooManyDife,
    TooManyVife,
    ReservedDif,
    ReservedLvar,
    TooManyRecords,
};

// German text of an error, e.g. "Prüfsumme falsch".
const char* DecodeErrorText(DecodeError error);
bool IsRecordError(DecodeError error);

enum class ValueType : std::uint8_t {
    None,      // record without data
    Number,    // `value` (and `raw`)
    Date,      // type G
    DateTime,  // type F or I
    Time,      // type J
    Text,      // characters in the telegram (LVAR text, plain-text VIF data)
    Hex,       // bytes shown as hex (manufacturer data, long binary)
    Empty,     // "no value" marker of the meter (00 00 date, all-F BCD, VIFE 15)
    Invalid,   // bad BCD digit, impossible date, NaN, record error VIFE
};

struct DateParts {
    std::uint16_t year = 0;
    std::uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool hasSeconds = false;
    bool summerTime = false;
};

// One data record: plain values that point into the telegram's bytes and the
// static VIF tables. Texts are made from it only when asked for (recordtext.h).
struct DataRecord {
    const VifInfo* info = nullptr;
    double value = 0;               // the scaled number, in the unit UnitText names
    std::int64_t raw = 0;           // integer or BCD as sent
    std::uint64_t storage = 0;
    std::uint32_t tariff = 0;
    std::uint16_t subunit = 0;
    std::uint16_t offset = 0;       // DIF position in the telegram bytes
    std::uint16_t vibOffset = 0;    // VIF position
    std::uint16_t dataOffset = 0;   // first data byte (the LVAR byte for variable length)
    std::uint8_t difeCount = 0;
    std::uint8_t vibLength = 0;     // VIF, plain text, VIFEs
    std::uint8_t dataLength = 0;    // including an LVAR byte
    std::uint8_t dif = 0;
    std::uint8_t vif = 0;           // first VIF byte (FB/FD for the extension tables)
    std::uint8_t trueVif = 0;       // the code inside its table
    std::uint8_t textOffset = 0;    // plain-text VIF: text position inside the VIB
    std::uint8_t textLength = 0;
    std::uint8_t vifeStart = 0;     // first VIFE inside the VIB
    std::uint8_t vifeCount = 0;
    std::uint8_t errorCode = 0;     // record error VIFE (0 = none)
    std::uint8_t perTime = 0;       // VIFE 20..26 + 1, unit suffix "/s" .. "/Jahr"
    std::uint8_t durationUnit = 0;  // duration VIFE (E101 ufnn, E110 0fnn): 1..4 = s, min, h, d
    bool timePoint = false;         // a date or time (VIF or date VIFE): no physical unit
    std::int8_t decimals = 0;
    ValueType type = ValueType::None;
    bool unsignedRaw = false;
    DateParts date;

    std::uint8_t function() const { return (dif >> 4) & 3; }
    std::uint8_t dataField() const { return dif & 0x0F; }
};

inline constexpr std::size_t kMaxRecords = 255;
inline constexpr std::size_t kMaxFrameSize = 261;

// A decoded RSP_UD. Reused between telegrams: decoding keeps the record
// vector's capacity, so a reading loop allocates nothing after the first one.
struct Telegram {
    std::array<std::uint8_t, kMaxFrameSize> bytes{};
    std::uint16_t size = 0;
    std::uint16_t payloadOffset = 0; // first byte after CI

    std::uint8_t c = 0, a = 0, ci = 0;
    bool hasId = false;          // CI 72/73/76/77
    bool hasShortHeader = false; // access, status, signature present
    bool fixedStructure = false;
    bool msbFirst = false;       // CI 76/77
    std::uint32_t idRaw = 0;     // identification bytes as a number (BCD in hex)
    std::uint16_t manufacturer = 0;
    std::uint8_t version = 0;
    std::uint8_t medium = 0;
    std::uint8_t accessNumber = 0;
    std::uint8_t status = 0;
    std::uint16_t signature = 0;

    bool applicationError = false; // CI 70
    std::uint8_t applicationErrorCode = 0;

    std::vector<DataRecord> records;
    bool moreRecordsFollow = false; // last record DIF 1F
    DecodeError error = DecodeError::None;
    std::uint16_t errorOffset = 0;  // where the undecodable tail starts

    std::span<const std::uint8_t> frame() const { return {bytes.data(), size}; }
    std::span<const std::uint8_t> recordBytes(const DataRecord& r) const
    {
        return {bytes.data() + r.dataOffset, r.dataLength};
    }
    void clear();
};

// Decodes one complete long frame (68 L L 68 ... 16). Returns false when the
// frame itself is unusable (telegram.error says why, no records); true when the
// header is decoded. A record that cannot be decoded ends the record list:
// telegram.error then names it and a last record ("nicht decodierbar", or
// "verschlüsselt" when the header carries a signature) holds the rest of the
// user data as hex.
bool DecodeTelegram(std::span<const std::uint8_t> frame, Telegram& telegram);

// Identification as eight decimal digits; false when a nibble is not a digit.
bool IdentificationDigits(std::uint32_t idRaw, char out[8]);
// Manufacturer code to three letters; false (and "????") when not valid.
bool ManufacturerLetters(std::uint16_t code, char out[3]);

} // namespace kelvaro::mbus
