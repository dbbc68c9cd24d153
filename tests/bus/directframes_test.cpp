#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "mbus/frame.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/directframes.h"
#include "mbus/lineconfig.h"
#include "simprocess.h"
#include "testsupport.h"

using namespace kelvaro;
using namespace kelvaro::mbus;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {
const QByteArray kSelect = QByteArray::fromHex("680B0B6853FD5278563412244001072216");
}

TEST(PortDevice, ConfiguredDeviceOrDefault)
{
    InstallationDir dir;
    dir.write("OVX.INI", "[OVX]\r\nCOM3=tcp://127.0.0.1:10001\r\ncom12 = rfc2217://10.1.1.1:4001\r\nCOMx=1\r\n");
    const PortDirectory ports = LoadPortDirectory();
    EXPECT_EQ(ports.deviceFor(3), "tcp://127.0.0.1:10001");
    EXPECT_EQ(ports.deviceFor(12), "rfc2217://10.1.1.1:4001");
    EXPECT_EQ(ports.deviceFor(1), "/dev/ttyS0");
    EXPECT_EQ(PortDirectory::everyPortTo("/dev/ttyUSB0").deviceFor(7), "/dev/ttyUSB0");
}

TEST(DirectFrames, SecondaryReadingWithStoredSelectionFrame)
{
    InstallationDir dir;
    DBPATH = ".\\";
    SimProcess sim(BusJson({R"({"primary": 9, "id": "12345678", "manufacturer": "PAD", "version": 1, "medium": 7,
                                 "baud": [9600], "records": ["0413A0860100"]})"}),
                   {"--fast"});
    WriteIniString("OVX", "COM4", sim.device(), kOvxIni);

    BusPort serial;
    ASSERT_EQ(MB_ComOpen(serial, LoadPortDirectory(), 4, 0), 0) << "baud 0 opens at 9600";
    EXPECT_EQ(serial.baudRate(), 9600);
    QByteArray reply;
    const int length = MB_LeseDirektSekAdr(serial, kSelect, reply, false, 0, 0, 0, 0.8);
    ASSERT_GT(length, 0);
    EXPECT_EQ(reply.size(), length);
    EXPECT_EQ(reply.front(), '\x68');
    EXPECT_EQ(reply.back(), '\x16');
    // Only the selection frame is logged when the log flag is off.
    const QString log = QString::fromLatin1(dir.read(QDateTime::currentDateTime().toString("yyMMdd") + "ed.log"));
    EXPECT_EQ(log.count("Send Hex   : \t68;0B;0B;68;53;FD;52;78;56;34;12;24;40;01;07;22;16;"), 1) << log.toStdString();
    EXPECT_FALSE(log.contains("Gelesen"));

    QByteArray other = kSelect;
    other[7] = 0x11;
    other[15] = static_cast<char>(other[15] + 0x11 - 0x78);
    EXPECT_EQ(MB_LeseDirektSekAdr(serial, other, reply, false, 0, 0, 0, 0.3), -3) << "nobody acknowledges";
    serial.close();
    EXPECT_EQ(MB_LeseDirektSekAdr(serial, kSelect, reply, false, 0, 0, 0, 0.3), -1);
}

TEST(DirectFrames, StrayByteBeforeAFrameEndsInATimeoutText)
{
    InstallationDir dir;
    DBPATH = ".\\";
    SimProcess sim(BusJson({R"({"primary": 9, "id": "12345678", "garbageBefore": true})"}), {"--fast"});
    BusPort serial;
    ASSERT_TRUE(serial.open(sim.device(), 2400));
    ASSERT_EQ(V3CommSendMsg(serial, QByteArray::fromHex("107B098416"), 0, 0, 0, true), 0);
    QByteArray received;
    const ReadMsgResult result = V3CommReadMsg(serial, '\x68', '\x16', 0.3, received, true);
    EXPECT_EQ(result.kind, ReadMsgResult::Timeout);
    EXPECT_EQ(result.code(), 0);
    EXPECT_TRUE(result.timeoutText.startsWith("Timeout : ")) << result.timeoutText.toStdString();
    EXPECT_TRUE(received.isEmpty());
    const QString log = QString::fromLatin1(dir.read(QDateTime::currentDateTime().toString("yyMMdd") + "ed.log"));
    EXPECT_TRUE(log.contains("Timeout V3CommReadMsg : 12;FF;34;68;")) << log.toStdString();
    EXPECT_TRUE(log.contains("TmOut=0,3"));
}

TEST(DirectFrames, EchoOfTheOwnFrameIsNoAcknowledgement)
{
    InstallationDir dir;
    DBPATH = ".\\";
    SimProcess sim(BusJson({R"({"primary": 9, "id": "12345678"})"}), {"--fast", "--echo"});
    BusPort serial;
    ASSERT_TRUE(serial.open(sim.device(), 2400));
    // Nobody has manufacturer code E5E5, but the echoed selection carries E5 bytes.
    QByteArray nobody = QByteArray::fromHex("680B0B6853FD5278563412E5E5FFFF");
    nobody += static_cast<char>(Checksum(ByteSpan(nobody).subspan(4, 11)));
    nobody += '\x16';
    QByteArray reply;
    EXPECT_EQ(MB_LeseDirektSekAdr(serial, nobody, reply, false, 0, 0, 0, 0.3), -3);
    EXPECT_TRUE(reply.isEmpty());
}

TEST(PortDevice, ControlCharactersInTheDeviceNameAreAnOpenError)
{
    InstallationDir dir;
    DBPATH = ".\\";
    static const char ini[] = "[OVX]\r\nCOM5=/dev/tty\0\0S0\r\nCOM6=/dev/ttyS0\x01\r\n";
    dir.write("OVX.INI", QByteArray(ini, sizeof ini - 1));
    BusPort serial;
    for (const int port : {5, 6}) {
        EXPECT_EQ(MB_ComOpen(serial, LoadPortDirectory(), port, 2400), -2);
        EXPECT_FALSE(serial.isOpen());
        EXPECT_TRUE(serial.errorText().startsWith(QString::fromUtf8("Ungültiger Gerätename"))) << serial.errorText().toStdString();
    }
    const QString log = QString::fromLatin1(dir.read(QDateTime::currentDateTime().toString("yyMMdd") + "ed.log"));
    EXPECT_TRUE(log.contains(QString::fromUtf8("Ungültiger Gerätename: \"/dev/tty\\x00\\x00S0\""))) << log.toStdString();
}
