#include "mbus/recordtext.h"

#include "foundation/cp1252.h"
#include "foundation/textutil.h"

#include <cmath>

namespace kelvaro::mbus {

namespace {

QString pick(Language language, const char* german, const char* english)
{
    return QString::fromUtf8(language == Language::German ? german : english);
}

QString hexBytes(const std::uint8_t* p, std::size_t n, const char* separator)
{
    static const char digits[] = "0123456789ABCDEF";
    QString s;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0)
            s += QLatin1String(separator);
        s += QLatin1Char(digits[p[i] >> 4]);
        s += QLatin1Char(digits[p[i] & 15]);
    }
    return s;
}

QString reversedText(const std::uint8_t* p, std::size_t n)
{
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(n));
    for (std::size_t i = n; i-- > 0;)
        bytes += static_cast<char>(p[i]);
    return FromWin1252(bytes);
}

QString two(int v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
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
    if (r.decimals == 0 && r.value == static_cast<double>(r.raw) && r.info->factor == 1)
        return r.unsignedRaw ? QString::number(static_cast<std::uint64_t>(r.raw)) : QString::number(r.raw);
    return GermanNumber(r.value, r.decimals);
}

const char* const kPerTime[8] = {"", "/s", "/min", "/h", "/d", "/Woche", "/Monat", "/Jahr"};

} // namespace

namespace {

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
    QString text;
    if (r.info->kind == VifKind::Text && r.textLength > 0)
        text = reversedText(t.bytes.data() + r.vibOffset + r.textOffset, r.textLength);
    else
        text = pick(language, r.info->german, r.info->english);
    if (r.vifeCount > 0) {
        const QString vife = VifeDescription(t, r, language);
        if (!vife.isEmpty())
            text += QStringLiteral(" (") + vife + QLatin1Char(')');
    }
    if (r.info == &ManufacturerDataInfo() || r.info == &UndecodableInfo() || r.info == &EncryptedInfo()
        || t.fixedStructure) {
        if (t.fixedStructure && r.storage > 0)
            text += pick(language, ", historisch", ", historic");
        return text;
    }
    if (r.function() != 0)
        text += QStringLiteral(", ") + FunctionText(r.function(), language);
    if (r.storage > 0)
        text += pick(language, ", Speicher ", ", storage ") + QString::number(r.storage);
    if (r.tariff > 0)
        text += pick(language, ", Tarif ", ", tariff ") + QString::number(r.tariff);
    if (r.subunit > 0)
        text += pick(language, ", Untereinheit ", ", subunit ") + QString::number(r.subunit);
    return text;
}

QString UnitText(const Telegram& t, const DataRecord& r)
{
    if (r.timePoint)
        return {};
    if (r.durationUnit >= 1 && r.durationUnit <= 4) {
        static const char* const durations[4] = {"s", "min", "h", "d"};
        return QLatin1String(durations[r.durationUnit - 1]);
    }
    QString unit;
    if (r.info->kind == VifKind::Text)
        unit = reversedText(t.bytes.data() + r.vibOffset + r.textOffset, r.textLength);
    else
        unit = QString::fromUtf8(r.info->unit);
    if (r.perTime > 0 && r.perTime < 8)
        unit += QLatin1String(kPerTime[r.perTime]);
    return unit;
}

QString DateText(const DataRecord& r)
{
    if (r.type != ValueType::Date && r.type != ValueType::DateTime)
        return {};
    return two(r.date.day) + QLatin1Char('.') + two(r.date.month) + QLatin1Char('.') + QString::number(r.date.year);
}

QString DateTimeText(const DataRecord& r)
{
    QString time = two(r.date.hour) + QLatin1Char(':') + two(r.date.minute);
    if (r.date.hasSeconds)
        time += QLatin1Char(':') + two(r.date.second);
    switch (r.type) {
    case ValueType::Date: return DateText(r);
    case ValueType::DateTime: return DateText(r) + QLatin1Char(' ') + time;
    case ValueType::Time: return time;
    default: return {};
    }
}

QString ValueHexText(const Telegram& t, const DataRecord& r)
{
    return hexBytes(t.bytes.data() + r.dataOffset, r.dataLength, "");
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
            return QStringLiteral("%1")
                .arg(static_cast<qulonglong>(r.raw), r.dataLength * 2, 16, QLatin1Char('0'))
                .toUpper();
        return numberText(r);
    case ValueType::Date:
    case ValueType::DateTime:
    case ValueType::Time: return DateTimeText(r);
    case ValueType::Text: return RecordText(t, r);
    case ValueType::Hex: return hexBytes(data, dataLength, " ");
    case ValueType::Empty: return QStringLiteral("—");
    case ValueType::Invalid: {
        QString s = pick(language, "ungültig", "invalid");
        if (r.errorCode != 0)
            s += QStringLiteral(" (") + RecordErrorText(r.errorCode, language) + QLatin1Char(')');
        if (dataLength > 0)
            s += QLatin1Char(' ') + hexBytes(data, dataLength, " ");
        return s;
    }
    }
    return {};
}

} // namespace kelvaro::mbus
