// The import against what the master itself wrote: a cycle on the simulator,
// then its day's log imported, must give byte for byte the master's RB6 files.
#include "foundation/ini.h"
#include "logimport/logimport.h"
#include "master/stationfixture.h"
#include "programrun.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QJsonObject>

using namespace kelvaro;
using namespace kelvaro::logimport;
using namespace kelvaro::test;

TEST(LogRebuild, ImportOfTheDaysLogEqualsTheMastersOwnRB6Files)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12045602", 2400, R"("mbId": "12f45602")"), Meter(3, "12345603", 2400, R"("silent": true)"),
                      Meter(9, "32345609", 9600)});
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    f.station.timerTick();
    const QDir rb6("DB1320/Z1320");
    const QStringList masterFiles = rb6.entryList({"*.ovx"}, QDir::Files);
    ASSERT_EQ(masterFiles.size(), 3 * 2) << "three meters answer with two values each";
    f.station.formUnload();

    LogImportSettings settings;
    settings.client = "1320";
    settings.dbPath = ".\\DB1320\\";
    const QDate today = LocalNow().date();
    const ImportSummary s = LogImport(settings).importRange(today.addDays(-1), today); // a cycle across midnight
    ASSERT_FALSE(s.failed) << s.error.toStdString();
    EXPECT_EQ(s.valuesWritten, 6);
    EXPECT_GT(s.skipped[int(SkipReason::Event)], 0) << "start line and read errors";
    ASSERT_FALSE(s.backupDirectory.isEmpty());
    const QString backup = "DB1320/Z1320/" + s.backupDirectory.section('\\', 3, 3) + "/";
    EXPECT_EQ(rb6.entryList({"*.ovx"}, QDir::Files), masterFiles);
    for (const QString& file : masterFiles) {
        const QByteArray master = f.dir.read(backup + file);
        ASSERT_FALSE(master.isEmpty()) << file.toStdString();
        EXPECT_TRUE(f.dir.read("DB1320/Z1320/" + file) == master) << file.toStdString() << " differs";
    }
}

TEST(LogImportCli, ImportsARangeAndReportsTheSummaryAsJson)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602")});
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0");
    f.station.timerTick();
    f.station.formUnload();
    DBConnection().close();
    if (!ProgramBuilt("kelvaro-cli"))
        GTEST_SKIP() << "kelvaro-cli not built";
    const QString day = LocalNow().date().toString("dd.MM.yyyy");

    ProgramRun run = RunCli({"import-log", "-M1320", "--from", day, "--to", day, "--json"}, f.dir.path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject o = run.outJson();
    EXPECT_EQ(o["valuesWritten"].toInt(), 4);
    EXPECT_EQ(o["filesRead"].toInt(), 1);
    EXPECT_EQ(o["skipped"].toObject()["Kopfzeile"].toInt(), 1);
    EXPECT_EQ(o["linesRead"].toInt(), 4 + o["linesSkipped"].toInt());
    EXPECT_TRUE(o["backupDirectory"].toString().contains("Sicherung-"));
    EXPECT_TRUE(run.err.contains("Tag 1/1"));

    run = RunCli({"import-log", "-M1320", "--from", "31.02.2026", "--to", day}, f.dir.path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2) << "not a date";

    // A database that cannot be read fails the command.
    QFile::rename(f.dir.file("DB1320/basis.db"), f.dir.file("DB1320/basis.db.weg"));
    QDir(f.dir.file("DB1320")).mkdir("basis.db");
    run = RunCli({"import-log", "-M1320", "--from", day, "--to", day, "--json"}, f.dir.path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_TRUE(run.outJson().contains("error"));
}

TEST(LogRebuild, TheCommandRebuildsTheMastersBytesWithAStandardSizeInTheIni)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602")});
    ASSERT_TRUE(f.ready);
    // The key only sizes files created with a block count of 0; the master's
    // stored readings always get files of its own block count.
    ASSERT_EQ(ReadIniString("1320MBus", "RB6_StandardGroesse", kOvxIni), "600");
    f.station.load("Auto -M1320 -C1 -T0");
    f.station.timerTick();
    f.station.formUnload();
    DBConnection().close();
    const QDir rb6("DB1320/Z1320");
    const QStringList masterFiles = rb6.entryList({"*.ovx"}, QDir::Files);
    ASSERT_EQ(masterFiles.size(), 2 * 2);
    if (!ProgramBuilt("kelvaro-cli"))
        GTEST_SKIP() << "kelvaro-cli not built";

    const QString day = LocalNow().date().toString("dd.MM.yyyy");
    const QString before = LocalNow().date().addDays(-1).toString("dd.MM.yyyy");
    const ProgramRun run = RunCli({"import-log", "-M1320", "--from", before, "--to", day, "--json"}, f.dir.path());
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject o = run.outJson();
    EXPECT_EQ(o["valuesWritten"].toInt(), 4);
    const QString backup = "DB1320/Z1320/" + o["backupDirectory"].toString().section('\\', 3, 3) + "/";
    EXPECT_EQ(rb6.entryList({"*.ovx"}, QDir::Files), masterFiles);
    for (const QString& file : masterFiles) {
        const QByteArray master = f.dir.read(backup + file);
        ASSERT_EQ(master.size(), qint64(kRB6MasterBlockCount) * kRB6BlockBytes) << file.toStdString();
        EXPECT_TRUE(f.dir.read("DB1320/Z1320/" + file) == master) << file.toStdString() << " differs";
    }
}

TEST(LogImportCli, FileThatDoesNotExistFailsWithItsName)
{
    StationFixture f({Meter(1, "12345601")});
    ASSERT_TRUE(f.ready);
    if (!ProgramBuilt("kelvaro-cli"))
        GTEST_SKIP() << "kelvaro-cli not built";
    const ProgramRun run = RunCli({"import-log", "-M1320", "--file", "DB1320/MBusLog/991231mb.log"}, f.dir.path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 5);
    const QString error = run.errText();
    EXPECT_TRUE(error.contains("991231mb.log") && error.contains("nicht gefunden")) << error.toStdString();
}
