#include "simprocess.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {
QString runCli(const QStringList& args, int* exitCode = nullptr)
{
    QProcess cli;
    cli.start(QStringLiteral(KELVARO_BINARY_DIR "/apps/kelvaro-cli/kelvaro-cli"), args);
    cli.waitForFinished(30000);
    if (exitCode)
        *exitCode = cli.exitCode();
    return QString::fromUtf8(cli.readAllStandardOutput());
}
} // namespace

TEST(KelvaroCliBus, ReadScanAndSendAgainstTheSimulator)
{
    InstallationDir dir;
    SimProcess sim(BusJson({R"({"primary": 2, "id": "12345602", "manufacturer": "KEL", "medium": 7,
                                "records": ["0413A0860100", "426C9F2C"]})"}),
                   {"--fast"});
    const QStringList line{"--device", sim.device(), "--baud", "2400", "--timeout", "40", "--offset", "10"};

    int rc = -1;
    const QJsonObject read = QJsonDocument::fromJson(runCli(QStringList{"read", "--primary", "2", "--json"} + line, &rc).toUtf8()).object();
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read["header"].toObject()["id"].toString(), "12345602");
    const QJsonArray records = read["records"].toArray();
    ASSERT_EQ(records.size(), 2);
    EXPECT_DOUBLE_EQ(records[0].toObject()["value"].toDouble(), 100);
    EXPECT_EQ(records[0].toObject()["unit"].toString(), QString::fromUtf8("m³"));

    EXPECT_TRUE(runCli(QStringList{"read", "--secondary", "12345602"} + line, &rc).contains("12345602"));
    EXPECT_EQ(rc, 0);
    runCli(QStringList{"read", "--secondary", "99999999"} + line, &rc);
    EXPECT_EQ(rc, 1);

    EXPECT_EQ(runCli(QStringList{"send", "10 40 02 42 16"} + line, &rc).trimmed(), "E5;");
    EXPECT_EQ(runCli(QStringList{"send", "10 40 03 43 16"} + line, &rc).trimmed(), "Timeout");
    EXPECT_EQ(rc, 1);

    const QString scan = runCli(QStringList{"scan-primary", "--from", "0", "--to", "4"} + line, &rc);
    EXPECT_TRUE(scan.contains("2\t12345602\tKEL")) << scan.toStdString();
    EXPECT_TRUE(scan.contains("1 Zähler in "));
}
