#pragma once
#include "mbus/telegram.h"

#include <cstddef>
#include <cstdint>

// Reading the fixed-size data fields of a record: integers, BCD and dates.
namespace kelvaro::mbus::detail {

// Bytes of a number field in LSB-first order (mode 2 telegrams send MSB first).
struct NumberBytes {
    std::uint8_t b[8];
    std::size_t n;
};

// At most 8 bytes of `p`, reordered when the telegram sends MSB first.
NumberBytes numberBytes(const std::uint8_t* p, std::size_t n, bool msbFirst);
std::uint64_t unsignedValue(const NumberBytes& nb);
std::int64_t signedValue(const NumberBytes& nb);
// BCD, LSB first: Number, Empty (all F) or Invalid (other A-F nibbles).
ValueType bcdValue(const NumberBytes& nb, std::int64_t& out);
// Types G (2 bytes), J (3), F (4) and I (6), chosen by length.
ValueType dateValue(const NumberBytes& nb, DateParts& d);

} // namespace kelvaro::mbus::detail
