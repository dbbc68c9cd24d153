#include "mbus/hexlist.h"

namespace kelvaro {

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// One or two hex digits, surrounding blanks allowed.
bool parseHexField(QStringView field, char& byte)
{
    field = field.trimmed();
    if (field.isEmpty() || field.size() > 2)
        return false;
    int value = 0;
    for (QChar c : field) {
        const int d = hexDigit(c);
        if (d < 0)
            return false;
        value = value * 16 + d;
    }
    byte = static_cast<char>(value);
    return true;
}

} // namespace

QString StrToHexListe(const QByteArray& bytes, const QString& separator)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size() * (2 + separator.size()));
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        text += QLatin1Char(digits[b >> 4]);
        text += QLatin1Char(digits[b & 15]);
        text += separator;
    }
    return text;
}

QByteArray HexListeToStr(const QString& text, const QString& separator)
{
    if (text.isEmpty())
        return {};
    QString sep = separator;
    if (sep.isEmpty()) {
        if (text.size() < 3)
            return {};
        // Continuous hex ("107BFD7816") has no separator at all; the third
        // character is then a digit and the text is read in pairs.
        if (hexDigit(text.at(2)) >= 0) {
            const QString compact = text.trimmed();
            if (compact.size() % 2 != 0)
                return {};
            QByteArray bytes;
            for (qsizetype i = 0; i < compact.size(); i += 2) {
                char b = 0;
                if (!parseHexField(QStringView(compact).mid(i, 2), b) || compact.at(i).isSpace()
                    || compact.at(i + 1).isSpace())
                    return {};
                bytes += b;
            }
            return bytes;
        }
        sep = text.mid(2, 1);
    }
    if (!text.contains(sep))
        return {};
    QString list = text;
    if (sep != QLatin1String(";"))
        list.replace(sep, QStringLiteral(";"));
    while (!list.isEmpty() && list.back() == QLatin1Char(' '))
        list.chop(1);
    if (!list.endsWith(QLatin1Char(';')))
        list += QLatin1Char(';');

    QByteArray bytes;
    const QStringView view(list);
    qsizetype start = 0;
    for (qsizetype end = view.indexOf(u';'); end >= 0; end = view.indexOf(u';', start)) {
        const QStringView field = view.mid(start, end - start);
        start = end + 1;
        if (field.trimmed().isEmpty())
            continue; // doubled separators, e.g. two blanks between bytes
        char b = 0;
        if (!parseHexField(field, b))
            return {};
        bytes += b;
    }
    return bytes;
}

void ErzeugeHexStream(const QByteArray& bytes, QString& text)
{
    text.clear();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        text += QString::number(static_cast<unsigned char>(bytes[i]), 16).toUpper();
        text += QLatin1Char(';');
        if ((i + 1) % 10 == 0)
            text += QLatin1Char('\r');
    }
}

QString MB_ReceiveErrorText(qint64 errorBits)
{
    static const char* const texts[] = {"Timeout, ",      "Wrong Parity, ", "Wrong Checksum, ",
                                        "Wrong Startsign, ", "Wrong Length, ", "Wrong Stopsign",
                                        "Collision, ",    "Frame Error, ",  "Other UART Error, "};
    QString text;
    for (int bit = 0; bit < 9; ++bit) {
        if (!(errorBits & (qint64(1) << bit)))
            continue;
        text += QLatin1String(texts[bit]);
        if (bit > 0)
            text += QString::number(errorBits);
    }
    return text;
}

bool ParseHexBytes(const QString& text, QByteArray& bytes, QString* error)
{
    bytes.clear();
    // Fields between separators: pairs of digits, or one digit for one byte ("D" = 0D).
    qsizetype fieldStart = 0;
    auto takeField = [&](qsizetype end) {
        const qsizetype n = end - fieldStart;
        if (n == 1) {
            bytes += static_cast<char>(hexDigit(text.at(fieldStart)));
        } else if (n % 2 != 0) {
            if (error)
                *error = QStringLiteral("ungerade Anzahl Hex-Ziffern an Stelle %1").arg(fieldStart + 1);
            return false;
        } else {
            for (qsizetype i = fieldStart; i < end; i += 2)
                bytes += static_cast<char>(hexDigit(text.at(i)) * 16 + hexDigit(text.at(i + 1)));
        }
        return true;
    };
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool atEnd = i == text.size();
        const QChar c = atEnd ? QChar(u' ') : text.at(i);
        if (hexDigit(c) >= 0)
            continue;
        if (!atEnd && !c.isSpace() && c != QLatin1Char(';') && c != QLatin1Char(',')) {
            if (error)
                *error = QStringLiteral("kein Hex-Zeichen '%1' an Stelle %2").arg(c).arg(i + 1);
            bytes.clear();
            return false;
        }
        if (!takeField(i)) {
            bytes.clear();
            return false;
        }
        fieldStart = i + 1;
    }
    return true;
}

} // namespace kelvaro
