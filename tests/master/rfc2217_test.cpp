#include "foundation/ini.h"
#include "ser2netprocess.h"
#include "stationfixture.h"

using namespace kelvaro;
using namespace kelvaro::test;

// One device server, three baud rates: the master sets each meter's rate
// through RFC 2217 and the simulator behind ser2net sees it on its line.
TEST(MasterRfc2217, MixedBaudBusReadInOneCycleThroughSer2net)
{
    if (!Ser2NetProcess::available())
        GTEST_SKIP() << "ser2net is not installed";
    StationFixture f({Meter(1, "12345601", 300), Meter(2, "12345602", 2400), Meter(3, "12345603", 9600)});
    ASSERT_TRUE(f.ready);
    Ser2NetProcess server(f.sim->device());
    ASSERT_FALSE(server.device().isEmpty()) << "ser2net did not come up";
    WriteIniString("OVX", "COM1", server.device(), kOvxIni);

    f.station.load("Auto -M1320 -C1 -T0");
    ASSERT_EQ(f.station.meterCount(), 3);
    f.station.timerTick();
    EXPECT_EQ(f.station.label1, "Fertig");
    for (int r = 1; r <= 3; ++r)
        EXPECT_EQ(f.meter(r).lastRead, master::LastRead::Ok) << "meter at " << f.meter(r).MBBaud << " Bd";
    EXPECT_EQ(f.rows("MBusWerte"), 3 * 2);
}
