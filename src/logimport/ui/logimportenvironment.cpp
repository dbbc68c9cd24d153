#include "logimport/ui/logimportenvironment.h"

#include "foundation/clientpaths.h"
#include "foundation/processlock.h"
#include "foundation/timeutil.h"
#include "foundation/userconfig.h"
#include "storage/rb6file.h"

#include <QRegularExpression>

namespace kelvaro::logimport {

LogImportEnvironment LogImportEnvironment::load(const QString& commandLine)
{
    StartClient(commandLine, QStringLiteral("1320"));
    DatenPath = DBPATH;
    LoadUserConfig();
    LogImportEnvironment environment;
    environment.client = Mandant;
    environment.dbPath = DBPATH;
    ReadRB6StandardGroesse(); // for files created with a block count of 0, as in the master
    environment.settings = LogImportSettings::forClient(Mandant, DBPATH, DBConfig);
    environment.settings.lockWaitMs = -1;
    environment.databaseLabel = environment.settings.database.displayName();
    return environment;
}

QString LogImportEnvironment::rb6LockFile() const
{
    return RB6DirectoryLockFile(LogImport(settings).rb6Directory());
}

namespace {

const QRegularExpression& datePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*(\d{1,2})\.(\d{1,2})\.(\d{4})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    return pattern;
}

} // namespace

QDate ParseFormDate(const QString& text)
{
    const auto m = datePattern().match(text);
    if (!m.hasMatch())
        return {};
    if (m.hasCaptured(4) && !QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()).isValid())
        return {};
    return QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
}

bool ParseFormTime(const QString& text, bool endOfDay, qint64& seconds)
{
    const QDate date = ParseFormDate(text);
    if (!date.isValid())
        return false;
    const auto m = datePattern().match(text);
    QTime time(0, 0);
    if (m.hasCaptured(4))
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    else if (endOfDay)
        time = QTime(23, 59, 59);
    seconds = DateToSeconds(QDateTime(date, time, Qt::UTC));
    return true;
}

QString FormDateText(const QDate& date) { return date.toString(QStringLiteral("dd.MM.yyyy")); }

} // namespace kelvaro::logimport
