#include "testsupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

CliRun decode(const QStringList& args)
{
    CliRun r;
    QProcess cli;
    cli.start(QStringLiteral(KELVARO_BINARY_DIR "/apps/kelvaro-cli/kelvaro-cli"), QStringList{"decode"} + args);
    if (!cli.waitForFinished(10000))
        return r;
    r.exitCode = cli.exitCode();
    r.out = cli.readAllStandardOutput();
    r.err = cli.readAllStandardError();
    return r;
}

bool cliBuilt()
{
    return QFileInfo::exists(QStringLiteral(KELVARO_BINARY_DIR "/apps/kelvaro-cli/kelvaro-cli"));
}

} // namespace

TEST(CliDecode, JsonOfAWaterMeter)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    const CliRun r = decode({"--json", "68 1F 1F 68 08 02 72 78 56 34 12 24 40 01 07 55 00 00 00 03 13 15 31 00 DA 02 3B "
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
    const CliRun checksum = decode({"68 04 04 68 08 01 70 08 82 16"});
    EXPECT_NE(checksum.exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(checksum.err).contains(QString::fromUtf8("Prüfsumme")));
    const CliRun notHex = decode({"68 zz"});
    EXPECT_NE(notHex.exitCode, 0);
    EXPECT_FALSE(notHex.err.isEmpty());
}
