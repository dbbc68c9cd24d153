#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "programrun.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QDate>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

using namespace kelvaro;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::ProgramPath;
using kelvaro::test::ProgramRun;
using kelvaro::test::RunProgram;
using kelvaro::test::SimProcess;

namespace {

QString meter(int primary)
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [9600], "medium": 4, "records": ["0406E8030000"]})")
        .arg(primary)
        .arg(55660000 + primary);
}

// The day file's lines, read as the program writes them.
QStringList dayLines(const InstallationDir& dir)
{
    const QString name = "werte/" + QDate::currentDate().toString("yyMMdd") + "mb.txt";
    if (!QFile::exists(dir.file(name)))
        return {};
    return QString::fromLatin1(dir.read(name)).split("\r\n", Qt::SkipEmptyParts);
}

// An installation whose port 1 reaches `device`, reading `count` addresses.
void configure(InstallationDir& dir, const QString& device, int count)
{
    WriteIniString("OVX", "COM1", device, kOvxIni);
    dir.write("MB.INI", QStringLiteral("[MB]\r\nDatenPath=werte/\r\nComPort=1\r\nAnzahl=%1\r\n").arg(count).toLatin1());
    dir.write("werte/.keep", "");
}

// One "Start" run; its summary line without the line end.
ProgramRun runStart(const InstallationDir& dir)
{
    ProgramRun run = RunProgram("mbus-readall", {"Start"}, dir.path(), 60000);
    run.out = run.out.trimmed();
    return run;
}

} // namespace

TEST(ReadAllProgram, StartOnTheCommandLineReadsOnceAndEnds)
{
    InstallationDir dir;
    SimProcess sim(BusJson({R"({"primary": 2, "id": "55667788", "baud": [9600], "medium": 4,
        "records": ["0406E8030000"]})"}), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty());
    configure(dir, sim.device(), 2);

    const ProgramRun run = runStart(dir);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "1 gelesen, 1 Fehler");

    const QString day = QDate::currentDate().toString("yyMMdd");
    const QStringList lines = dayLines(dir);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], day + "\t1\tFehlerBeimLesen");
    EXPECT_TRUE(lines[1].startsWith(day + "\t2\t1000\t")) << lines[1].toStdString();
}

TEST(ReadAllProgram, TerminationEndsTheReadBetweenTwoMetersWithItsSummary)
{
    InstallationDir dir;
    constexpr int kMeters = 250;
    QStringList meters;
    for (int a = 1; a <= kMeters; ++a)
        meters << meter(a);
    SimProcess sim(BusJson(meters), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty());
    configure(dir, sim.device(), kMeters);

    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.start(ProgramPath("mbus-readall"), {"Start"});
    ASSERT_TRUE(program.waitForStarted());
    // Stopped as a service is stopped, once the read is under way.
    for (int i = 0; i < 6000 && dayLines(dir).size() < 3 && program.state() == QProcess::Running; ++i)
        QThread::msleep(2);
    ASSERT_EQ(program.state(), QProcess::Running) << "the read ended before it could be stopped";
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(30000));

    const QString out = QString::fromUtf8(program.readAllStandardOutput()).trimmed();
    const QRegularExpressionMatch summary =
        QRegularExpression(R"(^(\d+) gelesen, (\d+) Fehler, abgebrochen vor Adr. (\d+)$)").match(out);
    ASSERT_TRUE(summary.hasMatch()) << "the summary is written: " << out.toStdString() << " exit "
                                    << program.exitCode() << " " << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 128 + 15) << "a read ended by SIGTERM is not a complete read";
    const int handled = summary.captured(1).toInt() + summary.captured(2).toInt();
    EXPECT_GE(summary.captured(1).toInt(), 1);
    EXPECT_LT(handled, kMeters);
    EXPECT_EQ(summary.captured(3).toInt(), handled + 1);
    // Every meter begun has its whole line, in address order; none after the stop.
    const QStringList lines = dayLines(dir);
    ASSERT_EQ(lines.size(), handled);
    const QString day = QDate::currentDate().toString("yyMMdd");
    for (int i = 0; i < lines.size(); ++i) {
        const QString head = QStringLiteral("%1\t%2\t").arg(day).arg(i + 1);
        EXPECT_TRUE(lines[i].startsWith(head + "1000\t") || lines[i] == head + "FehlerBeimLesen") << lines[i].toStdString();
    }
}

TEST(ReadAllProgram, FailureShowsInTheExitCode)
{
    InstallationDir dir;
    // The port's line cannot be opened: device code, each address failed.
    configure(dir, dir.file("no-such-line"), 2);
    ProgramRun run = runStart(dir);
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.out, "0 gelesen, 2 Fehler");
    EXPECT_TRUE(run.err.contains("Fehler Open Com 1")) << run.err.toStdString();

    // A bus where no meter answers at the addresses read.
    SimProcess sim(BusJson({meter(40)}), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty());
    configure(dir, sim.device(), 3);
    run = runStart(dir);
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_EQ(run.out, "0 gelesen, 3 Fehler");

    // Nothing to read at all.
    configure(dir, sim.device(), 0);
    run = runStart(dir);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("keine Adresse")) << run.err.toStdString();

    // A meter read but its line not written: the file code wins.
    SimProcess answering(BusJson({meter(1)}), {"--fast"});
    configure(dir, answering.device(), 1);
    dir.write("MB.INI", "[MB]\r\nDatenPath=missing/dir/\r\nComPort=1\r\nAnzahl=1\r\n");
    run = runStart(dir);
    EXPECT_EQ(run.exitCode, 5) << run.out.toStdString();
}
