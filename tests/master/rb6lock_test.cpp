#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/processlock.h"
#include "master/rb6importgate.h"
#include "stationfixture.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

// A cycle of two meters on client 1320; the test process stands in for the
// log import (or another master) through the lock of the RB6 directory.
class RB6LockFixture : public StationFixture {
public:
    RB6LockFixture()
        : StationFixture({Meter(1, "12345601"), Meter(2, "12345602")})
    {
        QDir().mkpath(dir.file("DB1320/Z1320"));
        station.load("Auto -M1320 -C1 -T0");
    }
    QString lockFile() const { return RB6DirectoryLockFile(dir.file("DB1320/Z1320")); }
    // The test's own hold on the directory, with the station's wait bound.
    bool hold(ProcessLock::Mode mode, int waitBoundMs)
    {
        station.settings.rb6ImportWaitMs = waitBoundMs;
        return other.tryLock(mode);
    }
    int rb6Files() const { return int(QDir(dir.file("DB1320/Z1320")).entryList({"*.ovx"}).size()); }
    // Elements written into the RB6 file of meter lznr, value index 1.
    int elements(int lznr) const
    {
        QList<RB6IndexedElement> out;
        if (!RB6ReadElements(dir.file(QStringLiteral("DB1320/Z1320/%1").arg(lznr, 6, 10, QLatin1Char('0')) + "001.ovx"), out))
            ADD_FAILURE() << LastErrorText().toStdString();
        return int(out.size());
    }
    void runOnce()
    {
        station.cmdStart();
        station.timerTick();
    }

    ProcessLock other{lockFile()};
};

} // namespace

TEST(MasterRB6Lock, MastersShareTheDirectoryWithoutWaiting)
{
    RB6LockFixture f;
    ASSERT_TRUE(f.ready);
    ASSERT_TRUE(f.hold(ProcessLock::Mode::Shared, 60000)) << "another master";
    f.station.timerTick();
    EXPECT_EQ(f.station.label1, "Fertig");
    EXPECT_EQ(f.rb6Files(), 4);
    EXPECT_FALSE(f.mbLog().contains("Warte auf Import")) << f.mbLog().toStdString();
    // Between the readings the master holds nothing: an import may start at once.
    f.other.unlock();
    EXPECT_FALSE(ProcessLock::isHeld(f.lockFile()));
}

TEST(MasterRB6Lock, ACycleWaitsForTheImportAndWritesAfterIt)
{
    RB6LockFixture f;
    ASSERT_TRUE(f.ready);
    ASSERT_TRUE(f.hold(ProcessLock::Mode::Exclusive, 60000)) << "the import";
    int filesDuringImport = -1;
    QTimer::singleShot(400, [&] {
        filesDuringImport = f.rb6Files();
        f.other.unlock();
    });
    f.station.timerTick();
    EXPECT_EQ(filesDuringImport, 0) << "nothing written into the directory while the import held it";
    EXPECT_EQ(f.station.label1, "Fertig");
    EXPECT_EQ(f.rb6Files(), 4);
    EXPECT_EQ(f.elements(1), 1);
    EXPECT_EQ(f.elements(2), 1);
    EXPECT_EQ(f.mbLog().count(" ;Warte auf Import der Logdateien\r\n"), 1);
    EXPECT_FALSE(f.mbLog().contains("Fehler")) << f.mbLog().toStdString();
    EXPECT_TRUE(f.station.log.contains("Import der Logdateien beendet"));
    EXPECT_EQ(f.rows("MBusWerte"), 4);
}

// The bound ran out: the values stay in the database and in "mb.log" (even
// with its switch off, for the import to bring them into the RB6 files), the
// cycle waits only once, and the next cycle writes RB6 files again.
TEST(MasterRB6Lock, AWaitThatRunsOutKeepsTheValuesInTheLog)
{
    RB6LockFixture f;
    ASSERT_TRUE(f.ready);
    ASSERT_TRUE(f.hold(ProcessLock::Mode::Exclusive, 300)) << "the import";
    f.station.settings.store.set(master::StoreSwitch::MBusLog, false);
    f.station.timerTick();
    EXPECT_EQ(f.station.label1, "Fertig");
    EXPECT_EQ(f.rb6Files(), 0);
    const QString log = f.mbLog();
    EXPECT_EQ(log.count(" ;Warte auf Import der Logdateien\r\n"), 1) << "one wait per cycle";
    EXPECT_EQ(log.count(" ;Fehler : Import der Logdateien läuft noch, RB6 Dateien nicht gespeichert (Werte im mb.log)\r\n"),
              1)
        << log.toStdString();
    EXPECT_TRUE(log.contains(" ;12345601;Wasserzähler 1;1;1;1;100;m³;\r\n")) << log.toStdString();
    EXPECT_TRUE(log.contains(" ;12345602;Wasserzähler 2;1;2;2;5;m³;\r\n")) << log.toStdString();
    EXPECT_EQ(f.rows("MBusWerte"), 4);
    EXPECT_EQ(f.rows("Zaehlerstaende"), 2);
    EXPECT_TRUE(f.station.log.contains("RB6 nicht gespeichert für 2 Zähler"));

    f.other.unlock();
    const qsizetype readingLines = f.mbLog().count(";m³;\r\n");
    f.runOnce();
    EXPECT_EQ(f.rb6Files(), 4);
    EXPECT_EQ(f.mbLog().count(";m³;\r\n"), readingLines) << "with the lock back the switch counts again";
    EXPECT_EQ(f.mbLog().count("Warte auf Import"), 1);
}

TEST(MasterRB6Lock, StopAndClosingEndTheWait)
{
    RB6LockFixture f;
    ASSERT_TRUE(f.ready);
    ASSERT_TRUE(f.hold(ProcessLock::Mode::Exclusive, 120000)) << "the import";

    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(300, &f.station, &master::MasterStation::cmdStop);
    f.station.timerTick();
    EXPECT_LT(clock.elapsed(), 60000) << "Stop must end the wait, not its bound";
    EXPECT_FALSE(f.station.cycle.Busy);
    EXPECT_EQ(f.meter(1).lastRead, master::LastRead::Ok);
    EXPECT_EQ(f.meter(2).lastRead, master::LastRead::NotTried);
    EXPECT_TRUE(f.mbLog().contains(" ;12345601;Wasserzähler 1;1;1;1;100;m³;\r\n")) << "the stopped reading is kept";

    clock.restart();
    f.station.cmdStart();
    QTimer::singleShot(300, &f.station, &master::MasterStation::formUnload);
    f.station.timerTick();
    EXPECT_LT(clock.elapsed(), 60000) << "closing must end the wait";
    EXPECT_EQ(f.rb6Files(), 0);
}

TEST(MasterRB6Lock, WaitBoundFollowsTheInterval)
{
    master::StationSettings s;
    EXPECT_EQ(s.rb6ImportWaitBoundMs(), 300000) << "single runs";
    s.IntervallCom = 60;
    EXPECT_EQ(s.rb6ImportWaitBoundMs(), 60000);
    s.IntervallCom = 900;
    EXPECT_EQ(s.rb6ImportWaitBoundMs(), 300000);
    s.rb6ImportWaitMs = 0;
    EXPECT_EQ(s.rb6ImportWaitBoundMs(), 0);

    InstallationDir dir;
    Mandant = QStringLiteral("200");
    WriteIniString("200MBus", "RB6ImportWarten", "2,5", kOvxIni);
    EXPECT_EQ(master::StationSettings::load(1).rb6ImportWaitMs, 2500);
    WriteIniString("200MBus", "RB6ImportWarten", "-4", kOvxIni);
    EXPECT_EQ(master::StationSettings::load(1).rb6ImportWaitMs, 0);
}

// A directory the lock cannot be taken in (here: a file in its place) is
// written past as before, with one line in the log view.
TEST(MasterRB6Lock, AnUnusableLockFileDoesNotStopTheReadings)
{
    InstallationDir dir;
    Mandant = QStringLiteral("200");
    dir.write("Z200", "a file where the directory should be");
    QStringList lines;
    master::RB6ImportGate gate(master::RB6Directory(QStringLiteral(".\\")), 1000,
                               {[&](const QString& t) { lines << t; }, {}, {}});
    EXPECT_TRUE(gate.enter());
    gate.leave();
    EXPECT_TRUE(gate.enter());
    gate.leave();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith("Fehler RB6 Sperre : ")) << lines.first().toStdString();
    EXPECT_EQ(gate.skipped(), 0);
}
