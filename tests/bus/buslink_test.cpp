#include "mbus/frame.h"
#include "mbus/wire/buslink.h"
#include "mbus/wire/busport.h"
#include "simprocess.h"

#include <gtest/gtest.h>

using namespace kelvaro;
using namespace kelvaro::mbus;
using kelvaro::test::BusJson;
using kelvaro::test::SimProcess;

namespace {

const QString kWater = R"({"primary": 5, "id": "12345678", "manufacturer": "KEL", "medium": 7, "baud": [2400],
                           "records": ["0413A0860100"]})";

struct Line {
    explicit Line(const QString& device, int baud = 2400)
    {
        EXPECT_FALSE(device.isEmpty()) << "simulator did not start";
        opened = port.open(device, baud);
    }
    BusPort port;
    BusLink link{port};
    bool opened = false;
};

} // namespace

TEST(BusLink, ReadsAMeterByPrimaryAddressThroughAnEchoingConverter)
{
    for (bool echo : {false, true}) {
        SimProcess sim(BusJson({kWater}, echo), {"--fast"});
        Line line(sim.device());
        ASSERT_TRUE(line.opened) << line.port.errorText().toStdString();

        ASSERT_TRUE(line.link.send(BuildSndNke(5)));
        EXPECT_EQ(line.link.receiveAck(false, false).kind, Answer::Ack) << "echo " << echo;
        ASSERT_TRUE(line.link.send(BuildReqUd2(5, true)));
        const Answer answer = line.link.receiveFrame();
        ASSERT_EQ(answer.kind, Answer::Frame) << "echo " << echo << " bits " << answer.errorBits;
        EXPECT_EQ(static_cast<std::uint8_t>(answer.frame[5]), 5);
        EXPECT_TRUE(answer.frame.contains(QByteArray::fromHex("0413A0860100")));
    }
}

TEST(BusLink, SilenceWrongBaudAndBadFramesEndWithinTheWindow)
{
    const QString silent = R"({"primary": 6, "id": "1", "silent": true})";
    const QString badSum = R"({"primary": 7, "id": "2", "wrongChecksum": true})";
    const QString at9600 = R"({"primary": 8, "id": "3", "baud": [9600]})";
    SimProcess sim(BusJson({silent, badSum, at9600}), {"--fast"});
    Line line(sim.device());
    ASSERT_TRUE(line.opened);

    line.link.send(BuildReqUd2(6, true));
    Answer answer = line.link.receiveFrame();
    EXPECT_EQ(answer.kind, Answer::None);
    EXPECT_EQ(answer.errorBits, ErrTimeout);

    line.link.send(BuildReqUd2(7, true));
    answer = line.link.receiveFrame();
    EXPECT_EQ(answer.kind, Answer::Invalid);
    EXPECT_TRUE(answer.errorBits & ErrChecksum) << answer.errorBits;

    line.link.send(BuildReqUd2(8, true));
    EXPECT_EQ(line.link.receiveFrame().kind, Answer::None) << "the meter talks at 9600 only";
    line.port.setBaudRate(9600);
    line.link.send(BuildReqUd2(8, true));
    EXPECT_EQ(line.link.receiveFrame().kind, Answer::Frame);
}

TEST(BusLink, WildcardSelectionSeesCollisions)
{
    const QString a = R"({"primary": 1, "id": "12345670"})";
    const QString b = R"({"primary": 2, "id": "12345671"})";
    SimProcess sim(BusJson({a, b}), {"--fast"});
    Line line(sim.device());
    ASSERT_TRUE(line.opened);

    line.link.send(BuildSelection("1234567f"));
    EXPECT_EQ(line.link.receiveAck(true, true).kind, Answer::Collision);
    line.link.send(BuildSelection("12345671"));
    EXPECT_EQ(line.link.receiveAck(true, false).kind, Answer::Ack);
    line.link.send(BuildReqUd2(kAddressSelected, true));
    const Answer answer = line.link.receiveFrame();
    ASSERT_EQ(answer.kind, Answer::Frame);
    EXPECT_TRUE(answer.frame.contains(QByteArray::fromHex("71563412"))) << "the selected meter answered";
    line.link.send(BuildSelection("99999999"));
    EXPECT_EQ(line.link.receiveAck(true, true).kind, Answer::None);
}

TEST(BusLink, DeviceServerOverTcp)
{
    SimProcess sim(BusJson({kWater}), {"--tcp", "0", "--fast"});
    ASSERT_TRUE(sim.device().startsWith("tcp://"));
    Line line(sim.device());
    ASSERT_TRUE(line.opened) << line.port.errorText().toStdString();
    EXPECT_TRUE(line.port.isNetwork());
    line.link.send(BuildReqUd2(5, true));
    EXPECT_EQ(line.link.receiveFrame().kind, Answer::Frame);
}

TEST(BusPort, PseudoTerminalRefusalsAreWarningsAndBadDevicesFail)
{
    SimProcess sim(BusJson({kWater}), {"--fast"});
    BusPort port;
    ASSERT_TRUE(port.open(sim.device(), 2400));
    port.setRts(true);
    EXPECT_TRUE(port.isOpen());
    BusPort missing;
    EXPECT_FALSE(missing.open("/dev/does-not-exist", 2400));
    EXPECT_FALSE(missing.errorText().isEmpty());
    EXPECT_FALSE(missing.open("tcp://127.0.0.1:1", 2400));
}
