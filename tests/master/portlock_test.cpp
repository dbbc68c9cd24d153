#include "foundation/ini.h"
#include "foundation/processlock.h"
#include "masterprocess.h"
#include "stationfixture.h"

#include <QtTest/QTest>

#include <csignal>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

constexpr int kPortInUse = 3;

// Waits (with the event loop running) until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms)
{
    for (int waited = 0; waited < ms; waited += 50) {
        if (done())
            return true;
        QTest::qWait(50);
    }
    return done();
}

class PortLockFixture : public StationFixture {
public:
    PortLockFixture()
        : StationFixture({Meter(1, "12345601")}, "1320", {"--fast", "--verbose"})
    {
        WriteIniString("1320MBus", "IntervallCom1", "1", kOvxIni);
    }
    QString lockFile() const { return MasterPortLockFile(dir.path() + "/DB1320/", "1320", 1); }
    QString programLog() const
    {
        return FromWin1252(dir.read("DB1320/" + LocalNow().toString("yyMMdd") + "ed.log"));
    }
    QString mbLogFile() const { return FromWin1252(dir.read("DB1320/MBusLog/" + LocalNow().toString("yyMMdd") + "mb.log")); }
    // What the simulator saw on the line since the last call.
    QString traffic()
    {
        QTest::qWait(100);
        return sim->output();
    }
};

} // namespace

TEST(MasterPortLock, ASecondMasterOnAHeldPortEndsWithoutTouchingTheLine)
{
    PortLockFixture f;
    ASSERT_TRUE(f.ready);
    const QString expected = QString::fromUtf8("Kelvaro Com1 läuft bereits (Sperre ");

    // Held by someone else for good: refused after the retry, with the line untouched.
    {
        ProcessLock other(f.lockFile());
        ASSERT_TRUE(other.tryLock(ProcessLock::Mode::Exclusive));
        MasterProcess master(f.dir.path(), MasterArgs("1320", 1));
        ASSERT_TRUE(master.waitForFinished(15000));
        const QString out = QString::fromUtf8(master.readAll());
        EXPECT_EQ(master.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(master.exitCode(), kPortInUse) << out.toStdString();
        EXPECT_TRUE(out.contains(expected)) << out.toStdString();
        EXPECT_TRUE(f.programLog().contains(expected)) << f.programLog().toStdString();
        EXPECT_TRUE(f.mbLogFile().contains(" ;" + expected)) << f.mbLogFile().toStdString();
        EXPECT_FALSE(f.mbLogFile().contains("Datenholen gestartet")) << "the refused master did not start";
        EXPECT_EQ(f.traffic(), QString()) << "the refused master sent nothing";
    }

    // A supervisor probing the lock at the moment of the start only delays it.
    MasterProcess first;
    {
        ProcessLock probe(f.lockFile());
        ASSERT_TRUE(probe.tryLock(ProcessLock::Mode::Exclusive));
        first.startIn(f.dir.path(), MasterArgs("1320", 1));
        ASSERT_TRUE(first.waitForStarted(5000));
        QTest::qWait(500);
    }
    ASSERT_TRUE(waitFor([&] { return f.traffic().contains("<- "); }, 10000))
        << "the first master reads its meters\n" << first.readAll().toStdString();
    EXPECT_TRUE(ProcessLock::isHeld(f.lockFile())) << "a running master holds its port";

    // Two masters on one port: the second is refused, the first goes on.
    MasterProcess second(f.dir.path(), MasterArgs("1320", 1));
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), kPortInUse) << second.readAll().toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    // SIGKILL gives no chance to clean up: the operating system drops the lock.
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_FALSE(ProcessLock::isHeld(f.lockFile()));

    // Another client's master on the same port number is a different line.
    EXPECT_NE(MasterPortLockFile("x\\", "1320", 1), MasterPortLockFile("x\\", "200", 1));
}

TEST(MasterPortLock, TheStationHoldsItsPortAsLongAsItLives)
{
    PortLockFixture f;
    ASSERT_TRUE(f.ready);
    {
        master::MasterStation station;
        station.load("-M1320 -C1 -T0");
        EXPECT_FALSE(station.refused());
        EXPECT_TRUE(ProcessLock::isHeld(f.lockFile()));
        station.load("-M1320 -C1 -T0");
        EXPECT_FALSE(station.refused()) << "loading again keeps its own lock";

        master::MasterStation twin;
        QStringList refusals;
        QObject::connect(&twin, &master::MasterStation::startRefused, [&](const QString& t) { refusals << t; });
        twin.load("Auto -M1320 -T0"); // the port from the database
        EXPECT_TRUE(twin.refused());
        ASSERT_EQ(refusals.size(), 1);
        EXPECT_TRUE(refusals.first().startsWith(QString::fromUtf8("Kelvaro Com1 läuft bereits (Sperre ")));
        EXPECT_FALSE(twin.Timer1.isActive());
        twin.cmdStart();
        EXPECT_FALSE(twin.Running) << "a refused station does not start";
    }
    EXPECT_FALSE(ProcessLock::isHeld(f.lockFile()));
}
