#include "overview/mastersupervisor.h"
#include "programrun.h"
#include "twolines.h"

#include <QSignalSpy>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::overview;
using namespace kelvaro::test;

TEST(OverviewMasters, AutoStartsOneRealMasterPerPortAndChoosingARowAgainStartsNone)
{
    TwoLines lines;
    ASSERT_TRUE(lines.ready);
    const auto overview = lines.overview("Auto -M200");
    ASSERT_EQ(overview->portNumbers(), (QList<int>{1, 3}));
    const qint64 pid1 = overview->launcher().pid(1);
    const qint64 pid3 = overview->launcher().pid(3);
    EXPECT_EQ(commandLineOf(pid1), (QStringList{"kelvaro", "Auto", "-M200", "-C1"}));
    EXPECT_EQ(commandLineOf(pid3), (QStringList{"kelvaro", "Auto", "-M200", "-C3"}));
    EXPECT_EQ(overview->launcher().runningPorts(), ";CPort1;CPort3;");

    // Each master reads the meters of its own line.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const QString log = lines.mbLog();
        return log.contains("11111101") && log.contains("11111102") && log.contains("33333305");
    }, 30'000)) << lines.mbLog().toStdString();

    EXPECT_EQ(overview->chooseRow(0), MasterLauncher::Result::ListedHere);
    EXPECT_EQ(overview->chooseRow(1), MasterLauncher::Result::ListedHere);
    overview->refreshStatus();
    EXPECT_EQ(overview->grid.cell(0, kStatusColumn), Overview::runningText());
    EXPECT_EQ(overview->grid.cell(1, kStatusColumn), Overview::runningText());
    EXPECT_EQ(MastersIn(lines.dir.path()).size(), 2) << "one master per port";
    EXPECT_TRUE(alive(pid1) && alive(pid3));
}

TEST(OverviewMasters, ChoosingTheSameRowTwiceStartsOneMaster)
{
    TwoLines lines;
    ASSERT_TRUE(lines.ready);
    const auto overview = lines.overview("-M200");
    EXPECT_EQ(overview->chooseRow(1), MasterLauncher::Result::Started);
    EXPECT_EQ(overview->chooseRow(1), MasterLauncher::Result::ListedHere);
    QTest::qWait(300);
    overview->refreshStatus();
    EXPECT_EQ(overview->chooseRow(1), MasterLauncher::Result::ListedHere);
    EXPECT_EQ(MastersIn(lines.dir.path()), QList<qint64>{overview->launcher().pid(3)});
    EXPECT_EQ(overview->grid.cell(0, kStatusColumn), "");
}

TEST(OverviewMasters, SupervisorStartsAKilledMasterAgainAtMostOncePerInterval)
{
    TwoLines lines;
    ASSERT_TRUE(lines.ready);
    const auto overview = lines.overview("Auto -M200");
    MasterSupervisor supervisor(overview->launcher(), SupervisionSettings{3'000, 100});
    QSignalSpy restarted(&supervisor, &MasterSupervisor::restarted);
    supervisor.supervise(overview->portNumbers());

    const qint64 first = overview->launcher().pid(1);
    ASSERT_TRUE(alive(first));
    ::kill(static_cast<pid_t>(first), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alive(first); }, 5'000));
    supervisor.check();
    EXPECT_EQ(restarted.count(), 0) << "started less than the interval ago: no new start yet";

    ASSERT_TRUE(QTest::qWaitFor([&] { return restarted.count() == 1; }, 10'000));
    EXPECT_EQ(restarted.first().first().toInt(), 1);
    const qint64 second = overview->launcher().pid(1);
    EXPECT_NE(second, first);
    EXPECT_EQ(commandLineOf(second), (QStringList{"kelvaro", "Auto", "-M200", "-C1"}));
    EXPECT_TRUE(lines.programLog().contains("Kelvaro Com1 läuft nicht mehr, Neustart: kelvaro Auto -M200 -C1"))
        << lines.programLog().toStdString();
    EXPECT_TRUE(overview->launcher().runningPorts().contains(";CPort1;"));
    EXPECT_TRUE(overview->launcher().runningPorts().contains(";CPort3;"));

    ::kill(static_cast<pid_t>(second), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alive(second); }, 5'000));
    supervisor.check();
    EXPECT_EQ(restarted.count(), 1) << "the second death comes within the interval of the restart";
    EXPECT_TRUE(alive(overview->launcher().pid(3))) << "the other port is left alone";
    EXPECT_EQ(MastersIn(lines.dir.path()).size(), 1);
}

// The headless program: Auto starts the masters (found in the build tree
// beside it), SIGTERM ends the supervisor and the masters read on.
TEST(OverviewMasters, SigtermEndsTheHeadlessSupervisorButNotItsMasters)
{
    TwoLines lines;
    ASSERT_TRUE(lines.ready);
    QProcess supervisor;
    supervisor.setWorkingDirectory(lines.dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    supervisor.setProcessEnvironment(env);
    supervisor.start(kOverviewBinary, {"Auto", "-M200"});
    ASSERT_TRUE(supervisor.waitForStarted(5'000));
    QString out;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        out += QString::fromUtf8(supervisor.readAllStandardOutput());
        return out.contains("Com3: kelvaro Auto -M200 -C3 (PID");
    }, 15'000)) << out.toStdString() << supervisor.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("Com\tAnz Zähler")) << out.toStdString();
    EXPECT_TRUE(out.contains("Com1: kelvaro Auto -M200 -C1 (PID")) << out.toStdString();

    ASSERT_TRUE(QTest::qWaitFor([&] { return MastersIn(lines.dir.path()).size() == 2; }, 5'000));
    const QList<qint64> masters = MastersIn(lines.dir.path());
    supervisor.terminate();
    ASSERT_TRUE(supervisor.waitForFinished(8'000));
    EXPECT_EQ(supervisor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(supervisor.exitCode(), 0);
    QTest::qWait(500);
    for (const qint64 pid : masters)
        EXPECT_TRUE(alive(pid)) << "master " << pid << " ended with its supervisor";
    EXPECT_TRUE(QTest::qWaitFor([&] { return lines.mbLog().contains("33333305"); }, 30'000));
}

TEST(OverviewMasters, HeadlessWithoutAutoPrintsThePortsAndEnds)
{
    TwoLines lines;
    ASSERT_TRUE(lines.ready);
    const ProgramRun overview = RunProgram("kelvaro-overview", {"--headless", "-M200"}, lines.dir.path(), 10'000);
    ASSERT_TRUE(overview.finished);
    EXPECT_EQ(overview.exitCode, 0);
    const QStringList out = overview.outText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 3) << out.join('\n').toStdString();
    EXPECT_EQ(out[1], "1\t2\t\t\t2\t\t\t0,75\t");
    EXPECT_EQ(out[2], "3\t1\t\t\t1\t\t\t0,51\t");
    EXPECT_TRUE(MastersIn(lines.dir.path()).isEmpty());
}
