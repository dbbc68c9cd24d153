#include "mail/mailcommandline.h"

namespace kelvaro {

bool IsAutoSend(const QString& commandLine)
{
    return commandLine.toUpper().contains(QStringLiteral("AUTOSEND"));
}

QString GetFile(const QString& commandLine)
{
    const qsizetype at = commandLine.indexOf(QStringLiteral("-F"));
    if (at < 0)
        return {};
    const qsizetype start = at + 2;
    const qsizetype blank = commandLine.indexOf(QLatin1Char(' '), start);
    return commandLine.mid(start, blank < 0 ? -1 : blank - start);
}

} // namespace kelvaro
