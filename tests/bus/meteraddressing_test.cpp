#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "mbus/frame.h"
#include "mbus/lineconfig.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/meterreading.h"
#include "mbus/wire/nativeprovider.h"
#include "simprocess.h"
#include "testsupport.h"

using namespace kelvaro;
using namespace kelvaro::mbus;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {

// A water meter whose only record is its volume in litres.
QString VolumeMeter(int primary, const QString& id, quint32 litres, const QString& extra = {})
{
    QByteArray le(4, '\0');
    for (int i = 0; i < 4; ++i)
        le[i] = static_cast<char>((litres >> (8 * i)) & 0xFF);
    return QStringLiteral(R"({"primary": %1, "id": "%2", "medium": 7, "baud": [2400], "records": ["0413%3"]%4})")
        .arg(primary)
        .arg(id, QString::fromLatin1(le.toHex().toUpper()), extra.isEmpty() ? QString() : ", " + extra);
}

const TimeoutSettings kQuick{60, 20, 4, 11};

struct AddressedLine {
    explicit AddressedLine(const QStringList& meters)
        : sim(BusJson(meters), {"--fast"})
    {
        DBPATH = ".\\";
        Mandant = "200";
        WriteIniString("OVX", "COM2", sim.device(), kOvxIni);
        provider.setPortDirectory(LoadPortDirectory());
        ApplyTimeoutSettings(provider, kQuick);
    }
    MeterBusFields meter(const QString& id, int primary, bool hasPrimary = true) const
    {
        MeterBusFields m;
        m.MB_ID = id;
        m.PrimAdr = static_cast<quint8>(primary);
        m.hasPrimAdr = hasPrimary;
        m.MBComP = 2;
        m.MBBaud = 2400;
        return m;
    }
    InstallationDir dir;
    SimProcess sim;
    NativeProvider provider;
    BusPort serial;
};

} // namespace

TEST(MeterAddressing, OnlyEightDecimalDigitsSelectAMeter)
{
    EXPECT_TRUE(IsSecondaryAddress("12345678"));
    EXPECT_TRUE(IsSecondaryAddress(" 00000001 ")) << "blanks around the digits are no part of it";
    for (const char* id : {"", "   ", "1234", "123456789", "ffffffff", "1234567f", "1234567F", "1234 678",
                           "abcdefgh", "+1234567", "١٢٣٤٥٦٧٨"})
        EXPECT_FALSE(IsSecondaryAddress(QString::fromUtf8(id))) << id;

    EXPECT_TRUE(IsReadablePrimaryAddress(0));
    EXPECT_TRUE(IsReadablePrimaryAddress(250));
    for (const int address : {-1, 251, 253, 254, 255, 256})
        EXPECT_FALSE(IsReadablePrimaryAddress(address)) << address;

    MeterBusFields m;
    m.PrimAdr = 7;
    EXPECT_EQ(AddressingOf(m), MeterAddressing::Primary);
    m.MB_ID = "ffffffff";
    EXPECT_EQ(AddressingOf(m), MeterAddressing::Primary) << "a wildcard mask is never a selection";
    m.MB_ID = "12345678";
    EXPECT_EQ(AddressingOf(m), MeterAddressing::Secondary);
    m.MB_SelectSec = "68;0B;";
    EXPECT_EQ(AddressingOf(m), MeterAddressing::StoredFrame);
    m.MB_SelectSec.clear();
    m.MB_ID.clear();
    m.PrimAdr = 253;
    EXPECT_EQ(AddressingOf(m), MeterAddressing::None) << "253 means: by secondary address, which it has not";
    m.PrimAdr = 3;
    m.hasPrimAdr = false;
    EXPECT_EQ(AddressingOf(m), MeterAddressing::None);
}

TEST(MeterAddressing, ReplyIdentificationAgainstTheConfiguredId)
{
    EXPECT_TRUE(IdentificationMatches("12345601", "12345601"));
    EXPECT_TRUE(IdentificationMatches(" 12345601", "12345601"));
    EXPECT_FALSE(IdentificationMatches("12345601", "12345602"));
    EXPECT_TRUE(IdentificationMatches("", "12345602")) << "no configured identification to contradict";
    EXPECT_TRUE(IdentificationMatches("12345601", "")) << "a telegram without identification";
    // Patterns of older lists: "f" is any digit, short texts are filled on the left.
    EXPECT_TRUE(IdentificationMatches("ffff1234", "00001234"));
    EXPECT_TRUE(IdentificationMatches("1234", "98761234"));
    EXPECT_TRUE(IdentificationMatches("12F45678", "12045678"));
    EXPECT_FALSE(IdentificationMatches("ffff1234", "00001235"));
    EXPECT_FALSE(IdentificationMatches("123456789", "23456789")) << "nine characters are no identification";
    EXPECT_FALSE(IdentificationMatches("abc", "00000abc"));
    EXPECT_FALSE(IdentificationMatches("1234-678", "12340678"));
}

TEST(MeterAddressing, AMeterWithoutIdIsReadAtItsPrimaryAddress)
{
    AddressedLine line({VolumeMeter(1, "12345601", 1000), VolumeMeter(2, "12345602", 2000), VolumeMeter(3, "12345603", 3000)});
    for (const QString& id : {QString(), QStringLiteral("ffffffff"), QStringLiteral("ffff5602")}) {
        SCOPED_TRACE(id.toStdString());
        MeterBusFields meter = line.meter(id, 2);
        ASSERT_EQ(MB_ZaehlerLesen(line.serial, line.provider, meter), 0)
            << "a selection by wildcard would meet three meters";
        EXPECT_DOUBLE_EQ(meter.ValueTable[1].value, 2) << "the values of the meter at address 2";
        EXPECT_EQ(static_cast<std::uint8_t>(line.provider.lastRequest().at(2)), 2) << "REQ_UD2 to address 2";
    }

    MeterBusFields absent = line.meter({}, 9);
    EXPECT_EQ(MB_ZaehlerLesen(line.serial, line.provider, absent), -2);
    EXPECT_EQ(absent.ValueCount, 0) << "nobody at address 9: no values, whoever else is on the line";
}

TEST(MeterAddressing, NoAddressSendsNothingAndAnotherMetersReplyIsNotTakenOver)
{
    // The meter at 4 answers its selection with a telegram of meter 99999999.
    const QByteArray data = QByteArray::fromHex("99999999" "2E2C" "01" "07" "00" "00" "0000" "0413E8030000");
    const QByteArray frame = BuildLongFrame(0x08, 4, 0x72, ByteSpan(data));
    AddressedLine line({VolumeMeter(1, "12345601", 1000),
               VolumeMeter(4, "12345604", 4000, "\"frame\": \"" + QString::fromLatin1(frame.toHex()) + "\"")});

    NativeProvider untouched;
    untouched.setPortDirectory(line.provider.portDirectory());
    for (const bool hasPrimary : {false, true}) {
        MeterBusFields meter = line.meter({}, hasPrimary ? 253 : 1, hasPrimary);
        EXPECT_EQ(ReadMeter(line.serial, untouched, meter), MeterReadOutcome::NotAddressable);
        EXPECT_EQ(MeterReadCode(MeterReadOutcome::NotAddressable), -5);
        EXPECT_TRUE(untouched.lastRequest().isEmpty()) << "nothing was sent";
        EXPECT_FALSE(untouched.APPIsComOpen());
    }

    MeterBusFields selected = line.meter("12345604", 4);
    EXPECT_EQ(ReadMeter(line.serial, line.provider, selected), MeterReadOutcome::OtherMeter);
    EXPECT_EQ(MB_ZaehlerLesen(line.serial, line.provider, selected), -6);
    EXPECT_EQ(line.provider.APPDeviceIDDec(), "99999999");
    EXPECT_EQ(selected.ValueCount, 0) << "the other meter's values are not taken over";

    MeterBusFields byPattern = line.meter("ffff9999", 1);
    EXPECT_EQ(ReadMeter(line.serial, line.provider, byPattern), MeterReadOutcome::OtherMeter)
        << "meter 12345601 answers at address 1";
    EXPECT_EQ(byPattern.ValueCount, 0);
}
