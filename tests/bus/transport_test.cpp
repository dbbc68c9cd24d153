#include "latencyproxy.h"
#include "mbus/frame.h"
#include "mbus/wire/buslink.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/telnetcodec.h"
#include "simprocess.h"

#include <QUrl>
#include <gtest/gtest.h>

using namespace kelvaro;
using namespace kelvaro::mbus;
using kelvaro::test::BusJson;
using kelvaro::test::LatencyProxy;
using kelvaro::test::SimProcess;

namespace {

const QString kTransportWater = R"({"primary": 5, "id": "12345678", "medium": 7, "baud": [2400],
                           "records": ["0413A0860100", "0C78785634120C1312345678"]})";

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (const int b : list)
        out.append(static_cast<char>(b));
    return out;
}

// A primary reading of meter 5 on a link with the given network allowance.
Answer readMeter5(const QString& device, int allowanceMs)
{
    BusPort port;
    if (!port.open(device, 2400))
        return {};
    BusLink link(port);
    BusTimeouts t;
    t.networkMs = allowanceMs;
    link.setTimeouts(t);
    link.send(BuildReqUd2(5, true));
    return link.receiveFrame();
}

} // namespace

TEST(TelnetCodec, DataNegotiationAndComPortAnswers)
{
    EXPECT_EQ(TelnetCodec::escape(bytes({0x68, 0xFF, 0x16})), bytes({0x68, 0xFF, 0xFF, 0x16}));
    EXPECT_EQ(TelnetCodec::comPortCommand(TelnetCodec::SetBaudRate, TelnetCodec::baudRateValue(2400)),
              bytes({255, 250, 44, 1, 0, 0, 0x09, 0x60, 255, 240}));
    // 65535 Bd carries two FF bytes in the value: doubled inside the subnegotiation.
    EXPECT_EQ(TelnetCodec::comPortCommand(TelnetCodec::SetBaudRate, TelnetCodec::baudRateValue(65535)),
              bytes({255, 250, 44, 1, 0, 0, 255, 255, 255, 255, 255, 240}));

    TelnetCodec codec;
    // Split anywhere: an IAC IAC data byte, a baud-rate answer and the server's
    // offers come through as data, one answer and the right replies.
    const QByteArray stream = bytes({0x10, 255, 255, 0x16, 255, 250, 44, 101, 0, 0, 9, 0x60, 255, 240, 0xE5,
                                     255, 251, 1 /* WILL ECHO */, 255, 253, 44 /* DO COM-PORT, already on */,
                                     255, 253, 24 /* DO TERMINAL-TYPE */});
    QByteArray data;
    for (const char c : stream)
        data += codec.feed(QByteArray(1, c));
    EXPECT_EQ(data, bytes({0x10, 0xFF, 0x16, 0xE5}));
    const auto answers = codec.takeComPortAnswers();
    ASSERT_EQ(answers.size(), 1);
    EXPECT_EQ(answers[0].command, TelnetCodec::SetBaudRate);
    EXPECT_EQ(answers[0].value, TelnetCodec::baudRateValue(2400));
    EXPECT_EQ(codec.takeReplies(), bytes({255, 254, 1, 255, 252, 24})) << "refused: their echo, our terminal type";
    codec.feed(bytes({255, 254, 0})); // DONT BINARY: we stop and say so, once
    EXPECT_EQ(codec.takeReplies(), bytes({255, 252, 0}));
    codec.feed(bytes({255, 254, 0}));
    EXPECT_EQ(codec.takeReplies(), QByteArray());
}

// Device servers behind a slow network: latency before the answer and a
// pause inside it are covered by the allowance; without it they fail.
TEST(NetworkLine, LatencyAndSplitAnswersNeedTheAllowance)
{
    SimProcess sim(BusJson({kTransportWater}), {"--tcp", "0", "--fast"});
    const QUrl target(sim.device());
    ASSERT_TRUE(target.port() > 0) << sim.device().toStdString();

    LatencyProxy slow(target.host(), static_cast<quint16>(target.port()), 150);
    EXPECT_EQ(readMeter5(slow.device(), 250).kind, Answer::Frame) << "150 ms each way";
    EXPECT_EQ(readMeter5(slow.device(), 0).kind, Answer::None) << "the standard window alone is too short";

    LatencyProxy split(target.host(), static_cast<quint16>(target.port()), 10, 200);
    const Answer whole = readMeter5(split.device(), 250);
    EXPECT_EQ(whole.kind, Answer::Frame) << "a 200 ms gap inside the answer";
    EXPECT_EQ(whole.frame.size(), 6 + 3 + 12 + 6 + 12);
    EXPECT_EQ(readMeter5(split.device(), 0).kind, Answer::Invalid) << "the gap ends the answer early";
}

TEST(NetworkLine, DeviceAddressesAndTheirTransports)
{
    QString error;
    EXPECT_TRUE(CreateLineTransport("/dev/ttyUSB0", &error));
    EXPECT_FALSE(CreateLineTransport("/dev/ttyUSB0", &error)->isNetwork());
    EXPECT_TRUE(CreateLineTransport("tcp://10.0.0.5:4001", &error)->isNetwork());
    EXPECT_TRUE(CreateLineTransport("RFC2217://10.0.0.5:4001", &error)->isNetwork());
    for (const QString bad : {"", "tcp://10.0.0.5", "rfc2217://:4001", "/dev/tty\x01"}) {
        error.clear();
        EXPECT_FALSE(CreateLineTransport(bad, &error)) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}
