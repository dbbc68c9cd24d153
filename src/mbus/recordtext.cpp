#include "mbus/recordtext.h"

#include "foundation/cp1252.h"
#include "foundation/textutil.h"

#include <array>
#include <cmath>
#include <cstring>

// These texts are made for every record a reading shows (log, grid, consoles),
// so they are built with as few conversions and allocations as possible: fixed
// texts are not converted per call, strings are sized before they are filled.
namespace kelvaro::mbus {

namespace {

// A text of static storage, without copy or conversion.
QString literal(QStringView text)
{
    return QString::fromRawData(text.data(), text.size());
}

template <std::size_t N>
QString literal(const char16_t (&text)[N])
{
    return QString::fromRawData(reinterpret_cast<const QChar*>(text), N - 1);
}

template <std::size_t N, std::size_t M>
QString pick(Language language, const char16_t (&german)[N], const char16_t (&english)[M])
{
    return language == Language::German ? literal(german) : literal(english);
}

// The names and units of the VIF tables, converted from UTF-8 once.
class VifTexts {
public:
    VifTexts()
    {
        for (std::size_t i = 0; i < kVifInfoCount; ++i) {
            const VifInfo& info = VifInfoAt(i);
            texts_[i] = {QString::fromUtf8(info.german), QString::fromUtf8(info.english),
                         QString::fromUtf8(info.unit)};
        }
    }

    QString name(const VifInfo& info, Language language) const
    {
        const std::size_t i = VifInfoIndex(info);
        const bool de = language == Language::German;
        if (i == kVifInfoCount)
            return QString::fromUtf8(de ? info.german : info.english);
        return de ? texts_[i].german : texts_[i].english;
    }

    QString unit(const VifInfo& info) const
    {
        const std::size_t i = VifInfoIndex(info);
        return i == kVifInfoCount ? QString::fromUtf8(info.unit) : texts_[i].unit;
    }

private:
    struct Entry {
        QString german, english, unit;
    };
    std::array<Entry, kVifInfoCount> texts_;
};

const VifTexts& vifTexts()
{
    static const VifTexts texts;
    return texts;
}

// Room for the digits of any 64-bit number with sign, decimal comma and padding.
constexpr std::size_t kNumberRoom = 48;

// The decimal digits of `v`, at least `minDigits` of them, written backwards so
// that the last one lands just before `end`; returns the first.
char16_t* digitsBefore(char16_t* end, std::uint64_t v, int minDigits = 1)
{
    do {
        *--end = static_cast<char16_t>(u'0' + v % 10);
        v /= 10;
        --minDigits;
    } while (v != 0 || minDigits > 0);
    return end;
}

QString textOf(const char16_t* first, const char16_t* end)
{
    return QString(reinterpret_cast<const QChar*>(first), end - first);
}

QString integerText(std::uint64_t magnitude, bool negative)
{
    char16_t buffer[kNumberRoom];
    char16_t* const end = buffer + kNumberRoom;
    char16_t* first = digitsBefore(end, magnitude);
    if (negative)
        *--first = u'-';
    return textOf(first, end);
}

void appendNumber(QString& text, std::uint64_t v)
{
    char16_t buffer[kNumberRoom];
    char16_t* const end = buffer + kNumberRoom;
    const char16_t* first = digitsBefore(end, v);
    text.append(QStringView(first, end));
}

constexpr std::int64_t kPow10[] = {1,           10,           100,           1000,           10000,
                                   100000,      1000000,      10000000,      100000000,      1000000000,
                                   10000000000, 100000000000, 1000000000000, 10000000000000, 100000000000000,
                                   1000000000000000};

// GermanNumber(v, decimals), written directly when v is the double nearest to an
// integer n over 10^decimals with |n| < 10^15: then the error of v is below half
// a unit of the last decimal, so the rounded decimal text is n's digits exactly.
// Anything else goes to GermanNumber, with the rounding it has.
QString fixedDecimalText(double v, int decimals)
{
    constexpr int kMaxDecimals = static_cast<int>(std::size(kPow10)) - 1;
    constexpr double kLimit = 1e15;
    if (decimals >= 0 && decimals <= kMaxDecimals && std::fabs(v) < kLimit / double(kPow10[decimals])) {
        const double scale = static_cast<double>(kPow10[decimals]);
        const std::int64_t n = std::llround(v * scale);
        const double back = static_cast<double>(n) / scale;
        if (std::memcmp(&back, &v, sizeof v) == 0 && (n < 0 ? -n : n) < std::int64_t(kLimit)) {
            const bool negative = n < 0;
            const std::uint64_t magnitude = static_cast<std::uint64_t>(negative ? -n : n);
            const std::uint64_t unit = static_cast<std::uint64_t>(kPow10[decimals]);
            char16_t buffer[kNumberRoom];
            char16_t* const end = buffer + kNumberRoom;
            char16_t* first = end;
            if (decimals > 0) {
                first = digitsBefore(first, magnitude % unit, decimals);
                *--first = u',';
            }
            first = digitsBefore(first, magnitude / unit);
            if (negative)
                *--first = u'-';
            return textOf(first, end);
        }
    }
    return GermanNumber(v, decimals);
}

QString hexBytes(const std::uint8_t* p, std::size_t n, bool spaced)
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    if (n == 0)
        return {};
    const qsizetype size = static_cast<qsizetype>(spaced ? 3 * n - 1 : 2 * n);
    QString s(size, Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(s.data());
    for (std::size_t i = 0; i < n; ++i) {
        if (spaced && i > 0)
            *out++ = u' ';
        *out++ = digits[p[i] >> 4];
        *out++ = digits[p[i] & 15];
    }
    return s;
}

// `digits` upper-case hex digits of v at least, more when v needs them.
QString hexNumber(std::uint64_t v, int digits)
{
    static const char16_t hex[] = u"0123456789ABCDEF";
    char16_t buffer[kNumberRoom];
    char16_t* const end = buffer + kNumberRoom;
    char16_t* first = end;
    do {
        *--first = hex[v & 15];
        v >>= 4;
        --digits;
    } while (v != 0 || (digits > 0 && first > buffer));
    return textOf(first, end);
}

QString reversedText(const std::uint8_t* p, std::size_t n)
{
    char bytes[256];
    n = n < sizeof bytes ? n : sizeof bytes;
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(p[n - 1 - i]);
    return FromWin1252(QByteArray::fromRawData(bytes, static_cast<qsizetype>(n)));
}

// Two digits of a date or time field.
char16_t* twoDigits(char16_t* out, int v)
{
    *out++ = static_cast<char16_t>(u'0' + v / 10 % 10);
    *out++ = static_cast<char16_t>(u'0' + v % 10);
    return out;
}

char16_t* dateDigits(char16_t* out, const DateParts& d)
{
    out = twoDigits(out, d.day);
    *out++ = u'.';
    out = twoDigits(out, d.month);
    *out++ = u'.';
    char16_t year[kNumberRoom];
    const char16_t* first = digitsBefore(year + kNumberRoom, d.year);
    while (first < year + kNumberRoom)
        *out++ = *first++;
    return out;
}

char16_t* timeDigits(char16_t* out, const DateParts& d)
{
    out = twoDigits(out, d.hour);
    *out++ = u':';
    out = twoDigits(out, d.minute);
    if (d.hasSeconds) {
        *out++ = u':';
        out = twoDigits(out, d.second);
    }
    return out;
}

QString numberText(const DataRecord& r)
{
    if (r.decimals < 0) { // a float: as many digits as it carries
        const double v = r.value;
        QString s = std::fabs(v) >= 1e7 || (v != 0 && std::fabs(v) < 1e-4) ? QString::number(v, 'f', 6)
                                                                           : QString::number(v, 'g', 7);
        if (s.contains(QLatin1Char('.')) && !s.contains(QLatin1Char('e'))) {
            while (s.endsWith(QLatin1Char('0')))
                s.chop(1);
            if (s.endsWith(QLatin1Char('.')))
                s.chop(1);
        }
        return s.replace(QLatin1Char('.'), QLatin1Char(','));
    }
    // The raw bits of an unsigned field of 64 bits can exceed the signed range.
    const double rawValue = r.unsignedRaw ? static_cast<double>(static_cast<std::uint64_t>(r.raw))
                                          : static_cast<double>(r.raw);
    if (r.decimals == 0 && r.value == rawValue && r.info->factor == 1) {
        const bool negative = !r.unsignedRaw && r.raw < 0;
        const auto bits = static_cast<std::uint64_t>(r.raw);
        return integerText(negative ? 0 - bits : bits, negative);
    }
    return fixedDecimalText(r.value, r.decimals);
}

constexpr QStringView kPerTime[8] = {u"", u"/s", u"/min", u"/h", u"/d", u"/Woche", u"/Monat", u"/Jahr"};

// The first byte of a variable-length record's data field is its length, not data.
unsigned lengthByteCount(const DataRecord& r)
{
    const bool variable = r.dataField() == 0x0D && r.info != &ManufacturerDataInfo()
                          && r.info != &UndecodableInfo() && r.info != &EncryptedInfo();
    return variable && r.dataLength > 0 ? 1u : 0u;
}

} // namespace

QString RecordText(const Telegram& t, const DataRecord& r)
{
    if (r.dataLength == 0)
        return {};
    const unsigned skip = lengthByteCount(r);
    return reversedText(t.bytes.data() + r.dataOffset + skip, r.dataLength - skip);
}

QString MeasurementText(const Telegram& t, const DataRecord& r, Language language)
{
    QString text = r.info->kind == VifKind::Text && r.textLength > 0
                       ? reversedText(t.bytes.data() + r.vibOffset + r.textOffset, r.textLength)
                       : vifTexts().name(*r.info, language);
    const QString vife = r.vifeCount > 0 ? VifeDescription(t, r, language) : QString();
    const bool plain = r.info == &ManufacturerDataInfo() || r.info == &UndecodableInfo()
                       || r.info == &EncryptedInfo() || t.fixedStructure;
    const bool historic = t.fixedStructure && r.storage > 0;
    const bool more = !plain && (r.function() != 0 || r.storage > 0 || r.tariff > 0 || r.subunit > 0);
    if (vife.isEmpty() && !historic && !more)
        return text;

    // Longest tail: function name, the three numbers with their labels.
    constexpr qsizetype kTailRoom = 100;
    text.reserve(text.size() + vife.size() + kTailRoom);
    if (!vife.isEmpty()) {
        text += literal(u" (");
        text += vife;
        text += u')';
    }
    if (plain) {
        if (historic)
            text += pick(language, u", historisch", u", historic");
        return text;
    }
    if (r.function() != 0) {
        text += literal(u", ");
        text += FunctionText(r.function(), language);
    }
    if (r.storage > 0) {
        text += pick(language, u", Speicher ", u", storage ");
        appendNumber(text, r.storage);
    }
    if (r.tariff > 0) {
        text += pick(language, u", Tarif ", u", tariff ");
        appendNumber(text, r.tariff);
    }
    if (r.subunit > 0) {
        text += pick(language, u", Untereinheit ", u", subunit ");
        appendNumber(text, r.subunit);
    }
    return text;
}

QString UnitText(const Telegram& t, const DataRecord& r)
{
    if (r.timePoint)
        return {};
    if (r.durationUnit >= 1 && r.durationUnit <= 4) {
        static constexpr QStringView durations[4] = {u"s", u"min", u"h", u"d"};
        return literal(durations[r.durationUnit - 1]);
    }
    QString unit = r.info->kind == VifKind::Text
                       ? reversedText(t.bytes.data() + r.vibOffset + r.textOffset, r.textLength)
                       : vifTexts().unit(*r.info);
    if (r.perTime > 0 && r.perTime < 8)
        unit += kPerTime[r.perTime];
    return unit;
}

QString DateText(const DataRecord& r)
{
    if (r.type != ValueType::Date && r.type != ValueType::DateTime)
        return {};
    char16_t buffer[kNumberRoom];
    return textOf(buffer, dateDigits(buffer, r.date));
}

QString DateTimeText(const DataRecord& r)
{
    char16_t buffer[kNumberRoom];
    char16_t* end = buffer;
    switch (r.type) {
    case ValueType::Date: end = dateDigits(end, r.date); break;
    case ValueType::DateTime:
        end = dateDigits(end, r.date);
        *end++ = u' ';
        end = timeDigits(end, r.date);
        break;
    case ValueType::Time: end = timeDigits(end, r.date); break;
    default: return {};
    }
    return textOf(buffer, end);
}

QString ValueHexText(const Telegram& t, const DataRecord& r)
{
    return hexBytes(t.bytes.data() + r.dataOffset, r.dataLength, false);
}

QString ValueDecText(const Telegram& t, const DataRecord& r)
{
    switch (r.type) {
    case ValueType::Number: return numberText(r);
    case ValueType::Text: return RecordText(t, r);
    default: return {};
    }
}

QString DisplayValueText(const Telegram& t, const DataRecord& r, Language language)
{
    const unsigned skip = lengthByteCount(r);
    const std::uint8_t* data = t.bytes.data() + r.dataOffset + skip;
    const unsigned dataLength = r.dataLength - skip;
    switch (r.type) {
    case ValueType::None: return {};
    case ValueType::Number:
        if (r.info->kind == VifKind::BitField && r.dataField() != 0x0D)
            return hexNumber(static_cast<std::uint64_t>(r.raw), r.dataLength * 2);
        return numberText(r);
    case ValueType::Date:
    case ValueType::DateTime:
    case ValueType::Time: return DateTimeText(r);
    case ValueType::Text: return RecordText(t, r);
    case ValueType::Hex: return hexBytes(data, dataLength, true);
    case ValueType::Empty: return literal(u"—");
    case ValueType::Invalid: {
        QString s = pick(language, u"ungültig", u"invalid");
        if (r.errorCode != 0)
            s += QStringLiteral(" (") + RecordErrorText(r.errorCode, language) + QLatin1Char(')');
        if (dataLength > 0)
            s += QLatin1Char(' ') + hexBytes(data, dataLength, true);
        return s;
    }
    }
    return {};
}

} // namespace kelvaro::mbus
