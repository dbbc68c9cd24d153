#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "programrun.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using kelvaro::test::ProgramRun;

ProgramRun decode(const QStringList& args) { return kelvaro::test::RunCli(QStringList{"decode"} + args, {}, 10000); }

bool cliBuilt() { return kelvaro::test::ProgramBuilt("kelvaro-cli"); }

} // namespace

TEST(CliDecode, JsonOfAWaterMeter)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    const ProgramRun r = decode({"--json", "68 1F 1F 68 08 02 72 78 56 34 12 24 40 01 07 55 00 00 00 03 13 15 31 00 DA 02 3B "
                                    "13 01 8B 60 04 37 18 02 18 16"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    const QJsonObject h = o.value("header").toObject();
    EXPECT_EQ(h.value("id").toString(), "12345678");
    EXPECT_EQ(h.value("manufacturer").toString(), "PAD");
    EXPECT_EQ(h.value("medium_text").toString(), "Wasser");
    EXPECT_EQ(h.value("access_number").toInt(), 0x55);
    const QJsonArray records = o.value("records").toArray();
    ASSERT_EQ(records.size(), 3);
    const QJsonObject second = records[1].toObject();
    EXPECT_EQ(second.value("index").toInt(), 2);
    EXPECT_EQ(second.value("storage").toInt(), 5);
    EXPECT_EQ(second.value("dif").toString(), "DA02");
    EXPECT_EQ(second.value("vif").toString(), "3B");
    EXPECT_DOUBLE_EQ(second.value("value").toDouble(), 0.113);
    EXPECT_EQ(second.value("unit").toString(), QString::fromUtf8("m³/h"));
}

TEST(CliDecode, BrokenFrameExitsNonZeroWithAMessage)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    const ProgramRun checksum = decode({"68 04 04 68 08 01 70 08 82 16"});
    EXPECT_NE(checksum.exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(checksum.err).contains(QString::fromUtf8("Prüfsumme")));
    const ProgramRun notHex = decode({"68 zz"});
    EXPECT_NE(notHex.exitCode, 0);
    EXPECT_FALSE(notHex.err.isEmpty());
}

namespace {

// A CI 72 response around the given records, as hex for the command line.
QString responseHex(const char* records)
{
    QByteArray user;
    kelvaro::ParseHexBytes(QString::fromLatin1("78 56 34 12 24 40 01 07 55 00 00 00 ") + QLatin1String(records), user);
    return kelvaro::StrToHexListe(
        kelvaro::mbus::BuildLongFrame(0x08, 0x01, 0x72, kelvaro::mbus::ByteSpan(user)), QStringLiteral(" "));
}

} // namespace

TEST(CliDecode, JsonRecordsOfDatesSpecialDifsAndScaledValues)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    const QString frame = responseHex("02 5A C5 01 "          // 45.3 °C
                                      "05 2E B1 D1 2E BE "    // real -0.17072178 kW
                                      "04 DB 6F 32 14 7A 18 " // date of the last end of a flow temperature
                                      "02 6C FF 2C "          // date
                                      "0F 01 02 03");         // manufacturer data to the end
    const ProgramRun r = decode({"--json", "--lang", "en", frame});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\"value\":45.3,")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\"value\":-0.17072178,")) << r.out.toStdString();
    const QJsonArray records = QJsonDocument::fromJson(r.out).object().value("records").toArray();
    ASSERT_EQ(records.size(), 5);
    EXPECT_EQ(records[0].toObject().value("unit").toString(), QString::fromUtf8("°C"));
    EXPECT_EQ(records[2].toObject().value("value").toString(), "26.08.2011 20:50");
    EXPECT_EQ(records[2].toObject().value("unit").toString(), "") << "a date has no physical unit";
    EXPECT_EQ(records[3].toObject().value("unit").toString(), "");
    EXPECT_EQ(records[4].toObject().value("function").toString(), "Manufacturer specific");

    const ProgramRun german = decode({"--json", responseHex("04 13 01 00 00 00 1F 01 02")});
    ASSERT_EQ(german.exitCode, 0) << german.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(german.out).object();
    EXPECT_TRUE(o.value("more_records_follow").toBool());
    const QJsonArray last = o.value("records").toArray();
    ASSERT_EQ(last.size(), 2);
    EXPECT_EQ(last[0].toObject().value("function").toString(), "Momentanwert");
    EXPECT_EQ(last[1].toObject().value("function").toString(), QString::fromUtf8("Weitere Datensätze folgen"));
}
