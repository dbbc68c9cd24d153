#include "editors/typedinput.h"

#include <QRegularExpression>
#include <cmath>

namespace kelvaro {
namespace {

bool allDigits(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

// "1.234.567" -> "1234567"; empty when the points do not group by three.
QString ungrouped(const QString& text)
{
    const QStringList groups = text.split(QLatin1Char('.'));
    for (qsizetype k = 0; k < groups.size(); ++k)
        if (!allDigits(groups[k]) || (k == 0 ? groups[k].size() > 3 : groups[k].size() != 3))
            return {};
    return groups.join(QString());
}

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

} // namespace

std::optional<qint64> ReadWholeNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^[+-]?[0-9]+$"));
    const QString t = text.trimmed();
    if (!pattern.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = t.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

std::optional<double> ReadDecimalNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([+-]?)([0-9.,]+)(?:[eE]([+-]?[0-9]+))?$"));
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString mantissa = match.captured(2);
    QString integer = mantissa;
    QString fraction;
    const qsizetype comma = mantissa.indexOf(QLatin1Char(','));
    const qsizetype points = mantissa.count(QLatin1Char('.'));
    if (comma >= 0) {
        integer = mantissa.left(comma);
        fraction = mantissa.mid(comma + 1);
        if (fraction.contains(QLatin1Char(',')) || fraction.contains(QLatin1Char('.')))
            return std::nullopt;
    } else if (points == 1) {
        integer = mantissa.section(QLatin1Char('.'), 0, 0);
        fraction = mantissa.section(QLatin1Char('.'), 1);
    }
    if (integer.contains(QLatin1Char('.'))) {
        integer = ungrouped(integer);
        if (integer.isEmpty())
            return std::nullopt;
    }
    if ((!integer.isEmpty() && !allDigits(integer)) || (!fraction.isEmpty() && !allDigits(fraction))
        || (integer.isEmpty() && fraction.isEmpty()))
        return std::nullopt;
    QString number = match.captured(1) + (integer.isEmpty() ? QStringLiteral("0") : integer);
    if (!fraction.isEmpty())
        number += QLatin1Char('.') + fraction;
    if (match.hasCaptured(3))
        number += QLatin1Char('e') + match.captured(3);
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

QString DecimalText(double value)
{
    return QString::number(value, 'g', 15).replace(QLatin1Char('.'), QLatin1Char(','));
}

std::optional<bool> ReadBooleanText(const QString& text)
{
    const QString t = text.trimmed();
    for (const char* yes : {"True", "Wahr", "1", "-1"})
        if (t.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
            return true;
    for (const char* no : {"False", "Falsch", "0"})
        if (t.compare(QLatin1String(no), Qt::CaseInsensitive) == 0)
            return false;
    return std::nullopt;
}

qsizetype ColumnLength(const QString& text) { return text.toUcs4().size(); }

CheckedValue CheckWholeNumber(const QString& field, const QString& text, qint64 lowest, qint64 highest)
{
    if (text.trimmed().isEmpty())
        return {};
    const auto number = ReadWholeNumber(text);
    if (!number)
        return {{}, field + QStringLiteral(" : ") + quoted(text) + QStringLiteral(" ist keine ganze Zahl.")};
    if (*number < lowest || *number > highest)
        return {{}, field + QStringLiteral(" : %1 liegt nicht zwischen %2 und %3.").arg(*number).arg(lowest).arg(highest)};
    return {*number, {}};
}

CheckedValue CheckDecimalNumber(const QString& field, const QString& text)
{
    if (text.trimmed().isEmpty())
        return {};
    const auto number = ReadDecimalNumber(text);
    if (!number)
        return {{}, field + QStringLiteral(" : ") + quoted(text) + QStringLiteral(" ist keine Zahl.")};
    return {*number, {}};
}

CheckedValue CheckText(const QString& field, const QString& text, int width)
{
    const qsizetype length = ColumnLength(text);
    if (length > width)
        return {{}, field + QStringLiteral(" : %1 Zeichen, erlaubt sind höchstens %2.").arg(length).arg(width)};
    return {text, {}};
}

CheckedValue CheckBoolean(const QString& field, const QString& text, bool whenEmpty)
{
    if (text.trimmed().isEmpty())
        return {whenEmpty, {}};
    const auto value = ReadBooleanText(text);
    if (!value)
        return {{}, field + QStringLiteral(" : ") + quoted(text) + QStringLiteral(" ist weder True noch False.")};
    return {*value, {}};
}

QString NothingStoredMessage(const QString& problem)
{
    return problem + QStringLiteral("\rEs wurde nichts gespeichert.");
}

} // namespace kelvaro
