#include "foundation/ini.h"
#include "masterprocess.h"
#include "ser2netprocess.h"
#include "stationfixture.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QtTest/QTest>

#include <functional>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

constexpr int kMeters = 3;

// A raw device server runs its line at one rate.
QStringList ThreeMeters(int thirdBaud = 9600)
{
    return {Meter(1, "12345601"), Meter(2, "12345602"), Meter(3, "12345603", thirdBaud)};
}

// The master program on COM1 of an installation, cycling every second.
class MasterProgram : public MasterProcess {
public:
    MasterProgram(InstallationDir& dir, const QString& device)
        : dir_(dir)
    {
        WriteIniString("OVX", "COM1", device, kOvxIni);
        WriteIniString("1320MBus", "IntervallCom1", "1", kOvxIni);
        startIn(dir.path(), MasterArgs("1320", 1));
    }
    QString mbLog() const { return FromWin1252(dir_.read("DB1320/MBusLog/" + LocalNow().toString("yyMMdd") + "mb.log")); }
    QString programLog() const { return FromWin1252(dir_.read("DB1320/" + LocalNow().toString("yyMMdd") + "ed.log")); }
    // Readings of each meter's first value in the M-Bus log.
    QList<int> readings() const
    {
        const QString log = mbLog();
        QList<int> n;
        for (int a = 1; a <= kMeters; ++a)
            n << static_cast<int>(log.count(QStringLiteral(";1;%1;1;").arg(a)));
        return n;
    }
    // Every meter read again since `before`.
    bool readAgain(const QList<int>& before) const
    {
        const QList<int> now = readings();
        for (int i = 0; i < kMeters; ++i)
            if (now[i] <= before[i])
                return false;
        return true;
    }

private:
    InstallationDir& dir_;
};

// Three times the line goes away in the middle of the program's cycling and
// comes back under the same name: each loss and return is said once in the
// program log and the M-Bus log, and all meters are read again after each.
void LoseTheLineThreeTimes(InstallationDir& dir, const QString& device, const std::function<void()>& drop,
                           const std::function<bool()>& restore)
{
    MasterProgram master(dir, device);
    QList<int> before{0, 0, 0};
    ASSERT_TRUE(QTest::qWaitFor([&] { return master.readAgain(before); }, 20000)) << master.output().toStdString();
    const QString lost = QStringLiteral("Verbindung zu %1 verloren").arg(device);
    const QString back = QStringLiteral("Verbindung zu %1 wieder hergestellt").arg(device);
    for (int n = 1; n <= 3; ++n) {
        // In the middle of a cycle: as the second meter is asked.
        ASSERT_TRUE(QTest::qWaitFor([&] { return master.output().endsWith("Lese 2 von 3\n"); }, 20000))
            << "loss " << n << ": " << master.output().toStdString();
        drop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return master.mbLog().count(lost) == n; }, 20000))
            << "loss " << n << " not said: " << master.mbLog().toStdString();
        QTest::qWait(1500); // a cycle without line
        before = master.readings();
        ASSERT_TRUE(restore()) << "loss " << n;
        ASSERT_TRUE(QTest::qWaitFor([&] { return master.readAgain(before); }, 20000))
            << "loss " << n << ": not read again. " << master.output().toStdString();
        EXPECT_TRUE(master.running());
    }
    const QString mbLog = master.mbLog();
    EXPECT_EQ(mbLog.count(lost), 3) << mbLog.toStdString();
    EXPECT_EQ(mbLog.count(back), 3);
    EXPECT_EQ(master.programLog().count(lost), 3);
    EXPECT_EQ(master.programLog().count(back), 3);
    ASSERT_TRUE(master.stop());
    EXPECT_EQ(master.exitCode(), 0);
}

} // namespace

TEST(MasterProgramLineLost, PseudoTerminalUnderASymlinkGoesAndComesBack)
{
    InstallationDir dir;
    ReturningLine line(BusJson(ThreeMeters()), ReturningLine::PseudoTerminal);
    dir.write("bus.json", BusJson(ThreeMeters()));
    QString error;
    ASSERT_TRUE(master::CreateDemoInstallation("1320", line.device(), dir.file("bus.json"), &error)) << error.toStdString();
    ResetClient();
    LoseTheLineThreeTimes(dir, line.device(), [&] { line.drop(); }, [&] { return line.restore(); });
}

TEST(MasterProgramLineLost, TcpDeviceServerStopsAndStartsOnTheSamePort)
{
    InstallationDir dir;
    ReturningLine line(BusJson(ThreeMeters(2400)), ReturningLine::Tcp);
    dir.write("bus.json", BusJson(ThreeMeters(2400)));
    QString error;
    ASSERT_TRUE(master::CreateDemoInstallation("1320", line.device(), dir.file("bus.json"), &error)) << error.toStdString();
    ResetClient();
    LoseTheLineThreeTimes(dir, line.device(), [&] { line.drop(); }, [&] { return line.restore(); });
}

TEST(MasterProgramLineLost, Rfc2217DeviceServerStopsAndStartsOnTheSamePort)
{
    if (!Ser2NetProcess::available())
        GTEST_SKIP() << "ser2net is not installed";
    InstallationDir dir;
    SimProcess sim(BusJson(ThreeMeters()), {"--fast"});
    auto server = std::make_unique<Ser2NetProcess>(sim.device());
    ASSERT_FALSE(server->device().isEmpty()) << "ser2net did not come up";
    const QString device = server->device();
    const auto port = static_cast<quint16>(QUrl(device).port());
    dir.write("bus.json", BusJson(ThreeMeters()));
    QString error;
    ASSERT_TRUE(master::CreateDemoInstallation("1320", device, dir.file("bus.json"), &error)) << error.toStdString();
    ResetClient();
    LoseTheLineThreeTimes(
        dir, device, [&] { server.reset(); },
        [&] {
            server = std::make_unique<Ser2NetProcess>(sim.device(), port);
            return !server->device().isEmpty();
        });
}
