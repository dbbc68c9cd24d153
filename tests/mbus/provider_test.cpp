#include "mbus/provider.h"
#include "mbus/valuetable.h"
#include "mbustestutil.h"

#include "foundation/lasterror.h"

using namespace kelvaro;
using namespace kelvaro::mbus;
using namespace kelvaro::mbus::test;

namespace {
const char* const kWaterMeter = "68 1F 1F 68 08 02 72 78 56 34 12 24 40 01 07 55 00 00 00 03 13 15 31 00 DA 02 3B "
                                "13 01 8B 60 04 37 18 02 18 16";
}

TEST(Provider, HandsOutHeaderAndRecords)
{
    MBusProvider p;
    ASSERT_EQ(p.APPInterpretTelegramHex(QString(kWaterMeter).remove(' ')), 0);
    EXPECT_EQ(p.APPDataRecordNumber(), 3);
    EXPECT_EQ(p.APPAField(), 2);
    EXPECT_EQ(p.APPCField(), 0x08);
    EXPECT_EQ(p.APPCIField(), 0x72);
    EXPECT_EQ(p.APPDeviceID(), 0x12345678);
    EXPECT_EQ(p.APPDeviceIDDec(), "12345678");
    EXPECT_EQ(p.APPManufacturerID(), 0x4024);
    EXPECT_EQ(MBusProvider::APPLongToHexAsc(p.APPManufacturerID()), "4024");
    EXPECT_EQ(p.APPManufacturerIDAsc(), "PAD");
    EXPECT_EQ(p.APPGenerationNo(), 1);
    EXPECT_EQ(p.APPMedium(), 7);
    EXPECT_EQ(p.APPMediumAsc(), "Wasser");
    EXPECT_EQ(p.APPTransmissionCount(), 0x55);
    EXPECT_EQ(p.APPTelegramStatus(), 0);
    EXPECT_EQ(p.APPSignature(), 0);
    EXPECT_EQ(p.APPRetrieveRawDataHex(), QString(kWaterMeter).remove(' '));
    EXPECT_TRUE(p.APPRetrieveRawDataDec().startsWith("104031031104008002114"));

    EXPECT_EQ(p.APPVIBAsc(2), "Durchfluss, Maximalwert, Speicher 5");
    EXPECT_EQ(p.APPValueDec(2), "0,113");
    EXPECT_EQ(p.APPValueHex(2), "1301");
    EXPECT_EQ(p.APPVIBUnitAsc(2), "m³/h");
    EXPECT_EQ(p.APPFunctionField(2), 1);
    EXPECT_EQ(p.APPFunctionFieldAsc(2), "Maximalwert");
    EXPECT_EQ(p.APPDataField(2), 0x0A);
    EXPECT_EQ(p.APPDataFieldAsc(2), "4 Stellen BCD");
    EXPECT_EQ(p.APPStorageNo(2), 5);
    EXPECT_EQ(p.APPTariffNo(3), 2);
    EXPECT_EQ(p.APPUnitNo(3), 1);

    p.LNGLanguage = 0;
    EXPECT_EQ(p.APPVIBAsc(2), "Volume flow, Maximum value, storage 5");
    EXPECT_EQ(p.APPMediumAsc(), "Water");

    // Record numbers outside the telegram.
    EXPECT_EQ(p.APPValueDec(0), "");
    EXPECT_EQ(p.APPVIBAsc(4), "");
    EXPECT_EQ(p.APPDataField(-1), 0);
}

TEST(Provider, RefusedTelegramLeavesNoRecords)
{
    MBusProvider p;
    ASSERT_EQ(p.APPInterpretTelegramHex(kWaterMeter), 0);
    QString broken = QString(kWaterMeter);
    broken.replace("18 16", "19 16");
    EXPECT_EQ(p.APPInterpretTelegramHex(broken), int(DecodeError::FrameChecksum));
    EXPECT_EQ(p.APPDataRecordNumber(), 0);
    EXPECT_EQ(p.APPVIBAsc(1), "");
    EXPECT_TRUE(LastErrorText().contains("Prüfsumme"));
    EXPECT_NE(p.APPInterpretTelegramHex("68 1F zz"), 0);
    EXPECT_EQ(p.APPDataRecordNumber(), 0);
}

TEST(ValueTable, TakesValuesOverAndComputesTheRate)
{
    MeterValues meter;
    const auto reading = [](const char* value) {
        return [value](int) { return RecordValueTexts{"Energie", value, "kWh"}; };
    };
    ASSERT_EQ(TakeOverValues(1, reading("100"), meter, 1000), 0);
    EXPECT_EQ(meter.ValueCount, 1);
    const ValueEntry& e = meter.ValueTable[1];
    EXPECT_EQ(e.measurementText, "Energie        ");
    EXPECT_EQ(e.unitText, "kWh            ");
    EXPECT_EQ(e.value, 100);
    EXPECT_EQ(e.previousReadingTime, 0);
    EXPECT_EQ(e.ratePerHour, 0) << "no rate from the first reading";

    ASSERT_EQ(TakeOverValues(1, reading("101,5"), meter, 1900), 0);
    EXPECT_EQ(e.previousValue, 100);
    EXPECT_EQ(e.previousReadingTime, 1000);
    EXPECT_DOUBLE_EQ(e.ratePerHour, 6.0);

    ASSERT_EQ(TakeOverValues(1, reading(""), meter, 1900), 0);
    EXPECT_EQ(e.value, 0) << "an empty value is stored as 0";
    EXPECT_DOUBLE_EQ(e.ratePerHour, 6.0) << "same time stamp: the rate keeps its old content";
    EXPECT_TRUE(meter.ValueTable[0].measurementText.isEmpty()) << "entry 0 is never written";

    EXPECT_EQ(FixedText15("Durchfluss, Maximalwert"), "Durchfluss, Max");
}

TEST(ValueTable, MoreThan255RecordsStopWithMinusOne)
{
    MeterValues meter;
    int asked = 0;
    const int rc = TakeOverValues(
        256,
        [&asked](int r) {
            ++asked;
            return RecordValueTexts{"Wert", QString::number(r), ""};
        },
        meter, 5000);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(asked, 255);
    EXPECT_EQ(meter.ValueCount, 255) << "the count must not wrap to 0";
    EXPECT_EQ(meter.ValueTable[255].value, 255);
}

TEST(ValueTable, TakesOverFromTheProvider)
{
    MBusProvider p;
    ASSERT_EQ(p.APPInterpretTelegramHex(kWaterMeter), 0);
    MeterValues meter;
    ASSERT_EQ(MB_WerteUebernehmen(p, meter, 1000), 0);
    EXPECT_EQ(meter.ValueCount, 3);
    EXPECT_DOUBLE_EQ(meter.ValueTable[1].value, 12.565);
    EXPECT_EQ(meter.ValueTable[1].unitText.trimmed(), "m³");
    EXPECT_DOUBLE_EQ(meter.ValueTable[3].value, 218.37);
}

TEST(TelegramDisplay, GridAndRawText)
{
    MBusProvider p;
    ASSERT_EQ(p.APPInterpretTelegramHex(kWaterMeter), 0);
    const TelegramDisplay d = MB_TelegrammAnzeigen(p);
    EXPECT_EQ(d.headers, QStringList({"Index", "Medium", "Meßart", "Wert", "Einh."}));
    ASSERT_EQ(d.rows.size(), 3);
    EXPECT_EQ(d.rowText(0), "2 [1]\tWasser\tVolumen\t12,565\tm³");
    EXPECT_EQ(d.rows[2][2], "Energie, Tarif 2, Untereinheit 1");
    EXPECT_TRUE(d.rawText.startsWith("37 HEX Zeichen\r\n68 1F 1F 68 "));

    // 20 bytes: a line of 16, a line of 4, then the decimal block.
    QString hexText;
    QString decText;
    for (int i = 0; i < 20; ++i) {
        hexText += QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
        decText += QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
    }
    EXPECT_EQ(RawDataText(hexText, decText),
              "20 HEX Zeichen\r\n00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n10 11 12 13 \r\n"
              "20 Dezimal\r\n000 001 002 003 004 005 006 007 008 009 010 011 012 013 014 015 016 017 018 019 ");
}
