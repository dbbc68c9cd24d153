#include "mail/mailaddresses.h"

#include <QRegularExpression>

namespace kelvaro {

QStringList SplitAddresses(const QString& field)
{
    static const QRegularExpression separators(QStringLiteral("[;,]"));
    QStringList addresses;
    for (QString part : field.split(separators)) {
        part = part.trimmed();
        const qsizetype open = part.lastIndexOf(QLatin1Char('<'));
        if (open >= 0 && part.endsWith(QLatin1Char('>')))
            part = part.mid(open + 1, part.size() - open - 2).trimmed();
        if (!part.isEmpty())
            addresses << part;
    }
    return addresses;
}

bool IsUsableAddress(const QString& address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at != address.lastIndexOf(QLatin1Char('@')) || at == address.size() - 1)
        return false;
    for (const QChar c : address)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c == QLatin1Char('<') || c == QLatin1Char('>')
            || c == QLatin1Char('"') || c == QLatin1Char('(') || c == QLatin1Char(')'))
            return false;
    return true;
}

QString AddressDomain(const QString& address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    return at < 0 ? QString() : address.mid(at + 1);
}

} // namespace kelvaro
