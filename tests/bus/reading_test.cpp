#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "mbus/frame.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/meterreading.h"
#include "mbus/wire/nativeprovider.h"
#include "mbus/lineconfig.h"
#include "simprocess.h"
#include "testsupport.h"

using namespace kelvaro;
using namespace kelvaro::mbus;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {

const QString kHeat = R"({"primary": 1, "id": "12345601", "manufacturer": "PAD", "medium": 4, "baud": [2400],
    "records": ["0406E8030000", "04134C1D0000", "025B4600"]})";
const QString kTwoTelegrams = R"({"primary": 4, "id": "32345604", "medium": 2, "baud": [2400],
    "telegrams": [["0C0512345600", "0C2B50000000"], ["8C100500100000", "8C200598765400"]]})";
const QString kThreeTelegrams = R"({"primary": 3, "id": "33333333", "medium": 4, "baud": [2400],
    "telegrams": [["0406E8030000"], ["0406D0070000"], ["0406B80B0000"]]})";
const QString kSecondTry = R"({"primary": 5, "id": "55555555", "secondTryOnly": true})";
const QString kSilent = R"({"primary": 6, "id": "66666666", "silent": true})";
const QString kTwinA = R"({"primary": 7, "id": "77777777"})";
const QString kTwinB = R"({"primary": 8, "id": "77777777"})";

// Fast answers and short windows keep silent meters cheap in tests.
const TimeoutSettings kReadingQuick{60, 20, 4, 11};

struct Station {
    explicit Station(const QStringList& meters, const QStringList& simArgs = {"--fast"})
        : sim(BusJson(meters), simArgs)
    {
        DBPATH = ".\\";
        Mandant = "200";
        WriteIniString("OVX", "COM2", sim.device(), kOvxIni);
        provider.setPortDirectory(LoadPortDirectory());
        ApplyTimeoutSettings(provider, kReadingQuick);
    }
    InstallationDir dir;
    SimProcess sim;
    NativeProvider provider;
};

} // namespace

TEST(MeterReading, SecondaryAddressThroughTheProvider)
{
    Station s({kHeat, kSilent, kTwinA, kTwinB});
    MeterBusFields meter;
    meter.MB_ID = "12345601";
    meter.MBComP = 2;
    meter.MBBaud = 2400;
    qint64 when = 0;
    BusPort unused; // only a stored selection frame goes through this port
    ASSERT_EQ(MB_ZaehlerLesen(unused, s.provider, meter, &when), 0);
    EXPECT_EQ(meter.ValueCount, 3);
    EXPECT_DOUBLE_EQ(meter.ValueTable[1].value, 1000);
    EXPECT_EQ(meter.ValueTable[1].unitText.trimmed(), "kWh");
    EXPECT_DOUBLE_EQ(meter.ValueTable[3].value, 70);
    EXPECT_GT(when, 0);
    EXPECT_TRUE(s.provider.APPIsComOpen()) << "the provider port stays open after success";

    meter.MB_ID = "66666666";
    BusPort serial;
    EXPECT_EQ(MB_ZaehlerLesen(serial, s.provider, meter), -2) << "silent meter";
    EXPECT_FALSE(s.provider.APPIsComOpen());

    s.provider.APPInitCom(2, 2400);
    EXPECT_EQ(MB_ReadSekAdrRac(s.provider, "77777777"), 1) << "two meters answer the selection";
    EXPECT_EQ(MB_ReadSekAdrRac(s.provider, "1234"), -1) << "mask ffff1234 selects nobody";
    EXPECT_EQ(SecondaryMask("1234"), "ffff1234");
    EXPECT_EQ(SecondaryMask("123456789"), "23456789");
}

TEST(MeterReading, StoredSelectionFrameOnTheSerialPort)
{
    Station s({kHeat});
    MeterBusFields meter;
    meter.MBComP = 2;
    meter.MBBaud = 2400;
    meter.MB_SelectSec = "68;0B;0B;68;53;FD;52;01;56;34;12;FF;FF;FF;FF;";
    // The stored frame carries its own checksum; compute it as a technician would.
    QByteArray frame = QByteArray::fromHex("680B0B6853FD5201563412FFFFFFFF");
    frame += static_cast<char>(Checksum(ByteSpan(frame).subspan(4, 11)));
    frame += '\x16';
    meter.MB_SelectSec = QString::fromLatin1(frame.toHex(';').toUpper()) + ';';
    BusPort serial;
    ASSERT_EQ(MB_ZaehlerLesen(serial, s.provider, meter), 0);
    EXPECT_DOUBLE_EQ(meter.ValueTable[1].value, 1000);
    EXPECT_FALSE(serial.isOpen());

    meter.MB_SelectSec = "68;0B;0B;68;53;FD;52;99;99;99;99;FF;FF;FF;FF;45;16;";
    EXPECT_EQ(MB_ZaehlerLesen(serial, s.provider, meter), -1);
    meter.MBComP = 9; // /dev/ttyS8 does not exist here
    WriteIniString("OVX", "COM9", "/dev/kelvaro-missing", kOvxIni);
    s.provider.setPortDirectory(LoadPortDirectory());
    EXPECT_EQ(MB_ZaehlerLesen(serial, s.provider, meter), -4);
}

TEST(MeterReading, TwoTelegramsByPrimaryAddressAndRetries)
{
    Station s({kTwoTelegrams, kSecondTry, kSilent});
    NativeProvider& p = s.provider;
    PrimaryReading r = M_Bus_AuslesenRac(p, 4, 2, "2400", kReadingQuick);
    EXPECT_TRUE(r.message.isEmpty());
    EXPECT_EQ(r.telegrams, 2);
    // Telegram 1: two records and the 1F marker; telegram 2 numbers on from
    // the marker's place (the offset grows by N - 1).
    QStringList numbers;
    for (const QStringList& row : r.display.rows)
        numbers << row[0];
    EXPECT_EQ(numbers, (QStringList{"4 [1]", "4 [2]", "4 [3]", "4 [3]", "4 [4]"}));
    EXPECT_EQ(r.header.idDec, "32345604");
    EXPECT_FALSE(p.APPIsComOpen());

    r = M_Bus_AuslesenRac(p, 5, 2, "2400", kReadingQuick);
    EXPECT_EQ(r.telegrams, 1) << "the meter answers the repeated request";

    r = M_Bus_AuslesenRac(p, 6, 2, "2400", kReadingQuick);
    EXPECT_EQ(r.telegrams, 0);
    EXPECT_EQ(r.lastReceiveError, ErrTimeout);

    r = M_Bus_AuslesenRac(p, 4, 9, "2400", kReadingQuick);
    EXPECT_EQ(r.message, "Fehler Open Com 9");
}

// A meter left at its last telegram by a primary reading must answer a
// secondary reading with telegram 1, and with a fresh frame every cycle.
TEST(MeterReading, SecondaryReadingStartsAtTheFirstTelegramEveryCycle)
{
    for (const bool echo : {false, true}) {
        SCOPED_TRACE(echo ? "echoing level converter" : "plain line");
        Station s({kThreeTelegrams}, echo ? QStringList{"--fast", "--echo"} : QStringList{"--fast"});
        ASSERT_EQ(M_Bus_AuslesenRac(s.provider, 3, 2, "2400", kReadingQuick).telegrams, 3);

        QByteArray selection = QByteArray::fromHex("680B0B6853FD5233333333FFFFFFFF");
        selection += static_cast<char>(Checksum(ByteSpan(selection).subspan(4, 11)));
        selection += '\x16';
        for (const QString& stored : {QString(), QString::fromLatin1(selection.toHex(';')) + ';'}) {
            SCOPED_TRACE(stored.isEmpty() ? "provider selection" : "stored selection frame");
            QList<int> accessNumbers;
            for (int cycle = 0; cycle < 3; ++cycle) {
                MeterBusFields meter;
                meter.MB_ID = "33333333";
                meter.MBComP = 2;
                meter.MBBaud = 2400;
                meter.MB_SelectSec = stored;
                BusPort serial;
                ASSERT_EQ(MB_ZaehlerLesen(serial, s.provider, meter), 0) << "cycle " << cycle;
                EXPECT_DOUBLE_EQ(meter.ValueTable[1].value, 1000) << "telegram 1's energy, cycle " << cycle;
                accessNumbers << s.provider.APPTransmissionCount();
            }
            EXPECT_NE(accessNumbers[0], accessNumbers[1]);
            EXPECT_NE(accessNumbers[1], accessNumbers[2]);
        }
    }
}

TEST(ProviderSelection, KindsListAndTimeoutDefaults)
{
    InstallationDir dir;
    Mandant = "200";
    DBPATH = ".\\";
    EXPECT_EQ(MB_ProviderListeLaden(3), ProviderOleV2);
    SaveProviderKind(3, 2);
    EXPECT_EQ(MB_ProviderListeLaden(3), ProviderNone);
    EXPECT_EQ(ReadIniString("200MBus3", "OleProvider", kOvxIni), "2");
    EXPECT_EQ(ProviderListLabels(), (QStringList{"MBus OLE V1", "MBus OLE V2", "MBus OVX"}));

    EXPECT_TRUE(LoadMBusPovider(0));
    EXPECT_EQ(LoadMBusPovider(1)->LNGLanguage, 1);
    QString error;
    EXPECT_FALSE(LoadMBusPovider(2, {}, &error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(LoadMBusPovider(7, {}, &error));
    EXPECT_EQ(error, kNoProviderMessage);
    EXPECT_TRUE(dir.messages().isEmpty()) << "the caller shows the message";

    WriteIniString("200MBus", "COMTimeout", "0", kOvxIni);
    WriteIniString("200MBus", "COMTimeoutByte", "9", kOvxIni);
    const TimeoutSettings t = LoadTimeoutSettings("200MBus");
    EXPECT_EQ(t.timeout, 330);
    EXPECT_EQ(t.byteTime, 9);
    EXPECT_EQ(ReadIniString("200MBus", "COMTimeout", kOvxIni), "330");
    EXPECT_EQ(ReadIniString("200MBus", "COMDeadtime", kOvxIni), "11");
    LoadTimeoutSettings("200MBus1", "COMTimeoutDeadTime");
    EXPECT_EQ(ReadIniString("200MBus1", "COMTimeoutDeadTime", kOvxIni), "11");

    QString port;
    int baud = 0;
    EXPECT_TRUE(GetPortParameter("3", "abc", port, baud));
    EXPECT_EQ(port, "Com 3");
    EXPECT_EQ(baud, 0);
}
