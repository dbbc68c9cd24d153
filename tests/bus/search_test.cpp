#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "mbus/wire/nativeprovider.h"
#include "mbus/wire/providerselect.h"
#include "simprocess.h"
#include "testbench/primarysearch.h"
#include "testbench/secondarysearch.h"
#include "testsupport.h"

using namespace kelvaro;
using namespace kelvaro::mbus;
using namespace kelvaro::testbench;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {
const TimeoutSettings kSearchQuick{40, 8, 4, 11};

QString meter(int primary, const QString& id, const QString& bauds = "[2400]")
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": %3, "records": ["0413A0860100"]})")
        .arg(primary)
        .arg(id, bauds);
}
} // namespace

TEST(PrimarySearch, FindsEveryMeterOnceAcrossBaudRates)
{
    InstallationDir dir;
    SimProcess sim(BusJson({meter(3, "1", "[2400, 9600]"), meter(11, "2"), meter(20, "3", "[9600]")}), {"--fast"});
    NativeProvider provider;
    ASSERT_TRUE(provider.openDevice(sim.device(), 9600));
    provider.setPortDirectory(PortDirectory::everyPortTo(sim.device()));

    PrimarySearch search;
    EXPECT_EQ(search.M_Bus_SuchenVonBisRac(provider, 1, 9600, 0, 24, 1, kSearchQuick), 2);
    EXPECT_EQ(search.M_Bus_SuchenVonBisRac(provider, 1, 2400, 0, 24, 3, kSearchQuick), 2);
    EXPECT_EQ(search.found[3][6], "9600;2400;");
    EXPECT_EQ(search.found[11][6], "2400;");
    EXPECT_EQ(search.found[20][6], "9600;");
    EXPECT_EQ(search.found[20][1], "00000003");
    EXPECT_EQ(search.found[5][1], "");
    EXPECT_TRUE(search.statusLabels[3].startsWith("2 Zähler gefunden in ")) << search.statusLabels[3].toStdString();
    EXPECT_EQ(search.results.rows.size(), 4);

    EXPECT_EQ(search.M_Bus_SuchenVonBisRac(provider, 1, 2400, 10, 5, 3, kSearchQuick), 0) << "bis below von";
    int stoppedAfter = 0;
    QObject::connect(&search, &PrimarySearch::meterFound, [&](int a) {
        stoppedAfter = a;
        search.stopSearch = true;
    });
    EXPECT_EQ(search.M_Bus_SuchenVonBisRac(provider, 1, 2400, 0, 24, 3, kSearchQuick), 1);
    EXPECT_TRUE(search.elapsedLabel.startsWith("1 Zähler in ")) << search.elapsedLabel.toStdString();
    EXPECT_TRUE(search.elapsedLabel.endsWith(" sec. gefunden. Suche abgebrochen bei Adr. 4"));
    EXPECT_EQ(stoppedAfter, 3);
}

TEST(SecondarySearch, NarrowsCollisionsDigitByDigit)
{
    InstallationDir dir;
    SimProcess sim(BusJson({meter(1, "12345678", "[9600]"), meter(2, "12345679", "[9600]"),
                            meter(3, "55555551", "[9600]"), meter(4, "65555551", "[9600]")}),
                   {"--fast"});
    NativeProvider provider;
    provider.setPortDirectory(PortDirectory::everyPortTo(sim.device()));
    ApplyTimeoutSettings(provider, kSearchQuick);

    SecondarySearch search;
    QStringList masks;
    QObject::connect(&search, &SecondarySearch::maskChanged, [&](const QString& m) { masks << m; });
    EXPECT_EQ(search.run(provider, 1, {9600}), 4);
    QStringList ids;
    for (const QStringList& row : search.found)
        ids << row[1];
    EXPECT_EQ(ids, (QStringList{"65555551", "55555551", "12345679", "12345678"})) << "digits tried from 9 down";
    EXPECT_EQ(search.found.first()[0], "253");
    EXPECT_TRUE(masks.contains("12345679"));
    EXPECT_TRUE(search.resultLabel.startsWith("4 Zähler gefunden in ")) << search.resultLabel.toStdString();
}

TEST(SecondarySearch, BaudRatesTwinsAndStartPosition)
{
    InstallationDir dir;
    SimProcess sim(BusJson({meter(1, "00000012", "[9600, 2400]"), meter(2, "00000044", "[9600]"),
                            meter(3, "00000044", "[9600]")}),
                   {"--fast"});
    NativeProvider provider;
    provider.setPortDirectory(PortDirectory::everyPortTo(sim.device()));
    ApplyTimeoutSettings(provider, kSearchQuick);

    SecondarySearch search;
    EXPECT_EQ(StartMask(6), "000000ff");
    EXPECT_EQ(search.run(provider, 1, {9600, 2400}, 6), 1) << "the twins collide down to the last position";
    ASSERT_EQ(search.found.size(), 1);
    EXPECT_EQ(search.found[0][6], "9600;2400");
    EXPECT_EQ(search.selectionsSent, 20 + 10) << "9600: 10, and 10 below the twins; 2400: 10";
}

TEST(Modem, DialSearchAndHangUp)
{
    InstallationDir dir;
    SimProcess sim(BusJson({meter(1, "12345678")}), {"--fast", "--modem"});
    NativeProvider provider;
    provider.setPortDirectory(PortDirectory::everyPortTo(sim.device()));
    ApplyTimeoutSettings(provider, kSearchQuick);
    provider.modemGuardMs = 50;
    ASSERT_EQ(provider.APPInitCom(1, 2400), 0);
    provider.TELInit(1, 2400, "ATX1L3");
    EXPECT_EQ(provider.TELStatus(), 0);
    provider.TELMakeCall(1, 2400, "ATDT0123456");
    ASSERT_EQ(provider.TELStatus(), 4);

    SecondarySearch search;
    EXPECT_EQ(search.run(provider, 1, {2400}), 1);
    provider.TELHangUp();
    EXPECT_EQ(provider.TELStatus(), 3);
}
