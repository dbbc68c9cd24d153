#include "mbus/frame.h"
#include "mbus/wire/buslink.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/linetransport.h"
#include "mbus/wire/nativeprovider.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <array>
#include <gtest/gtest.h>

using namespace kelvaro;
using namespace kelvaro::mbus;
using kelvaro::test::BusJson;
using kelvaro::test::ReturningLine;

namespace {

// A line on a machine under load: the first wait for the answer returns late,
// after its deadline, and without having noticed the answer that came in
// meanwhile (the wait's timer was handled before the line's data).
class HeldUpLine : public LineTransport {
public:
    explicit HeldUpLine(QByteArray answer)
        : answer_(std::move(answer))
    {
    }
    bool open(int) override { return open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool isNetwork() const override { return false; }
    bool setBaudRate(int) override { return true; }
    void setRts(bool) override {}
    void setDtr(bool) override {}
    bool write(const QByteArray&, int) override { return open_; }
    QByteArray readAvailable() override { return std::exchange(waiting_, {}); }
    bool waitForBytes(int timeoutMs) override
    {
        if (!waiting_.isEmpty())
            return true;
        if (heldUp_)
            return false;
        heldUp_ = true;
        QThread::msleep(static_cast<unsigned long>(timeoutMs) + 30);
        waiting_ = answer_;
        return false;
    }
    void discardInput() override { waiting_.clear(); }

private:
    QByteArray answer_;
    QByteArray waiting_;
    bool open_ = false;
    bool heldUp_ = false;
};

QByteArray responseOf(std::uint8_t address)
{
    // Identification 12345678, manufacturer, version, medium, access, status, signature; one record.
    const std::array<std::uint8_t, 18> data{0x78, 0x56, 0x34, 0x12, 0x2C, 0x2D, 0x01, 0x07, 0x01,
                                            0x00, 0x00, 0x00, 0x04, 0x13, 0xA0, 0x86, 0x01, 0x00};
    return BuildLongFrame(0x08, address, 0x72, data);
}

const QString kMeter5 = R"({"primary": 5, "id": "12345678", "medium": 7, "baud": [2400],
                            "records": ["0413A0860100"]})";
const QString kSilent7 = R"({"primary": 7, "id": "12345677", "medium": 7, "baud": [2400], "silent": true,
                             "records": ["0413A0860100"]})";
// A window far longer than the test: a wait that ends before it was ended by the break.
constexpr int kLongWindowBits = 48'000; // 20 s at 2400 Bd

} // namespace

TEST(BusLinkWait, AnAnswerThatCameInWhileTheProcessWasHeldUpIsTaken)
{
    const QByteArray answer = responseOf(5);
    BusPort port;
    ASSERT_TRUE(port.open(std::make_unique<HeldUpLine>(answer), QStringLiteral("held-up"), 2400));
    BusLink link(port);
    ASSERT_TRUE(link.send(BuildReqUd2(5, true)));
    const Answer got = link.receiveFrame();
    ASSERT_EQ(got.kind, Answer::Frame) << "error bits " << got.errorBits;
    EXPECT_EQ(got.frame, answer);
}

// "Stop" and "Abbrechen" break the exchange under way: the wait for a silent
// meter ends then, not at the end of its answer window, and the next request
// on the same line is answered.
class BreakWakes : public ::testing::TestWithParam<ReturningLine::Kind> {};

TEST_P(BreakWakes, TheWaitThatIsRunning)
{
    ReturningLine line(BusJson({kMeter5, kSilent7}), GetParam());
    ASSERT_TRUE(line.isUp());
    NativeProvider provider;
    provider.COMTimeout = kLongWindowBits;
    ASSERT_TRUE(provider.openDevice(line.device(), 2400));

    QTimer::singleShot(200, [&] { provider.APPBreak(); });
    QElapsedTimer clock;
    clock.start();
    provider.APPREQUD2(7);
    EXPECT_LT(clock.elapsed(), kLongWindowBits * 1000 / 2400 / 2) << "the answer window was waited out";
    EXPECT_EQ(provider.APPReceiveTest(), 5);
    EXPECT_FALSE(provider.port().isLineLost());

    provider.APPREQUD2(5);
    EXPECT_EQ(provider.APPReceiveTest(), 3) << "a break spoils no later exchange";
}

INSTANTIATE_TEST_SUITE_P(PseudoTerminalAndTcp, BreakWakes,
                         ::testing::Values(ReturningLine::PseudoTerminal, ReturningLine::Tcp),
                         [](const auto& info) {
                             return info.param == ReturningLine::PseudoTerminal ? std::string("PseudoTerminal")
                                                                                : std::string("Tcp");
                         });
