#include "foundation/programlog.h"

#include "foundation/clientpaths.h"
#include "foundation/filenumbers.h"
#include "foundation/timeutil.h"

namespace kelvaro {

QString ProgramLogFileName()
{
    return DBPATH + LocalNow().toString(QStringLiteral("yyMMdd")) + QStringLiteral("ed.log");
}

void WriteProgramLog(const QString& message)
{
    const QDateTime now = LocalNow();
    const QString file = DBPATH + now.toString(QStringLiteral("yyMMdd")) + QStringLiteral("ed.log");
    AppendTextLine(file, now.toString(QStringLiteral("dd.MM.yy hh:mm:ss ")) + message, false);
}

} // namespace kelvaro
