#include "mbus/frame.h"
#include "mbus/wire/buslink.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/nativeprovider.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvaro;
using namespace kelvaro::mbus;
using kelvaro::test::BusJson;
using kelvaro::test::ReturningLine;

namespace {

const QString kLossMeter5 = R"({"primary": 5, "id": "12345678", "medium": 7, "baud": [2400],
                            "records": ["0413A0860100"]})";
// A silent meter: every request waits out its whole answer window.
const QString kLossSilent7 = R"({"primary": 7, "id": "12345677", "medium": 7, "baud": [2400], "silent": true,
                             "records": ["0413A0860100"]})";

// An answer window far longer than any test may take: a wait that ends
// before it has seen the loss, not its deadline.
constexpr int kLossWindowBits = 240'000; // 100 s at 2400 Bd

Answer ask(BusLink& link, int address)
{
    link.send(BuildReqUd2(static_cast<std::uint8_t>(address), true));
    return link.receiveFrame();
}

class LineLost : public ::testing::TestWithParam<ReturningLine::Kind> {};

} // namespace

// The line goes away while a request waits for a silent meter's answer: the
// wait ends with the loss, the port says so once and is no longer open; the
// next request fails at once; the same name opened again reads again.
TEST_P(LineLost, DuringAWaitEndsItAndTheSameNameReadsAgain)
{
    ReturningLine line(BusJson({kLossMeter5, kLossSilent7}), GetParam());
    ASSERT_TRUE(line.isUp());
    BusPort port;
    ASSERT_TRUE(port.open(line.device(), 2400)) << port.errorText().toStdString();
    BusLink link(port);
    BusTimeouts slow;
    slow.answerBits = kLossWindowBits;
    link.setTimeouts(slow);
    ASSERT_EQ(ask(link, 5).kind, Answer::Frame);

    QSignalSpy lost(&port, &BusPort::lineLost);
    QElapsedTimer sinceDrop;
    qint64 noticedAfterMs = -1;
    QObject::connect(&port, &BusPort::lineLost, [&] { noticedAfterMs = sinceDrop.elapsed(); });
    QTimer::singleShot(300, [&] {
        line.drop();
        sinceDrop.start(); // the simulator has ended
    });
    const Answer cut = ask(link, 7);
    RecordProperty("loss_noticed_after_ms", static_cast<int>(noticedAfterMs));
    EXPECT_EQ(cut.kind, Answer::None);
    EXPECT_LT(cut.elapsedMs, kLossWindowBits * 1000 / 2400 / 2) << "the window was waited out";
    EXPECT_TRUE(port.isLineLost());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(port.lineLostText().isEmpty());

    EXPECT_FALSE(link.send(BuildReqUd2(5, true)));
    EXPECT_EQ(link.receiveFrame().kind, Answer::None);
    port.close();
    EXPECT_TRUE(port.isLineLost()) << "the loss is kept until the next open";
    EXPECT_EQ(lost.count(), 1);

    EXPECT_FALSE(port.open(line.device(), 2400)) << "nothing under the name while the line is away";
    EXPECT_FALSE(port.isLineLost()) << "a failed open is its own error";
    ASSERT_TRUE(line.restore());
    ASSERT_TRUE(port.open(line.device(), 2400)) << port.errorText().toStdString();
    EXPECT_FALSE(port.isLineLost());
    EXPECT_EQ(ask(link, 5).kind, Answer::Frame);
}

// Gone while nobody waits (between two cycles): the next wait or send learns
// it at once instead of running into its time-out, and a provider's request
// is not repeated on it.
TEST_P(LineLost, BetweenTwoRequestsIsNoticedByTheNext)
{
    ReturningLine line(BusJson({kLossMeter5, kLossSilent7}), GetParam());
    ASSERT_TRUE(line.isUp());
    NativeProvider provider;
    provider.COMTimeout = kLossWindowBits;
    ASSERT_TRUE(provider.openDevice(line.device(), 2400));
    provider.APPREQUD2(5);
    ASSERT_EQ(provider.APPReceiveTest(), 3);

    line.drop();
    provider.APPREQUD2(5);
    EXPECT_EQ(provider.APPReceiveTest(), 5);
    EXPECT_TRUE(provider.port().isLineLost());
    EXPECT_FALSE(provider.APPIsComOpen());
    EXPECT_FALSE(provider.port().waitForBytes(kLossWindowBits));
}

INSTANTIATE_TEST_SUITE_P(PseudoTerminalAndTcp, LineLost,
                         ::testing::Values(ReturningLine::PseudoTerminal, ReturningLine::Tcp),
                         [](const auto& info) {
                             return info.param == ReturningLine::PseudoTerminal ? std::string("PseudoTerminal")
                                                                                : std::string("Tcp");
                         });
