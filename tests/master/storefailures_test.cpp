// Storing a reading when one of its stores fails: each failure is reported
// with its own cause, whatever else fails beside it.
#include "../data/testdatabase.h"
#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/timeutil.h"
#include "master/meterstoring.h"
#include "storage/mbuslog.h"
#include "storage/rb6file.h"
#include "storage/readingtables.h"

using namespace kelvaro;
using namespace kelvaro::master;

namespace {

class StoreFailures : public test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Mandant = QStringLiteral("0200");
        DatenPath = DBPATH;
        ASSERT_TRUE(MBOpenDatenbank()) << LastErrorText().toStdString();
        ASSERT_TRUE(OpenMBusWerte(values)) << LastErrorText().toStdString();
        context.values = &values;
        context.client = QStringLiteral("1");
        context.port = 1;
        for (StoreSwitch s : {StoreSwitch::Database, StoreSwitch::MBusLog, StoreSwitch::RB6Files})
            context.switches.set(s, true);
        context.log = [this](const QString& text) { logView << text; };

        meter.MB_ID = QStringLiteral("50001010");
        meter.Zname = QStringLiteral("L1M10");
        meter.PrimAdr = 10;
        meter.LZNR = 10;
        meter.IndexCount = 1;
        meter.ValueCount = 1;
        meter.ValueTable[1].value = 101001;
        meter.ValueTable[1].unitText = QStringLiteral("kWh");
        meter.ValueTable[1].readingTime = static_cast<qint32>(DateToSeconds(LocalNow()));
        meter.ValueTable[1].storeFlag = 255;
    }

    void breakDatabase() { ASSERT_TRUE(DBConnection().exec(QStringLiteral("DROP TABLE MBusWerte"))); }
    // A file where the log directory belongs: no mb.log line can be written.
    void breakMBusLog() { dir_.write("DB200/MBusLog", "kein Verzeichnis"); }
    void breakRB6Files() { dir_.write("DB200/Z200", "kein Verzeichnis"); }

    QString mbLog() const
    {
        return FromWin1252(dir_.read("DB200/MBusLog/" + LocalNow().toString("yyMMdd") + "mb.log"));
    }
    QString programLog() const { return FromWin1252(dir_.read("DB200/" + LocalNow().toString("yyMMdd") + "ed.log")); }
    std::string shown() const { return logView.join('\n').toStdString(); }

    ReadingTable values;
    StoreContext context;
    MeterRecord meter;
    QStringList logView;
};

} // namespace

TEST_P(StoreFailures, AFailedDatabaseStoreNamesTheDatabasesCauseWhileTheLogFailsToo)
{
    breakDatabase();
    breakMBusLog();
    MBusZaehlerSpeichern(context, meter);

    ASSERT_EQ(logView.filter("Fehler speichern MBIndexe -1 ").size(), 1) << shown();
    EXPECT_TRUE(logView.filter("Fehler speichern MBIndexe -1 ")[0].startsWith("Fehler speichern MBIndexe -1 MBusWerte: "))
        << shown();
    EXPECT_TRUE(logView.filter("MBusLog").isEmpty()) << shown();
    EXPECT_TRUE(programLog().contains("Fehler beim Schreiben")) << "the log's own failure has its own place";

    RB6Header header;
    ASSERT_TRUE(RB6ReadHeader(RB6FileName(DatenPath, 10, 1), header)) << "the other stores go on";
    EXPECT_EQ(header[1].Wert, 10.0);
}

TEST_P(StoreFailures, EachFailedStoreWritesItsOwnCauseIntoTheLog)
{
    breakDatabase();
    breakRB6Files();
    MBusZaehlerSpeichern(context, meter);

    const QString log = mbLog();
    EXPECT_TRUE(log.contains(";50001010;L1M10;1;10;1;101001;kWh;\r\n")) << log.toStdString();
    EXPECT_TRUE(log.contains(" ;Fehler beim speichern Index in DB :  rc=MBusWerte: ")) << log.toStdString();
    EXPECT_TRUE(log.contains(" ;Fehler beim speichern RB6 : -1 rc=Verzeichnis für .\\DB200\\Z200\\000010001.ovx")) << log.toStdString();
    EXPECT_TRUE(logView.filter("Fehler speichern MBIndexe -1 ")[0].contains("MBusWerte: ")) << shown();
}

TEST_P(StoreFailures, AWorkingDatabaseIsReportedAsSuchWhileTheLogCannotBeWritten)
{
    breakMBusLog();
    MBusZaehlerSpeichern(context, meter);

    EXPECT_EQ(logView.filter("Speichern MBIndex Ok ").size(), 1) << shown();
    EXPECT_TRUE(logView.filter("Fehler").isEmpty()) << shown();
    EXPECT_EQ(DBConnection().scalar("SELECT Count(*) FROM MBusWerte WHERE lznr = ?", {10}).toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreFailures, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);
