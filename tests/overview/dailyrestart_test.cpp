#include "overview/dailyrestart.h"
#include "overview/mastersupervisor.h"
#include "twolines.h"

#include <QSignalSpy>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::overview;
using namespace kelvaro::test;

namespace {

// A clock the test moves by hand.
struct TestClock {
    QDateTime now{QDate(2026, 12, 7), QTime(2, 59, 50)};
    DailyRestart::Clock clock()
    {
        return [this] { return now; };
    }
};

} // namespace

// At the set time every master of the overview ends cleanly and a new one
// reads its line; checks later in the same minute, and in the following
// minutes, restart nothing; the next day's time does it again.
TEST(DailyRestart, RestartsEveryMasterOnceADayAtTheSetTime)
{
    TwoLines lines;
    ASSERT_TRUE(lines.ready);
    ASSERT_TRUE(WriteIniString("200MBus", "NeustartUm", "03:00", kOvxIni));
    const auto overview = lines.overview("Auto -M200");
    DailyRestart& restart = overview->dailyRestart();
    ASSERT_EQ(restart.time(), QTime(3, 0));
    TestClock clock;
    restart.setClock(clock.clock());
    QSignalSpy restarted(&restart, &DailyRestart::restarted);
    const qint64 first1 = overview->launcher().pid(1);
    const qint64 first3 = overview->launcher().pid(3);
    ASSERT_TRUE(alive(first1) && alive(first3));

    restart.check();
    EXPECT_FALSE(restart.restarting()) << "02:59 is not the time";

    clock.now = clock.now.addSecs(15); // 03:00:05
    restart.check();
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarted.count() == 2; }, 20'000)) << lines.programLog().toStdString();
    EXPECT_FALSE(alive(first1) || alive(first3));
    const qint64 second1 = overview->launcher().pid(1);
    const qint64 second3 = overview->launcher().pid(3);
    EXPECT_TRUE(alive(second1) && alive(second3));
    EXPECT_EQ(commandLineOf(second1), (QStringList{"kelvaro", "Auto", "-M200", "-C1"}));
    EXPECT_EQ(commandLineOf(second3), (QStringList{"kelvaro", "Auto", "-M200", "-C3"}));
    EXPECT_TRUE(lines.programLog().contains(QStringLiteral("Kelvaro Com1: Neustart um 03:00, beende PID %1").arg(first1)));
    EXPECT_FALSE(lines.programLog().contains("SIGKILL")) << "the masters end on SIGTERM";

    clock.now = clock.now.addSecs(40); // 03:00:45, the same minute
    restart.check();
    clock.now = clock.now.addSecs(30); // 03:01:15
    restart.check();
    EXPECT_FALSE(restart.restarting());
    EXPECT_EQ(overview->launcher().pid(1), second1);
    EXPECT_EQ(restarted.count(), 2);

    clock.now = QDateTime(QDate(2026, 12, 8), QTime(3, 0, 2));
    restart.check();
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarted.count() == 4; }, 20'000));
    EXPECT_NE(overview->launcher().pid(1), second1);
    EXPECT_EQ(MastersIn(lines.dir.path()).size(), 2) << "one master per port";
}

// The box and its time: switched off, or switched on in the window, the
// restart follows at once.
TEST(DailyRestart, TheOverviewsSwitchSetsAndClearsTheTime)
{
    OverviewInstallation inst;
    ASSERT_TRUE(inst.ready);
    inst.addMeters(3, 2400, 1);
    RecordedStarts starts;
    Overview::Environment environment;
    environment.programs = OverviewInstallation::locations();
    environment.starter = starts.starter();
    Overview overview(environment);
    overview.load("-M200");
    EXPECT_FALSE(overview.dailyRestart().time().isValid());
    EXPECT_TRUE(overview.setDailyRestart(true, "4:30"));
    EXPECT_EQ(ReadIniString("200MBus", "NeustartUm", kOvxIni), "04:30");
    EXPECT_EQ(overview.dailyRestart().time(), QTime(4, 30));
    EXPECT_FALSE(overview.setDailyRestart(true, "halb fünf"));
    EXPECT_EQ(ReadIniString("200MBus", "NeustartUm", kOvxIni), "04:30") << "no time, nothing written";
    EXPECT_TRUE(overview.setDailyRestart(false, "04:30"));
    EXPECT_EQ(ReadIniString("200MBus", "NeustartUm", kOvxIni), "");
    EXPECT_FALSE(overview.dailyRestart().time().isValid());
}

#ifdef Q_OS_UNIX
// A master that does not end on SIGTERM gets SIGKILL after the bound, in
// the program log, and is started again all the same. The stand-in is a shell
// running the script "Auto" (so its command line is the master's arguments)
// that ignores SIGTERM.
TEST(DailyRestart, AMasterThatDoesNotEndGetsSigkillAndIsStartedAgain)
{
    InstallationDir dir;
    WriteIniString("OVX", "OVXMandant", "200", kOvxIni);
    StartClient(QString());
    QDir().mkpath(dir.file("DB200"));
    dir.write("Auto", "trap '' TERM\n: > ignoring\nwhile :; do sleep 0.1; done\n");
    MasterLauncher launcher({QStringLiteral("/bin/sh"), "200", DBPATH});
    ASSERT_EQ(launcher.startFromRow(4), MasterLauncher::Result::Started);
    const qint64 stubborn = launcher.pid(4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir.file("ignoring")); }, 5'000));

    DailyRestart restart;
    restart.setLauncher(&launcher);
    restart.setTime(QTime(3, 0));
    restart.setKillAfterMs(300);
    TestClock clock;
    clock.now = QDateTime(QDate(2026, 12, 7), QTime(3, 0, 0));
    restart.setClock(clock.clock());
    QSignalSpy restarted(&restart, &DailyRestart::restarted);
    restart.check();
    EXPECT_TRUE(restart.restarting());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        restart.check();
        return restarted.count() == 1;
    }, 10'000));
    const qint64 next = launcher.pid(4);
    EXPECT_NE(next, stubborn);
    EXPECT_FALSE(alive(stubborn));
    const QString log = FromWin1252(dir.read(QStringLiteral("DB200/%1ed.log").arg(LocalNow().toString("yyMMdd"))));
    EXPECT_TRUE(log.contains(QStringLiteral("Kelvaro Com4 hat sich nach 0.3 s nicht beendet: SIGKILL an PID %1").arg(stubborn)))
        << log.toStdString();
    ::kill(static_cast<pid_t>(next), SIGKILL);
    ResetClient();
}
#endif
