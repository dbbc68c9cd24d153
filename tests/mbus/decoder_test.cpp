#include "mbustestutil.h"

using namespace kelvaro;
using namespace kelvaro::mbus;
using namespace kelvaro::mbus::test;

TEST(Decoder, WaterMeterHeaderAndRecords)
{
    const Telegram t = decode(hex("68 1F 1F 68 08 02 72 78 56 34 12 24 40 01 07 55 00 00 00 03 13 15 31 00 DA 02 "
                                  "3B 13 01 8B 60 04 37 18 02 18 16"));
    ASSERT_EQ(t.error, DecodeError::None);
    EXPECT_EQ(IdentificationText(t.idRaw), "12345678");
    EXPECT_EQ(t.manufacturer, 0x4024);
    EXPECT_EQ(ManufacturerText(t.manufacturer), "PAD");
    EXPECT_EQ(t.version, 1);
    EXPECT_EQ(MediumText(t.medium, Language::German), "Wasser");
    EXPECT_EQ(MediumText(t.medium, Language::English), "Water");
    EXPECT_EQ(MediumText(0x4A, Language::German), "Medium 0x4A");
    EXPECT_EQ(t.accessNumber, 0x55);
    ASSERT_EQ(t.records.size(), 3u);
    EXPECT_EQ(text(t, 0), "Volumen");
    EXPECT_EQ(valueText(t, 0), "12,565");
    EXPECT_EQ(unit(t, 0), "m³");
    EXPECT_EQ(text(t, 1), "Durchfluss, Maximalwert, Speicher 5");
    EXPECT_EQ(valueText(t, 1), "0,113");
    EXPECT_EQ(unit(t, 1), "m³/h");
    EXPECT_EQ(text(t, 2), "Energie, Tarif 2, Untereinheit 1");
    EXPECT_EQ(valueText(t, 2), "218,37");
    EXPECT_EQ(unit(t, 2), "kWh");
    EXPECT_EQ(text(t, 2, Language::English), "Energy, tariff 2, subunit 1");
}

TEST(Decoder, HeatMeterDatesTextsAndFillers)
{
    const Telegram t = decode(hex(
        "68 5A 5A 68 08 01 72 78 56 34 12 3A 63 01 04 2A 00 00 00 0C 78 21 43 65 87 04 06 39 30 00 00 0C 14 56 34 12 "
        "00 0B 2D 50 01 00 0A 5A 05 07 0A 5E 52 04 0A 62 53 02 04 6D 1E 0E 0F 33 42 6C FF 2C 44 06 F8 2A 00 00 04 93 "
        "3B 10 27 00 00 02 FD 17 00 00 0D FD 11 06 32 31 20 47 48 57 2F 2F 01 16"));
    ASSERT_EQ(t.error, DecodeError::None);
    EXPECT_EQ(ManufacturerText(t.manufacturer), "XYZ");
    const char* const expected[][3] = {
        {"Fabriknummer", "87654321", ""},
        {"Energie", "12345", "kWh"},
        {"Volumen", "1234,56", "m³"},
        {"Leistung", "15,0", "kW"},
        {"Vorlauftemperatur", "70,5", "°C"},
        {"Rücklauftemperatur", "45,2", "°C"},
        {"Temperaturdifferenz", "25,3", "K"},
        {"Datum/Zeit", "15.03.2024 14:30", ""},
        {"Datum, Speicher 1", "31.12.2023", ""},
        {"Energie, Speicher 1", "11000", "kWh"},
        {"Volumen (nur positiv)", "10,000", "m³"},
        {"Fehlerflags", "0000", ""},
        {"Kunde", "WHG 12", ""},
    };
    ASSERT_EQ(t.records.size(), std::size(expected)) << "fillers are no records";
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(text(t, i), QString::fromUtf8(expected[i][0])) << i;
        EXPECT_EQ(valueText(t, i), QString::fromUtf8(expected[i][1])) << i;
        EXPECT_EQ(unit(t, i), QString::fromUtf8(expected[i][2])) << i;
    }
    EXPECT_EQ(DateText(t.records[7]), "15.03.2024");
    EXPECT_EQ(DateTimeText(t.records[7]), "15.03.2024 14:30");
    EXPECT_EQ(ValueDecText(t, t.records[7]), "") << "a date is no number for the value table";
}

TEST(Decoder, ElectricityMeterNegativeBcdRealAndMoreRecords)
{
    const Telegram t = decode(hex("68 37 37 68 08 05 72 44 33 22 11 3A 63 10 02 10 00 00 00 8E 10 04 67 45 23 01 00 "
                                  "00 8E 20 04 00 50 00 00 00 00 05 2E 00 00 C0 3F 0B 2B 34 12 F0 0A FD 48 01 23 0A "
                                  "FD 59 34 12 1F 32 16"));
    ASSERT_EQ(t.error, DecodeError::None);
    EXPECT_TRUE(t.moreRecordsFollow);
    ASSERT_EQ(t.records.size(), 7u);
    EXPECT_EQ(text(t, 0), "Energie, Tarif 1");
    EXPECT_EQ(valueText(t, 0), "12345,67");
    EXPECT_EQ(valueText(t, 1), "50,00");
    EXPECT_EQ(valueText(t, 2), "1,5");
    EXPECT_EQ(unit(t, 2), "kW");
    EXPECT_EQ(valueText(t, 3), "-1,234") << "BCD with sign nibble, W shown in kW";
    EXPECT_DOUBLE_EQ(t.records[3].value, -1.234);
    EXPECT_EQ(text(t, 4), "Spannung");
    EXPECT_EQ(valueText(t, 4), "230,1");
    EXPECT_EQ(text(t, 5), "Strom");
    EXPECT_EQ(valueText(t, 5), "1,234");
    EXPECT_EQ(t.records[6].dataField(), 0x0F);
    EXPECT_EQ(t.records[6].dataLength, 0);
}

TEST(Decoder, IntegerWidthsAndSigns)
{
    const Telegram t = decode(withHeader("01 FD 08 FF "               // access number: unsigned 8 bit
                                         "02 FD 59 FE FF "            // current -2 mA
                                         "07 03 FF FF FF FF FF FF FF 7F " // 64-bit maximum, Wh
                                         "07 79 88 77 66 55 44 33 22 11 " // identification, unsigned 64 bit
                                         "06 13 01 00 00 00 00 80"));      // 48-bit minimum
    ASSERT_EQ(t.error, DecodeError::None);
    EXPECT_EQ(valueText(t, 0), "255");
    EXPECT_EQ(valueText(t, 1), "-0,002");
    EXPECT_EQ(t.records[2].raw, INT64_MAX);
    EXPECT_EQ(valueText(t, 3), "1234605616436508552");
    EXPECT_EQ(t.records[4].raw, -(std::int64_t(1) << 47) + 1);
}

TEST(Decoder, BcdSpecialValues)
{
    const Telegram t = decode(withHeader("0C 13 FF FF FF FF "   // all F: no value
                                         "0C 13 12 A4 00 00 "   // A nibble: invalid
                                         "0E 03 12 34 56 78 90 12 " // 12 digits
                                         "09 13 F1"));          // 2 digits with sign: -1
    ASSERT_EQ(t.error, DecodeError::None);
    EXPECT_EQ(t.records[0].type, ValueType::Empty);
    EXPECT_EQ(valueText(t, 0), "—");
    EXPECT_EQ(t.records[1].type, ValueType::Invalid);
    EXPECT_EQ(valueText(t, 1), "ungültig 12 A4 00 00");
    EXPECT_EQ(t.records[2].raw, 129078563412);
    EXPECT_EQ(t.records[3].raw, -1);
}

TEST(Decoder, VariableLengthInAllItsForms)
{
    const Telegram t = decode(withHeader("0D FD 11 03 43 42 41 "          // text, last character first
                                         "0D 13 C3 56 34 12 "             // positive BCD
                                         "0D 13 D2 34 12 "                // negative BCD
                                         "0D 13 E2 34 12 "                // binary
                                         "0D FD 11 00 "                   // empty text
                                         "0D FF 00 F0 "                   // 16 bytes binary
                                         "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF "
                                         "0D 13 EA 01 02 03 04 05 06 07 08 09 0A")); // 10 bytes binary
    ASSERT_EQ(t.error, DecodeError::None);
    ASSERT_EQ(t.records.size(), 7u);
    EXPECT_EQ(valueText(t, 0), "ABC");
    EXPECT_EQ(ValueDecText(t, t.records[0]), "ABC");
    EXPECT_EQ(valueText(t, 1), "123,456");
    EXPECT_EQ(valueText(t, 2), "-1,234");
    EXPECT_EQ(valueText(t, 3), "4,660");
    EXPECT_EQ(valueText(t, 4), "");
    EXPECT_EQ(t.records[5].dataLength, 17);
    EXPECT_EQ(t.records[5].type, ValueType::Hex);
    EXPECT_EQ(t.records[6].type, ValueType::Hex) << "binary over 8 bytes";
    EXPECT_EQ(valueText(t, 6), "01 02 03 04 05 06 07 08 09 0A") << "the data bytes, not the length byte";
    EXPECT_EQ(valueText(t, 5), "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");

    const Telegram reserved = decode(withHeader("04 13 01 00 00 00 0D 13 F7 00"));
    EXPECT_EQ(reserved.error, DecodeError::ReservedLvar);
    ASSERT_EQ(reserved.records.size(), 2u) << "the record before stays, the rest is kept as hex";
    EXPECT_EQ(text(reserved, 1), "nicht decodierbar");
    EXPECT_EQ(valueText(reserved, 1), "0D 13 F7 00");

    const Telegram signed_ = decode(response(0x72, "78 56 34 12 24 40 01 07 55 00 10 05 04 13 01 00 00 00 3F A3"));
    EXPECT_EQ(signed_.error, DecodeError::ReservedDif);
    ASSERT_EQ(signed_.records.size(), 2u);
    EXPECT_EQ(text(signed_, 1), "verschlüsselt") << "behind a signature the rest is most likely encrypted";

    const Telegram tooLong = decode(withHeader("0D FD 11 09 41 42"));
    EXPECT_EQ(tooLong.error, DecodeError::PrematureEnd) << "text longer than the rest of the telegram";
}

TEST(Decoder, DateAndTimeTypes)
{
    const Telegram t = decode(withHeader("02 6C FF 2C "                 // G 31.12.2023
                                         "02 6C 00 00 "                 // G empty
                                         "02 6C 21 0D "                 // G month 13: invalid
                                         "04 6D 1E 8E 0F 33 "           // F with summer time bit
                                         "04 6D 9E 0E 0F 33 "           // F with invalid bit
                                         "04 6D 1E 4E 0F 33 "           // F hundred-year bits 2: 2124
                                         "06 6D 2D 1E 2E 0F 33 0B "     // I 15.03.2024 14:30:45
                                         "03 6D 2D 1E 0E "              // J 14:30:45
                                         "04 6D 00 00 E1 F1"));         // F year 127: invalid
    ASSERT_EQ(t.error, DecodeError::None);
    EXPECT_EQ(valueText(t, 0), "31.12.2023");
    EXPECT_EQ(valueText(t, 1), "—");
    EXPECT_EQ(t.records[2].type, ValueType::Invalid);
    EXPECT_EQ(valueText(t, 3), "15.03.2024 14:30");
    EXPECT_TRUE(t.records[3].date.summerTime);
    EXPECT_EQ(valueText(t, 4), "ungültig 9E 0E 0F 33");
    EXPECT_EQ(valueText(t, 5), "15.03.2124 14:30");
    EXPECT_EQ(valueText(t, 6), "15.03.2024 14:30:45");
    EXPECT_EQ(valueText(t, 7), "14:30:45");
    EXPECT_EQ(t.records[8].type, ValueType::Invalid);
}

TEST(Decoder, ExtensionTablesAndVifeChains)
{
    const Telegram t = decode(withHeader("04 FB 00 05 00 00 00 "      // FB 00: 0.1 MWh
                                         "02 FB 09 0C 00 "            // FB 09: GJ
                                         "02 FD 1C 60 09 "            // FD 1C: baud rate 2400
                                         "02 FD 47 02 00 "            // FD 47: 10 mV
                                         "04 96 75 01 00 00 00 "      // volume x 10^-1
                                         "04 83 7D 02 00 00 00 "      // energy x 1000
                                         "02 BB 22 05 00 "            // volume flow per hour
                                         "02 93 16 01 00 "            // overflow error
                                         "02 93 15 00 00 "            // no data available
                                         "02 93 FF 12 01 00 "         // manufacturer VIFE, rest raw
                                         "02 FF 9B 2C 07 00 "         // manufacturer VIF with VIFEs
                                         "02 13 07 00"));             // after the chain: normal record
    ASSERT_EQ(t.error, DecodeError::None);
    ASSERT_EQ(t.records.size(), 12u);
    EXPECT_EQ(valueText(t, 0), "0,5");
    EXPECT_EQ(unit(t, 0), "MWh");
    EXPECT_EQ(valueText(t, 1), "12");
    EXPECT_EQ(unit(t, 1), "GJ");
    EXPECT_EQ(text(t, 2), "Baudrate");
    EXPECT_EQ(valueText(t, 2), "2400");
    EXPECT_EQ(valueText(t, 3), "0,02");
    EXPECT_EQ(unit(t, 3), "V");
    EXPECT_DOUBLE_EQ(t.records[4].value, 0.1) << "1 x 10^-3 m³ x 10^2";
    EXPECT_DOUBLE_EQ(t.records[5].value, 2.0) << "2 Wh x 1000 = 2 kWh";
    EXPECT_EQ(unit(t, 6), "m³/h/h");
    EXPECT_EQ(valueText(t, 7), "ungültig (Überlauf) 01 00");
    EXPECT_EQ(valueText(t, 8), "—");
    EXPECT_EQ(text(t, 9), "Volumen (herstellerspezifisch)");
    EXPECT_EQ(valueText(t, 9), "0,001");
    EXPECT_EQ(text(t, 10), "Herstellerspezifisch");
    EXPECT_EQ(valueText(t, 10), "7");
    EXPECT_EQ(text(t, 11), "Volumen");
}

TEST(Decoder, PlainTextVifWithVifeAfterTheText)
{
    const Telegram t = decode(withHeader("02 FC 03 48 52 25 74 B0 16"));
    ASSERT_EQ(t.records.size(), 1u);
    EXPECT_EQ(text(t, 0), "%RH");
    EXPECT_EQ(unit(t, 0), "%RH");
    EXPECT_EQ(valueText(t, 0), "58,08");
}

TEST(Decoder, RecordLimitsEndTheListButKeepWhatCameBefore)
{
    const Telegram difes = decode(withHeader("01 13 05 81 81 81 81 81 81 81 81 81 81 81 01 13 05"));
    EXPECT_EQ(difes.error, DecodeError::TooManyDife);
    ASSERT_EQ(difes.records.size(), 2u);
    EXPECT_EQ(valueText(difes, 0), "0,005");

    const Telegram vifes = decode(withHeader("01 93 80 80 80 80 80 80 80 80 80 80 00 05"));
    EXPECT_EQ(vifes.error, DecodeError::TooManyVife);

    const Telegram ten = decode(withHeader("01 93 80 80 80 80 80 80 80 80 80 00 05"));
    EXPECT_EQ(ten.error, DecodeError::None) << "ten VIFEs are allowed";

    const Telegram truncated = decode(withHeader("04 13 01 00"));
    EXPECT_EQ(truncated.error, DecodeError::PrematureEnd);
    const Telegram difeAtEnd = decode(withHeader("84"));
    EXPECT_EQ(difeAtEnd.error, DecodeError::PrematureEnd);
    const Telegram reservedDif = decode(withHeader("3F 00"));
    EXPECT_EQ(reservedDif.error, DecodeError::ReservedDif);

    const Telegram global = decode(withHeader("7F 2F 2F 01 13 05"));
    EXPECT_EQ(global.error, DecodeError::None);
    EXPECT_EQ(global.records.size(), 2u);
}

TEST(Decoder, MostRecordsAFrameCanHold)
{
    // 120 two-byte records fill the largest frame; all decode.
    QByteArray records;
    for (int i = 0; i < 120; ++i)
        records += "00 13 ";
    const Telegram t = decode(withHeader(records.constData()));
    EXPECT_EQ(t.error, DecodeError::None);
    EXPECT_EQ(t.records.size(), 120u);
    EXPECT_EQ(t.records.front().type, ValueType::None);
}

TEST(Decoder, OtherHeadersAndFrames)
{
    const Telegram shortHeader = decode(response(0x7A, "2A 00 00 00 04 13 01 00 00 00"));
    EXPECT_EQ(shortHeader.error, DecodeError::None);
    EXPECT_FALSE(shortHeader.hasId);
    EXPECT_EQ(shortHeader.accessNumber, 0x2A);
    EXPECT_EQ(shortHeader.records.size(), 1u);

    const Telegram noHeader = decode(response(0x78, "04 13 01 00 00 00"));
    EXPECT_EQ(noHeader.records.size(), 1u);

    const Telegram msbFirst = decode(response(0x76, "12 34 56 78 40 24 01 07 55 00 00 00 04 13 00 00 01 00"));
    EXPECT_EQ(IdentificationText(msbFirst.idRaw), "12345678");
    EXPECT_EQ(ManufacturerText(msbFirst.manufacturer), "PAD");
    EXPECT_DOUBLE_EQ(msbFirst.records[0].value, 0.256);

    const Telegram fixed = decode(hex("68 13 13 68 08 05 73 78 56 34 12 0A 00 E9 7E 01 00 00 00 35 01 00 00 3C 16"));
    EXPECT_TRUE(fixed.fixedStructure);
    EXPECT_EQ(MediumText(fixed.medium, Language::German), "Wasser");
    ASSERT_EQ(fixed.records.size(), 2u);
    EXPECT_EQ(valueText(fixed, 0), "1");
    EXPECT_EQ(unit(fixed, 0), "l");
    EXPECT_EQ(valueText(fixed, 1), "135");
    EXPECT_EQ(unit(fixed, 1), "l") << "code 3E: counter 1's unit, historic";
    EXPECT_EQ(text(fixed, 1), "Volumen, historisch");

    const Telegram busy = decode(hex("68 04 04 68 08 01 70 08 81 16"));
    EXPECT_TRUE(busy.applicationError);
    EXPECT_EQ(busy.applicationErrorCode, 8);
    EXPECT_EQ(ApplicationErrorText(8, Language::German), "Anwendung beschäftigt");

    Telegram t;
    EXPECT_FALSE(DecodeTelegram(span(response(0x72, "78 56 34 12 24")), t));
    EXPECT_EQ(t.error, DecodeError::HeaderTooShort);
    EXPECT_FALSE(DecodeTelegram(span(response(0x8A, "00")), t));
    EXPECT_EQ(t.error, DecodeError::UnsupportedCi);
    EXPECT_FALSE(DecodeTelegram(span(BuildLongFrame(0x53, 1, 0x51, span(hex("01 7A 05")))), t));
    EXPECT_EQ(t.error, DecodeError::NotResponse);
    EXPECT_FALSE(DecodeTelegram(span(hex("10 7B FD 78 16")), t));
    EXPECT_EQ(t.error, DecodeError::NotDataFrame);
    EXPECT_FALSE(DecodeTelegram(span(response(0x73, "01 02")), t));
    EXPECT_EQ(t.error, DecodeError::FixedLength);
    QByteArray badSum = withHeader("04 13 01 00 00 00");
    badSum[badSum.size() - 2] = char(badSum[badSum.size() - 2] + 1);
    EXPECT_FALSE(DecodeTelegram(span(badSum), t));
    EXPECT_EQ(t.error, DecodeError::FrameChecksum);
    EXPECT_TRUE(t.records.empty());
    EXPECT_FALSE(DecodeTelegram(span(withHeader("04 13 01 00 00 00").left(20)), t));
    EXPECT_EQ(t.error, DecodeError::FrameIncomplete);
}

TEST(Decoder, UnitsTheIndexListRuleKnows)
{
    // Power in MW and temperatures in °F are shown in kW and °C, so that the
    // index list tells instantaneous values from counters.
    const Telegram t = decode(withHeader("02 FB 29 05 00 02 FB 5A E8 03 02 FB 62 64 00"));
    ASSERT_EQ(t.records.size(), 3u);
    EXPECT_EQ(unit(t, 0), "kW");
    EXPECT_EQ(valueText(t, 0), "5000");
    EXPECT_EQ(unit(t, 1), "°C");
    EXPECT_EQ(valueText(t, 1), "37,78") << "100.0 °F";
    EXPECT_EQ(unit(t, 2), "K");
    EXPECT_EQ(valueText(t, 2), "5,56") << "a difference of 10.0 °F";
}

TEST(Decoder, LaterEditionFbCodesOfElectricityAndHeatCostMeters)
{
    // Codes the early FB table reserves and the later edition fills; the
    // early codes stay as they were (00 MWh, 21 ft³ in tenths).
    const Telegram t = decode(withHeader("04 FB 02 39 30 00 00 " // reactive energy, 1 kvarh
                                         "02 FB 05 0C 00 "       // apparent energy, 10 kVAh
                                         "02 FB 0C 0C 00 "       // energy, 0.1 MCal
                                         "02 FB 16 7B 00 "       // reactive power, 0.1 kvar
                                         "02 FB 35 E8 03 "       // apparent power, 0.01 kVA
                                         "02 FB 2A 78 00 "       // phase angle U-U
                                         "02 FB 2B 1E 00 "       // phase angle U-I
                                         "02 FB 20 05 00 "       // volume, 1 ft³
                                         "02 FB 68 00 18 "       // rating factor K, 2^-12
                                         "02 FB 69 00 10 "       // rating factor Kq
                                         "02 FB 00 05 00 "       // early code: 0.1 MWh
                                         "02 FB 21 05 00"));     // early code: 0.1 ft³
    ASSERT_EQ(t.error, DecodeError::None);
    const char* const expected[][4] = {
        {"Blindenergie", "Reactive energy", "12345", "kvarh"},
        {"Scheinenergie", "Apparent energy", "120", "kVAh"},
        {"Energie", "Energy", "1,2", "MCal"},
        {"Blindleistung", "Reactive power", "12,3", "kvar"},
        {"Scheinleistung", "Apparent power", "10,00", "kVA"},
        {"Phasenwinkel Spannung-Spannung", "Phase angle voltage-voltage", "120", "°"},
        {"Phasenwinkel Spannung-Strom", "Phase angle voltage-current", "30", "°"},
        {"Volumen", "Volume", "5", "ft³"},
        {"Bewertungsfaktor K", "Resulting rating factor K", "1,5000", ""},
        {"Bewertungsfaktor Kq", "Thermal output rating factor Kq", "1,0000", ""},
        {"Energie", "Energy", "0,5", "MWh"},
        {"Volumen", "Volume", "0,5", "ft³"},
    };
    ASSERT_EQ(t.records.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(text(t, i), QString::fromUtf8(expected[i][0])) << i;
        EXPECT_EQ(text(t, i, Language::English), QString::fromUtf8(expected[i][1])) << i;
        EXPECT_EQ(valueText(t, i), QString::fromUtf8(expected[i][2])) << i;
        EXPECT_EQ(unit(t, i), QString::fromUtf8(expected[i][3])) << i;
    }
    EXPECT_EQ(t.records[0].value, 12345.0);
    EXPECT_EQ(t.records[3].value, 12.3);
    EXPECT_EQ(t.records[8].value, 1.5);
}

TEST(Decoder, DurationVifesMakeADurationOfTheQuantity)
{
    // Records 13 and 14 of a PolluStat heat meter: volume flow (VIF 3E) with
    // VIFE 50 / 58, the duration of the first lower / upper limit exceed in
    // seconds. The VIF's scale does not apply to a duration (VIF 3B, 10^-3).
    const Telegram t = decode(withHeader("04 BE 50 71 BB B0 00 "
                                         "04 BE 58 F4 02 00 00 "
                                         "02 BB 57 0C 00 "  // last lower limit exceed, days
                                         "02 93 62 2D 00 "  // duration of first, hours (E110 0fnn)
                                         "02 93 66 2D 00 "  // duration of last, hours
                                         "02 BB 3B 0C 00")); // 10^-3 m³/h, positive only: still a flow
    ASSERT_EQ(t.error, DecodeError::None);
    ASSERT_EQ(t.records.size(), 6u);
    EXPECT_EQ(text(t, 0), "Durchfluss (Dauer erste Unterschreitung)");
    EXPECT_EQ(valueText(t, 0), "11582321");
    EXPECT_EQ(unit(t, 0), "s");
    EXPECT_EQ(text(t, 1, Language::English), "Volume flow (duration first upper limit exceed)");
    EXPECT_EQ(valueText(t, 1), "756");
    EXPECT_EQ(unit(t, 1), "s");
    EXPECT_EQ(valueText(t, 2), "12");
    EXPECT_EQ(unit(t, 2), "d");
    EXPECT_EQ(t.records[2].value, 12.0);
    EXPECT_EQ(unit(t, 3), "h");
    EXPECT_EQ(valueText(t, 3), "45");
    EXPECT_EQ(text(t, 4), "Volumen (Dauer letzte)");
    EXPECT_EQ(unit(t, 4), "h");
    EXPECT_EQ(unit(t, 5), "m³/h");
    EXPECT_EQ(valueText(t, 5), "0,012");
}

TEST(Decoder, TimePointsCarryNoPhysicalUnit)
{
    // VIFE 6F / 39: the record is the date of an event of the quantity, not the quantity.
    const Telegram t = decode(withHeader("04 DB 6F 32 14 7A 18 " // flow temperature: last end, 26.08.2011 20:50
                                         "04 AB 6F 00 00 00 00 " // power max.: no date stored yet
                                         "82 01 93 39 FF 2C "    // start date of volume (storage 2)
                                         "02 5B 2C 01"));        // an ordinary temperature keeps °C
    ASSERT_EQ(t.error, DecodeError::None);
    ASSERT_EQ(t.records.size(), 4u);
    EXPECT_EQ(valueText(t, 0), "26.08.2011 20:50");
    EXPECT_EQ(unit(t, 0), "");
    EXPECT_EQ(valueText(t, 1), "—");
    EXPECT_EQ(unit(t, 1), "");
    EXPECT_EQ(valueText(t, 2), "31.12.2023");
    EXPECT_EQ(unit(t, 2), "");
    EXPECT_EQ(unit(t, 3), "°C");
}

TEST(Decoder, ScaledValuesAreTheNearestDoubleOfWhatWasSent)
{
    // 453 x 10^-1 must be the double 45.3, not 45.300000000000004; a 32-bit
    // real keeps the digits that read back as that real.
    const Telegram t = decode(withHeader("02 5A C5 01 "         // 45.3 °C
                                         "04 13 E9 03 00 00 "   // 1.001 m³
                                         "02 93 79 07 00 "      // 7 x 10^-3 m³ + 10^-2 (VIFE 79)
                                         "02 FB 5A E8 03 "      // 100.0 °F in °C
                                         "05 2E B1 D1 2E BE "   // real, kW
                                         "05 2B CD CC CC 3D "   // real 0.1 W in kW
                                         "02 43 33 00"));       // 51 x 10^-4 m³/min in m³/h
    ASSERT_EQ(t.error, DecodeError::None);
    ASSERT_EQ(t.records.size(), 7u);
    EXPECT_EQ(t.records[0].value, 45.3);
    EXPECT_EQ(valueText(t, 0), "45,3");
    EXPECT_EQ(t.records[1].value, 1.001);
    EXPECT_EQ(t.records[2].value, 0.00701);
    EXPECT_EQ(t.records[3].value, 340.0 / 9.0) << "(100 - 32) x 5/9";
    EXPECT_EQ(t.records[4].value, -0.17072178);
    EXPECT_EQ(valueText(t, 4), "-0,1707218");
    EXPECT_EQ(t.records[5].value, 0.0001);
    EXPECT_EQ(t.records[6].value, 0.306);
}

TEST(Decoder, NumberTextsAroundTheLastExactDigit)
{
    // Up to 15 digits the text is the digits as sent; beyond, it is the value's
    // double rounded to the VIF's decimals.
    const Telegram t = decode(withHeader("07 13 FF 7F C6 A4 7E 8D 03 00 "    // 10^15 - 1 l
                                         "07 13 00 80 C6 A4 7E 8D 03 00 "    // 10^15 l
                                         "07 13 01 00 00 00 00 00 00 40 "    // 2^62 + 1 l
                                         "07 13 00 00 00 00 00 00 00 80 "    // 64-bit minimum
                                         "04 13 FF FF FF FF "                // -1 l
                                         "02 59 FB FF "                      // -0.05 °C
                                         "04 13 00 00 00 00 "                // zero
                                         "0E 13 99 99 99 99 99 99 "          // 12 BCD digits
                                         "0C 13 23 01 00 F0 "                // negative BCD
                                         "07 FD 17 01 00 00 00 00 00 00 80 " // error flags, 64 bits
                                         "02 FD 17 00 01"));                 // error flags, 16 bits
    ASSERT_EQ(t.error, DecodeError::None);
    const char* const expected[] = {"999999999999,999", "1000000000000,000", "4611686018427388,000",
                                    "-9223372036854776,000", "-0,001", "-0,05", "0,000", "999999999,999",
                                    "-0,123", "8000000000000001", "0100"};
    ASSERT_EQ(t.records.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(valueText(t, i), expected[i]) << i;
    EXPECT_EQ(ValueDecText(t, t.records[5]), "-0,05");
    EXPECT_EQ(ValueDecText(t, t.records[10]), "256");
    EXPECT_EQ(ValueDecText(t, t.records[9]), "9223372036854775809") << "every digit of an unsigned 64-bit field";
}
