#include "foundation/textutil.h"

#include "foundation/cp1252.h"
#include "foundation/messages.h"

#include <QRegularExpression>
#include <cmath>

namespace kelvaro {

void ReplaceAll(QString& source, const QString& what, const QString& with)
{
    const QString replacement = with.isEmpty() ? QStringLiteral(" ") : with;
    if (what.isEmpty())
        return;
    int rounds = 0;
    for (int pos = source.indexOf(what); pos >= 0; pos = source.indexOf(what)) {
        if (++rounds > 1000) {
            ShowMessageBox(QStringLiteral("Schwerer Fehler ReplaceAll! Source= ") + source
                           + QStringLiteral(" What=") + what + QStringLiteral("Width=") + replacement);
            break;
        }
        // Overwrite in place: the text keeps its length, whatever `what` was.
        for (int i = 0; i < replacement.size(); ++i) {
            if (pos + i < source.size())
                source[pos + i] = replacement[i];
            else
                source.append(replacement[i]);
        }
    }
    if (replacement == QLatin1String(" "))
        source = source.trimmed();
}

QString ReplaceAllRecursive(const QString& text, const QString& what, const QString& with)
{
    if (what.isEmpty() || with.contains(what))
        return text;
    QString result = text;
    for (int pos = result.indexOf(what); pos >= 0; pos = result.indexOf(what))
        result = result.left(pos) + with + result.mid(pos + what.size());
    return result;
}

void DosUmlautsToAnsi(QString& text)
{
    static const struct { ushort dos; QChar ansi; } table[] = {
        {132, QChar(0xE4)}, {225, QChar(0xDF)}, {142, QChar(0xC4)}, {153, QChar(0xD6)},
        {154, QChar(0xDC)}, {148, QChar(0xF6)}, {129, QChar(0xFC)},
    };
    for (const auto& entry : table) {
        // The DOS byte was read through Windows-1252: look for the character it became.
        const QString dosChar = FromWin1252(QByteArray(1, static_cast<char>(entry.dos)));
        if (text.contains(dosChar))
            ReplaceAll(text, dosChar, QString(entry.ansi));
    }
}

QString StringToHex(const QString& text, const QString& separator)
{
    QString out;
    out.reserve(text.size() * (2 + separator.size()));
    for (QChar c : text)
        out += QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper() + separator;
    return out;
}

QString HexToString(const QString& hexList)
{
    QString out;
    for (const QString& item : hexList.split(';', Qt::SkipEmptyParts)) {
        const QString trimmed = item.trimmed();
        if (trimmed.isEmpty())
            continue;
        bool ok = false;
        const uint code = trimmed.toUInt(&ok, 16);
        out.append(QChar(ok ? static_cast<char16_t>(code) : u'\0'));
    }
    return out;
}

QString& CurrencySymbol()
{
    static QString symbol;
    if (symbol.isEmpty())
        symbol = QString::fromUtf8("€");
    return symbol;
}

bool IsNumericGerman(const QString& text, double* value)
{
    QString t = text.trimmed();
    const QString& currency = CurrencySymbol();
    if (!currency.isEmpty()) {
        if (t.endsWith(currency))
            t = t.left(t.size() - currency.size()).trimmed();
        else if (t.startsWith(currency))
            t = t.mid(currency.size()).trimmed();
    }
    // Sign, digits with optional "." groups, optional ",fraction", optional exponent.
    static const QRegularExpression pattern(
        QStringLiteral(R"(^([+-]?)\s*(\d[\d.]*|(?=,\d))(?:,(\d*))?(?:[eE]([+-]?\d+))?$)"));
    const auto m = pattern.match(t);
    if (t.isEmpty() || !m.hasMatch())
        return false;
    QString integer = m.captured(2);
    integer.remove('.');
    QString number = m.captured(1) + (integer.isEmpty() ? QStringLiteral("0") : integer);
    if (!m.captured(3).isEmpty())
        number += '.' + m.captured(3);
    if (!m.captured(4).isEmpty())
        number += 'e' + m.captured(4);
    bool ok = false;
    const double v = number.toDouble(&ok);
    if (ok && value)
        *value = v;
    return ok;
}

double ToDouble(const QString& text)
{
    QString t = text.isEmpty() ? QStringLiteral("0") : text;
    if (CurrencySymbol() == QLatin1String("SFr.") && t.contains(','))
        ReplaceAll(t, QStringLiteral(","), QStringLiteral("."));
    double value = 0;
    return IsNumericGerman(t, &value) ? value : 0;
}

double Val(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?))"));
    QString compact = text;
    compact.remove(' ').remove('\t');
    const auto m = pattern.match(compact);
    return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

QString GermanNumber(double value, int decimals)
{
    QString text = decimals < 0 ? QString::number(value, 'g', 15) : QString::number(value, 'f', decimals);
    if (text.contains('e') && decimals < 0)
        text = QString::number(value, 'f', 6).remove(QRegularExpression("0+$")).remove(QRegularExpression("\\.$"));
    text.replace('.', ',');
    return text;
}

} // namespace kelvaro
