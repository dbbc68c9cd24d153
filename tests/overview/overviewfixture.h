#pragma once
#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/programlog.h"
#include "foundation/timeutil.h"
#include "overview/overview.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace kelvaro::test {

inline const QString kMasterBinary = QStringLiteral(KELVARO_BINARY_DIR "/apps/kelvaro/kelvaro");
inline const QString kOverviewBinary = QStringLiteral(KELVARO_BINARY_DIR "/apps/kelvaro-overview/kelvaro-overview");

// Programs the overview would start, recorded instead of started.
struct RecordedStarts {
    QList<QStringList> calls; // program file name, then the arguments
    overview::ProgramStarter starter()
    {
        return [this](const QString& program, const QStringList& arguments, qint64* pid) {
            calls << (QStringList{QFileInfo(program).fileName()} + arguments);
            *pid = 0;
            return true;
        };
    }
};

// An installation of client 200 with a client database and meters added per port.
class OverviewInstallation {
public:
    OverviewInstallation()
    {
        WriteIniString("OVX", "OVXMandant", "200", kOvxIni);
        StartClient(QString());
        QDir().mkpath(QDir::current().filePath("DB200"));
        ready = CreateClientDatabase(DBPATH + "basis.mdb");
        if (!ready)
            ADD_FAILURE() << LastErrorText().toStdString();
        ResetClient();
    }
    ~OverviewInstallation()
    {
        DBConnection().close();
        DAODatabase().close();
    }
    void addMeters(int port, int baud, int count)
    {
        SqlConnection db(QStringLiteral("overview.test"));
        ASSERT_TRUE(OpenDBConnection(db, "1", {}, {}, dir.file("DB200/basis.mdb"), "1")) << LastErrorText().toStdString();
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(db.exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle, MBAdr, MBComP, MBBaud, MBIndex) "
                                "VALUES (?, ?, 'M-Bus', ?, ?, ?, 1)",
                                {QStringLiteral("Z%1-%2-%3").arg(port).arg(baud).arg(i), "Zähler", i + 1, port, baud}))
                << LastErrorText().toStdString();
    }
    // The overview programs found only where the test says (no PATH).
    static overview::ProgramLocations locations(const QString& programDir = {})
    {
        overview::ProgramLocations where;
        where.programDir = programDir;
        where.configuredMaster = kMasterBinary;
        where.searchPath = false;
        return where;
    }
    QString programLog() const
    {
        return FromWin1252(dir.read(QStringLiteral("DB200/%1ed.log").arg(LocalNow().toString("yyMMdd"))));
    }

    InstallationDir dir;
    bool ready = false;
};

// Every master whose working directory is `dir` (they are detached: no
// QProcess of the test knows them).
inline QList<qint64> MastersIn(const QString& dir)
{
    QList<qint64> pids;
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString cwd = QFileInfo("/proc/" + entry + "/cwd").symLinkTarget();
        const QString exe = QFileInfo("/proc/" + entry + "/exe").symLinkTarget();
        if (cwd == canonical && QFileInfo(exe).fileName() == QLatin1String("kelvaro"))
            pids << pid;
    }
    return pids;
}

// Test clean-up: no master outlives its test.
inline void KillMastersIn(const QString& dir)
{
#ifdef Q_OS_UNIX
    for (const qint64 pid : MastersIn(dir))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
#endif
}

} // namespace kelvaro::test
