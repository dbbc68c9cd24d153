#include "mbus/datafield.h"

#include <charconv>
#include <cmath>

namespace kelvaro::mbus::detail {

NumberBytes numberBytes(const std::uint8_t* p, std::size_t n, bool msbFirst)
{
    NumberBytes out{};
    out.n = n;
    for (std::size_t i = 0; i < n; ++i)
        out.b[i] = msbFirst ? p[n - 1 - i] : p[i];
    return out;
}

std::uint64_t unsignedValue(const NumberBytes& nb)
{
    std::uint64_t v = 0;
    for (std::size_t i = nb.n; i-- > 0;)
        v = (v << 8) | nb.b[i];
    return v;
}

std::int64_t signedValue(const NumberBytes& nb)
{
    const std::uint64_t v = unsignedValue(nb);
    if (nb.n == 0 || nb.n >= 8)
        return static_cast<std::int64_t>(v);
    const std::uint64_t sign = std::uint64_t(1) << (8 * nb.n - 1);
    return static_cast<std::int64_t>((v ^ sign) - sign);
}

// BCD, LSB first. A most significant F nibble is a minus sign; all F is
// "no value"; any other A-F nibble makes the value invalid.
ValueType bcdValue(const NumberBytes& nb, std::int64_t& out)
{
    const std::size_t digits = nb.n * 2;
    bool allF = true;
    for (std::size_t i = 0; i < nb.n; ++i)
        allF = allF && nb.b[i] == 0xFF;
    if (allF && nb.n > 0)
        return ValueType::Empty;
    std::int64_t v = 0;
    bool negative = false;
    for (std::size_t d = digits; d-- > 0;) {
        const unsigned nibble = (nb.b[d / 2] >> (4 * (d % 2))) & 0xF;
        if (nibble > 9) {
            if (d == digits - 1 && nibble == 0xF) {
                negative = true;
                continue;
            }
            return ValueType::Invalid;
        }
        v = v * 10 + nibble;
    }
    out = negative ? -v : v;
    return ValueType::Number;
}

namespace {

int fullYear(int yy, int hundredYears)
{
    if (hundredYears > 0)
        return 1900 + 100 * hundredYears + yy;
    return yy <= 80 ? 2000 + yy : 1900 + yy;
}

bool allZero(const NumberBytes& nb)
{
    for (std::size_t i = 0; i < nb.n; ++i)
        if (nb.b[i] != 0)
            return false;
    return true;
}

} // namespace

// Types G (2 bytes), J (3), F (4) and I (6), chosen by length.
ValueType dateValue(const NumberBytes& nb, DateParts& d)
{
    if (allZero(nb))
        return ValueType::Empty;
    const std::uint8_t* b = nb.b;
    auto dateFrom = [&](std::uint8_t dayByte, std::uint8_t monthByte) {
        d.day = dayByte & 0x1F;
        d.month = monthByte & 0x0F;
        return ((dayByte & 0xE0) >> 5) | ((monthByte & 0xF0) >> 1);
    };
    auto dateOk = [&](int yy) { return yy <= 99 && d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31; };
    switch (nb.n) {
    case 2: {
        const int yy = dateFrom(b[0], b[1]);
        d.year = static_cast<std::uint16_t>(fullYear(yy, 0));
        return dateOk(yy) ? ValueType::Date : ValueType::Invalid;
    }
    case 3:
        d.second = b[0] & 0x3F;
        d.minute = b[1] & 0x3F;
        d.hour = b[2] & 0x1F;
        d.hasSeconds = true;
        return d.second <= 59 && d.minute <= 59 && d.hour <= 23 ? ValueType::Time : ValueType::Invalid;
    case 4: {
        d.minute = b[0] & 0x3F;
        d.hour = b[1] & 0x1F;
        d.summerTime = (b[1] & 0x80) != 0;
        const int yy = dateFrom(b[2], b[3]);
        d.year = static_cast<std::uint16_t>(fullYear(yy, (b[1] >> 5) & 3));
        const bool ok = !(b[0] & 0x80) && dateOk(yy) && d.hour <= 23 && d.minute <= 59;
        return ok ? ValueType::DateTime : ValueType::Invalid;
    }
    case 6: {
        d.second = b[0] & 0x3F;
        d.minute = b[1] & 0x3F;
        d.hour = b[2] & 0x1F;
        d.hasSeconds = true;
        const int yy = dateFrom(b[3], b[4]);
        d.year = static_cast<std::uint16_t>(fullYear(yy, 0));
        const bool ok = !(b[1] & 0x80) && dateOk(yy) && d.hour <= 23 && d.minute <= 59 && d.second <= 59;
        return ok ? ValueType::DateTime : ValueType::Invalid;
    }
    default:
        return ValueType::Invalid;
    }
}

namespace {

// Powers of ten up to 10^22 are exact in a double.
double exactPow10(int e)
{
    static const double table[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    return e >= 0 && e <= 22 ? table[e] : std::pow(10.0, e);
}

} // namespace

Scale ScaleOf(const VifInfo& info)
{
    Scale s;
    s.exponent = info.exponent;
    s.multiplier = info.multiplier;
    s.divisor = info.divisor;
    s.subtrahend = info.subtrahend;
    return s;
}

double ScaledValue(double mantissa, int mantissaExponent, const Scale& scale)
{
    double m = mantissa;
    int e = mantissaExponent;
    if (scale.offsetThousandths != 0) {
        if (e > -3) {
            m *= exactPow10(e + 3);
            e = -3;
        }
        m += scale.offsetThousandths * exactPow10(-3 - e);
    }
    e += scale.exponent;
    // value = (m x 10^e - subtrahend) x multiplier / divisor, as one fraction
    const double p = e < 0 ? exactPow10(-e) : 1.0;
    double numerator = e < 0 ? m : m * exactPow10(e);
    numerator = (numerator - scale.subtrahend * p) * scale.multiplier;
    return numerator / (p * scale.divisor);
}

void FloatDigits(float f, double& mantissa, int& exponent)
{
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, f, std::chars_format::scientific);
    mantissa = 0;
    exponent = 0;
    if (ec != std::errc())
        return;
    // d[.ddd]e±xx
    const char* p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    std::int64_t digits = 0;
    int fraction = 0;
    bool inFraction = false;
    for (; p < end && *p != 'e'; ++p) {
        if (*p == '.') {
            inFraction = true;
            continue;
        }
        digits = digits * 10 + (*p - '0');
        fraction += inFraction ? 1 : 0;
    }
    int e = 0;
    if (p < end) { // e±xx
        const bool negativeExponent = p + 1 < end && p[1] == '-';
        for (p += 2; p < end; ++p)
            e = e * 10 + (*p - '0');
        e = negativeExponent ? -e : e;
    }
    mantissa = static_cast<double>(negative ? -digits : digits);
    exponent = e - fraction;
}

} // namespace kelvaro::mbus::detail
