#include "consoles/tcpconsole.h"
#include "ser2netprocess.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QEventLoop>
#include <QTimer>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

const QString kMeter = R"({"primary": 10, "id": "12345678", "manufacturer": "KEL", "medium": 7, "baud": [2400],
                           "records": ["0413A0860100"]})";
const QString kReqUd2 = "10;7B;0A;85;16;";

// A device server that accepts and never says a word.
struct SilentServer {
    QTcpServer server;
    int accepted = 0;
    SilentServer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* peer = server.nextPendingConnection()) {
                ++accepted;
                peer->setParent(&server);
            }
        });
    }
    QString port() const { return QString::number(server.serverPort()); }
};

// A local port nobody listens on.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// The reply is one whole long frame: 68 L L 68 ... 16, L + 6 bytes.
void ExpectLongFrame(const QString& reply)
{
    const QStringList bytes = reply.split(';', Qt::SkipEmptyParts);
    ASSERT_GE(bytes.size(), 6) << reply.toStdString();
    EXPECT_TRUE(reply.endsWith(';'));
    EXPECT_EQ(bytes.first(), "68");
    EXPECT_EQ(bytes[3], "68");
    EXPECT_EQ(bytes.last(), "16");
    EXPECT_EQ(bytes.size(), bytes[1].toInt(nullptr, 16) + 6);
}

// A device server on a thread of its own that answers the first request by
// sending `floodBytes` without pause (a peer that keeps talking after its
// reply was cut), then goes quiet and answers each later request with E5.
// Requests are told from protocol bytes by their start byte 10.
class FloodServer : public QThread {
public:
    explicit FloodServer(qint64 floodBytes) : total_(floodBytes)
    {
        start();
        while (port_ == 0 && isRunning())
            QThread::msleep(1);
    }
    ~FloodServer() override
    {
        quit();
        wait();
    }
    quint16 port() const { return port_; }
    qint64 flooded() const { return written_; }

protected:
    void run() override
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0))
            return;
        QTcpSocket* peer = nullptr;
        int requests = 0;
        const QByteArray chunk(256 * 1024, '\x68');
        const auto floodOn = [&] {
            while (peer->bytesToWrite() < 1024 * 1024 && written_ < total_) {
                const qint64 n = std::min<qint64>(chunk.size(), total_ - written_);
                peer->write(chunk.constData(), n);
                written_ += n;
            }
        };
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::bytesWritten, [&] {
                if (requests == 1)
                    floodOn();
            });
            QObject::connect(peer, &QTcpSocket::readyRead, [&] {
                if (!peer->readAll().contains('\x10'))
                    return;
                if (++requests == 1)
                    floodOn();
                else if (written_ == total_)
                    peer->write("\xE5", 1);
            });
        });
        port_ = server.serverPort();
        exec();
    }

private:
    const qint64 total_;
    std::atomic<qint64> written_{0};
    std::atomic<quint16> port_{0};
};

// Runs the event loop as a program's main loop does (QTest::qWaitFor sleeps
// between its passes) until `done` holds or `limitMs` passed.
bool RunEventsUntil(const std::function<bool()>& done, int limitMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Resident memory of this process.
qint64 ResidentBytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

} // namespace

TEST(TcpConsoleFields, PortFieldFallsBackToTheDeviceServersPort)
{
    for (const QString bad : {"", "   ", "0", "abc", "12a", "-5", "70000"})
        EXPECT_EQ(TcpConsole::PortFieldValue(bad), "10001") << bad.toStdString();
    EXPECT_EQ(TcpConsole::PortFieldValue(" 4001 "), "4001");
    EXPECT_EQ(TcpConsole::PortFieldValue("65535"), "65535");
}

TEST(TcpConsoleFields, FrameFieldIsAHexList)
{
    QByteArray bytes;
    ASSERT_TRUE(TcpConsole::FrameFieldBytes(kReqUd2, bytes, nullptr));
    EXPECT_EQ(bytes, QByteArray::fromHex("107B0A8516"));
    ASSERT_TRUE(TcpConsole::FrameFieldBytes(" e5 ; a;;ff", bytes, nullptr)) << "one digit, blanks and empty fields";
    EXPECT_EQ(bytes, QByteArray::fromHex("E50AFF"));
    QString error;
    for (const QString bad : {"10;7G;16", "100;16", "10 7B", "-1;16", "+F"}) {
        EXPECT_FALSE(TcpConsole::FrameFieldBytes(bad, bytes, &error)) << bad.toStdString();
        EXPECT_TRUE(bytes.isEmpty()) << "nothing half-converted is left to send";
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(TcpConsoleFields, StateTexts)
{
    EXPECT_EQ(TcpConsole::GetWinsockStatusTxt(0), "Close");
    EXPECT_EQ(TcpConsole::GetWinsockStatusTxt(4), "Host-Name wird aufgelöst");
    EXPECT_EQ(TcpConsole::GetWinsockStatusTxt(7), "Verbunden");
    EXPECT_EQ(TcpConsole::GetWinsockStatusTxt(8), "Partner schließt die Verbindung");
    EXPECT_EQ(TcpConsole::GetWinsockStatusTxt(9), "Fehler");
    EXPECT_EQ(TcpConsole::GetWinsockStatusTxt(10), "");
    EXPECT_EQ(TcpConsole::GetWinsockStatusTxt(-1), "");
}

TEST(TcpConsoleLine, RequestToTheSimulatorIsAnsweredWithItsLongFrame)
{
    InstallationDir dir;
    SimProcess sim(BusJson({kMeter}), {"--tcp", "0", "--fast"});
    const QUrl target(sim.device());
    ASSERT_GT(target.port(), 0) << sim.device().toStdString();

    TcpConsole console;
    QString port = QString::number(target.port());
    ASSERT_TRUE(console.connectButton(target.host(), port));
    EXPECT_EQ(console.statusText(), "7 Verbunden");
    ExpectLongFrame(console.sendButton(kReqUd2));
    EXPECT_EQ(console.sendButton("10;7B;0B;86;16;"), "Keine Antwort") << "no meter at address 11";
    ExpectLongFrame(console.sendButton(kReqUd2)); // the line still works after a silent request
    EXPECT_TRUE(dir.messages().isEmpty());

    console.TCPClose();
    EXPECT_EQ(console.statusText(), "0 Close");
    EXPECT_EQ(console.sendButton(kReqUd2), "Keine Antwort") << "nothing to send through";
}

TEST(TcpConsoleLine, SilentServerGivesNoAnswerAndConnectingTwiceKeepsTheConnection)
{
    InstallationDir dir;
    SilentServer silent;
    TcpConsole console;
    QString port = silent.port();
    ASSERT_TRUE(console.connectButton("127.0.0.1", port));
    ASSERT_TRUE(console.connectButton("127.0.0.1", port));
    EXPECT_EQ(console.sendButton(kReqUd2), "Keine Antwort");
    EXPECT_EQ(silent.accepted, 1) << "a second Connect while connected opens no new connection";
    EXPECT_EQ(console.state(), TcpConsole::Connected);
}

TEST(TcpConsoleLine, EndlessReplyIsCutAtItsBound)
{
    QTcpServer flood;
    ASSERT_TRUE(flood.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&flood, &QTcpServer::newConnection, [&flood] {
        QTcpSocket* peer = flood.nextPendingConnection();
        peer->setParent(&flood);
        QObject::connect(peer, &QTcpSocket::readyRead, [peer] { peer->write(QByteArray(1024 * 1024, '\xE5')); });
    });
    TcpConsole console;
    ASSERT_EQ(console.TCPConnect("127.0.0.1", flood.serverPort(), 1000), "Connect");
    const QByteArray reply = console.TCPSendBefehl(QByteArray::fromHex("107B0A8516"));
    EXPECT_EQ(reply.size(), TcpConsole::kReplyLimitBytes);
}

TEST(TcpConsoleLine, BadFrameFieldSendsNothing)
{
    InstallationDir dir;
    SilentServer silent;
    TcpConsole console;
    QString port = silent.port();
    ASSERT_TRUE(console.connectButton("127.0.0.1", port));
    EXPECT_EQ(console.sendButton("10;ZZ;16"), "");
    EXPECT_EQ(console.sendButton(""), "");
    ASSERT_EQ(dir.messages().size(), 2);
    EXPECT_TRUE(dir.messages().first().contains("ZZ"));
}

TEST(TcpConsoleLine, RefusedConnectionIsReportedAndLeavesItClosed)
{
    InstallationDir dir;
    TcpConsole console;
    QString port = QString::number(ClosedPort());
    EXPECT_FALSE(console.connectButton("127.0.0.1", port));
    ASSERT_EQ(dir.messages().size(), 1);
    EXPECT_EQ(dir.messages().first(), "Verbindung konnte nicht erstellt werden.\nBitte versuchen Sie es erneut.");
    EXPECT_EQ(dir.messageTitles().first(), "Comtest");
    EXPECT_EQ(console.statusText(), "0 Close");

    // An empty port field becomes the device server's port before connecting.
    QString empty;
    EXPECT_FALSE(console.connectButton("", empty));
    EXPECT_EQ(empty, "10001");
    EXPECT_EQ(dir.messages().size(), 2);
}

TEST(TcpConsoleLine, Rfc2217DeviceServerInFrontOfTheSimulator)
{
    if (!Ser2NetProcess::available())
        GTEST_SKIP() << "ser2net is not installed";
    InstallationDir dir;
    SimProcess sim(BusJson({kMeter}), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty());
    Ser2NetProcess server(sim.device());
    ASSERT_FALSE(server.device().isEmpty()) << "ser2net did not come up";

    // The address carries its port; the port field is not used for it.
    TcpConsole console;
    QString port = "10001";
    ASSERT_TRUE(console.connectButton(server.device(), port)) << console.lastError().toStdString();
    EXPECT_EQ(console.statusText(), "7 Verbunden");
    ExpectLongFrame(console.sendButton(kReqUd2));
}

// Through the plain connection and through RFC 2217 (whose transport reads
// only when asked).
class TcpConsoleFlood : public ::testing::TestWithParam<const char*> {};

// AddressSanitizer keeps freed blocks aside for a while (its quarantine, far
// more than the bound): the resident size then cannot show what the console keeps.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeShowsKeptBytes = false;
#else
constexpr bool kResidentSizeShowsKeptBytes = true;
#endif

INSTANTIATE_TEST_SUITE_P(BothConnections, TcpConsoleFlood, ::testing::Values("", "rfc2217://"));

TEST_P(TcpConsoleFlood, PeerThatKeepsSendingLeavesMemoryBoundedAndTheNextExchangeWorks)
{
    constexpr qint64 kFlood = 256 * 1024 * 1024;
    FloodServer flood(kFlood);
    ASSERT_NE(flood.port(), 0);
    TcpConsole console;
    const QString address = QString(GetParam()) + "127.0.0.1";
    ASSERT_EQ(console.TCPConnect(address, flood.port(), 1000), "Connect") << console.lastError().toStdString();
    const qint64 residentBefore = ResidentBytes();
    ASSERT_GT(residentBefore, 0);

    constexpr qint64 kBound = 32 * 1024 * 1024;
    const QByteArray cut = console.TCPSendBefehl(QByteArray::fromHex("107B0A8516"));
    EXPECT_EQ(cut.size(), TcpConsole::kReplyLimitBytes);
    // The window sits idle while the rest of the flood comes in.
    const auto grown = [&] { return ResidentBytes() - residentBefore; };
    const auto tooBig = [&] { return kResidentSizeShowsKeptBytes && grown() > kBound; };
    RunEventsUntil([&] { return (flood.flooded() == kFlood && cut.size() + console.droppedBytes() == kFlood) || tooBig(); },
                   120000);
    EXPECT_FALSE(tooBig()) << "the console kept what it was not asked for: " << grown() << " bytes more resident";
    ASSERT_EQ(cut.size() + console.droppedBytes(), kFlood) << flood.flooded() << " sent";

    EXPECT_EQ(console.TCPSendBefehl(QByteArray::fromHex("107B0A8516")), QByteArray("\xE5", 1))
        << "no stale bytes of the flood in the next reply";
    EXPECT_EQ(console.state(), TcpConsole::Connected);
}

// The device server goes away during "TCP Send": the exchange ends at once and
// its text names the loss; a send without the connection says it was lost;
// "TCP Connect" works again once the server listens on its port again.
TEST(TcpConsoleLine, LostConnectionIsNamedAndConnectWorksAgain)
{
    InstallationDir installation; // the program log goes there
    ReturningLine line(BusJson({kMeter}), ReturningLine::Tcp);
    ASSERT_TRUE(line.isUp());
    TcpConsole console;
    QString port;
    ASSERT_TRUE(console.connectButton(line.device(), port)) << console.lastError().toStdString();
    ExpectLongFrame(console.sendButton(kReqUd2));

    line.drop();
    const QString cut = console.sendButton(kReqUd2);
    EXPECT_TRUE(cut.startsWith("Verbindung verloren beim Warten auf die Antwort (127.0.0.1:")) << cut.toStdString();
    EXPECT_NE(console.state(), TcpConsole::Connected);
    const QString after = console.sendButton(kReqUd2);
    EXPECT_TRUE(after.startsWith("Verbindung verloren (127.0.0.1:")) << after.toStdString();
    EXPECT_TRUE(installation.messages().isEmpty()) << "no box to click away";

    ASSERT_TRUE(line.restore());
    ASSERT_TRUE(console.connectButton(line.device(), port)) << console.lastError().toStdString();
    EXPECT_TRUE(console.lineLostText().isEmpty());
    ExpectLongFrame(console.sendButton(kReqUd2));
}
