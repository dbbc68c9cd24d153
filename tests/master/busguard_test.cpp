#include "stationfixture.h"

#include <QTimer>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

// Every manual bus action of the station, as the window's clicks reach it.
void clickEveryBusAction(master::MasterStation& station)
{
    station.cmd_V2_MBLesenSecundaer(2);
    station.meterRowChosen(1);
    station.TestZaehlerLaden();
    station.cmdSpeichernIndexliste(0);
}

} // namespace

// The cycle waits in nested event loops: a click can arrive in the middle of
// an exchange. It is refused and the cycle goes on as if nothing happened.
TEST(MasterBusGuard, ClicksDuringTheCycleAreRefused)
{
    StationFixture f(TenMeters());
    ASSERT_TRUE(f.ready);
    f.station.load("Auto -M1320 -C1 -T0 testzaehler");
    int clicksInCycle = 0;
    QObject::connect(&f.station, &master::MasterStation::rowSelected, [&](int row) {
        if (row == 3 && clicksInCycle == 0) {
            clicksInCycle += f.station.cycle.Busy;
            clickEveryBusAction(f.station);
            // And once more from inside the next wait on the line.
            QTimer::singleShot(0, &f.station, [&] {
                clicksInCycle += f.station.cycle.Busy;
                clickEveryBusAction(f.station);
            });
        }
    });
    f.station.timerTick();
    EXPECT_EQ(clicksInCycle, 2);

    for (const char* action : {"V2_MB_LesenSecundaer", "Handlesen", "Testzähler laden", "Indexliste Speichern"}) {
        const QString refusal = QStringLiteral("Com1 belegt (Lesezyklus): %1 abgewiesen").arg(QString::fromUtf8(action));
        EXPECT_TRUE(f.station.log.contains(refusal)) << action;
    }
    EXPECT_FALSE(f.station.log.contains("Öffne Com")) << "no manual reading ran";
    EXPECT_FALSE(f.station.log.contains("Lesen Ok Adr 1"));
    ASSERT_EQ(f.station.manual.indexGrid.rowCount(), 2) << "the refused row event shows what the cycle read";
    EXPECT_EQ(f.station.manual.indexGrid.cell(0, 0), "(9) 1");

    // The cycle as without the clicks.
    EXPECT_EQ(f.station.label1, "Fertig");
    EXPECT_EQ(f.station.Port, 1);
    EXPECT_FALSE(f.station.testMeterFlag);
    ASSERT_EQ(f.station.meterCount(), 10);
    for (int r = 1; r <= 10; ++r)
        EXPECT_EQ(f.meter(r).lastRead, f.meter(r).PrimAdr == 8 ? master::LastRead::Failed : master::LastRead::Ok) << r;
    EXPECT_EQ(f.rows("MBusWerte"), 9 * 2);
    EXPECT_EQ(f.rows("MB_IndexListe"), 9 * 2);

    // Afterwards the line is free again.
    EXPECT_TRUE(f.station.busFree());
    f.station.meterRowChosen(3);
    EXPECT_TRUE(f.station.log.contains("Antwort OK  "));
    EXPECT_EQ(f.station.manual.indexGrid.cell(0, 0), "(1) 1");
}

// A manual reading holds the line too: neither the cycle nor another manual
// reading starts inside it; the cycle follows at a later tick.
TEST(MasterBusGuard, AManualReadingHoldsTheLineAgainstTheCycle)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602")});
    ASSERT_TRUE(f.ready);
    f.station.load("-M1320 -C1 -T0 testzaehler");
    f.station.cmdStart(); // read once: the next tick starts the cycle
    bool inside = false;
    QObject::connect(&f.station.log, &master::LogView::line, [&](const QString& line) {
        if (line.endsWith("\tÖffne Com") && !inside) {
            inside = true;
            QTimer::singleShot(0, &f.station, [&] {
                EXPECT_FALSE(f.station.busFree());
                f.station.timerTick();
                f.station.cmd_V2_MBLesenSecundaer(1);
                f.station.meterRowChosen(1);
            });
        }
    });
    f.station.meterRowChosen(2);
    ASSERT_TRUE(inside);
    EXPECT_EQ(f.station.manual.indexGrid.rowCount(), 2) << "the manual reading itself succeeded";
    EXPECT_EQ(f.station.manual.indexGrid.cell(0, 0), "(2) 1");
    EXPECT_EQ(f.station.cycle.durations.rowCount(), 0) << "no cycle ran inside the manual reading";
    EXPECT_EQ(f.meter(1).OkCount, 0);
    EXPECT_TRUE(f.station.log.contains("Com1 belegt (Handlesen): V2_MB_LesenSecundaer abgewiesen"));
    EXPECT_TRUE(f.station.log.contains("Com1 belegt (Handlesen): Handlesen abgewiesen"));

    f.station.timerTick();
    EXPECT_EQ(f.station.label1, "Fertig");
    EXPECT_EQ(f.meter(1).lastRead, master::LastRead::Ok) << "the manual reading gave the line back";
    EXPECT_EQ(f.meter(2).lastRead, master::LastRead::Ok);
}
