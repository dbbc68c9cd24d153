#include "consoles/tcpconsole.h"
#include "ser2netprocess.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
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
