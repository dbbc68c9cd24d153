// A reading that the log view or "mb.log" shows is in the database by then:
// the meter's rows are committed before its lines are written.
#include "../data/testdatabase.h"
#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/timeutil.h"
#include "master/meterstoring.h"
#include "storage/readingtables.h"

using namespace kelvaro;
using namespace kelvaro::master;

namespace {

class StoreOrder : public test::EngineTest {};

} // namespace

TEST_P(StoreOrder, EveryRowIsCommittedBeforeALineShowsItsReading)
{
    Mandant = QStringLiteral("0200");
    DatenPath = DBPATH;
    ASSERT_TRUE(MBOpenDatenbank()) << LastErrorText().toStdString();
    ReadingTable values, readings;
    ASSERT_TRUE(OpenMBusWerte(values));
    ASSERT_TRUE(OpenZaehlerstaende(readings));
    // Another process's view: only committed rows.
    SqlConnection other(QStringLiteral("storeorder.other"));
    ASSERT_TRUE(db_->openInto(other)) << LastErrorText().toStdString();

    StoreContext context;
    context.values = &values;
    context.readings = &readings;
    context.client = QStringLiteral("1");
    context.port = 1;
    for (StoreSwitch s : {StoreSwitch::Database, StoreSwitch::MBusLog, StoreSwitch::RB6Files})
        context.switches.set(s, true);
    MeterRecord meter;
    meter.MB_ID = QStringLiteral("50001010");
    meter.Zname = QStringLiteral("L1M10");
    meter.PrimAdr = 10;
    meter.LZNR = 10;
    meter.MBIndex = 2;
    meter.IndexCount = meter.ValueCount = 3;
    for (int i = 1; i <= 3; ++i) {
        meter.ValueTable[i].value = 1000 * i;
        meter.ValueTable[i].unitText = QStringLiteral("kWh");
        meter.ValueTable[i].readingTime = static_cast<qint32>(DateToSeconds(LocalNow()));
        meter.ValueTable[i].storeFlag = 255;
    }

    QStringList shown;
    context.log = [&](const QString& text) {
        if (!text.startsWith(QLatin1String("Speichern")))
            return;
        const QString log = FromWin1252(dir_.read("DB200/MBusLog/" + LocalNow().toString("yyMMdd") + "mb.log"));
        shown << QStringLiteral("%1| mb.log %2, MBusWerte %3, Zaehlerstaende %4")
                     .arg(text)
                     .arg(log.count(QStringLiteral(";50001010;L1M10;")))
                     .arg(other.scalar(QStringLiteral("SELECT Count(*) FROM MBusWerte WHERE lznr = 10")).toInt())
                     .arg(other.scalar(QStringLiteral("SELECT Count(*) FROM Zaehlerstaende WHERE lznr = 10")).toInt());
    };
    MBusZaehlerSpeichern(context, meter);

    EXPECT_EQ(shown, (QStringList{"Speichern MBIndex Ok | mb.log 1, MBusWerte 3, Zaehlerstaende 1",
                                  "Speichern MBIndex Ok | mb.log 2, MBusWerte 3, Zaehlerstaende 1",
                                  "Speichern ZStaende Ok| mb.log 2, MBusWerte 3, Zaehlerstaende 1",
                                  "Speichern MBIndex Ok | mb.log 3, MBusWerte 3, Zaehlerstaende 1"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreOrder, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);
