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

// How a record's number becomes its value in the display unit: the VIF's
// scale with the corrections of its VIFEs.
struct Scale {
    int exponent = 0;              // power of ten of one LSB
    std::uint32_t multiplier = 1;
    std::uint32_t divisor = 1;
    int subtrahend = 0;            // in the scaled unit, before multiplier and divisor
    int offsetThousandths = 0;     // VIFE 78..7B: added to the number, in 1/1000 LSB
};

Scale ScaleOf(const VifInfo& info);

// mantissa x 10^mantissaExponent (an integer mantissa) scaled. Computed with
// one rounding where the parts are exact in a double, so that 453 x 10^-1 is
// the double nearest to 45.3 and prints as "45.3".
double ScaledValue(double mantissa, int mantissaExponent, const Scale& scale);

// The shortest decimal digits that read back as `f`: f = mantissa x 10^exponent.
void FloatDigits(float f, double& mantissa, int& exponent);

} // namespace kelvaro::mbus::detail
