#include "programrun.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

using kelvaro::test::BusJson;
using kelvaro::test::CliOutput;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

TEST(KelvaroCliBus, ReadScanAndSendAgainstTheSimulator)
{
    InstallationDir dir;
    SimProcess sim(BusJson({R"({"primary": 2, "id": "12345602", "manufacturer": "KEL", "medium": 7,
                                "records": ["0413A0860100", "426C9F2C"]})"}),
                   {"--fast"});
    const QStringList line{"--device", sim.device(), "--baud", "2400", "--timeout", "40", "--offset", "10"};

    int rc = -1;
    const QJsonObject read = QJsonDocument::fromJson(CliOutput(QStringList{"read", "--primary", "2", "--json"} + line, &rc).toUtf8()).object();
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read["header"].toObject()["id"].toString(), "12345602");
    const QJsonArray records = read["records"].toArray();
    ASSERT_EQ(records.size(), 2);
    EXPECT_DOUBLE_EQ(records[0].toObject()["value"].toDouble(), 100);
    EXPECT_EQ(records[0].toObject()["unit"].toString(), QString::fromUtf8("m³"));

    EXPECT_TRUE(CliOutput(QStringList{"read", "--secondary", "12345602"} + line, &rc).contains("12345602"));
    EXPECT_EQ(rc, 0);
    CliOutput(QStringList{"read", "--secondary", "99999999"} + line, &rc);
    EXPECT_EQ(rc, 1);

    EXPECT_EQ(CliOutput(QStringList{"send", "10 40 02 42 16"} + line, &rc).trimmed(), "E5;");
    EXPECT_EQ(CliOutput(QStringList{"send", "10 40 03 43 16"} + line, &rc).trimmed(), "Timeout");
    EXPECT_EQ(rc, 1);

    const QString scan = CliOutput(QStringList{"scan-primary", "--from", "0", "--to", "4"} + line, &rc);
    EXPECT_TRUE(scan.contains("2\t12345602\tKEL")) << scan.toStdString();
    EXPECT_TRUE(scan.contains("1 Zähler in "));
}

// A line that goes away during a command ends it at once with the device's
// exit code and where it stopped; what was found before stays in the output.
TEST(KelvaroCliBus, LineGoneEndsTheCommandAtOnceNamingWhereItStopped)
{
    using kelvaro::test::ReturningLine;
    InstallationDir dir;
    const QByteArray bus = BusJson({R"({"primary": 2, "id": "12345602", "medium": 7, "records": ["0413A0860100"]})"});
    for (const ReturningLine::Kind kind : {ReturningLine::PseudoTerminal, ReturningLine::Tcp}) {
        ReturningLine line(bus, kind);
        ASSERT_TRUE(line.isUp());
        // The whole range takes about a minute against a bus of one meter.
        QProcess scan;
        scan.start(kelvaro::test::ProgramPath("kelvaro-cli"),
                   {"scan-primary", "--device", line.device(), "--baud", "2400"});
        ASSERT_TRUE(scan.waitForStarted());
        ASSERT_FALSE(scan.waitForFinished(1500)) << "past address 2 and still scanning";
        line.drop();
        ASSERT_TRUE(scan.waitForFinished(30000)) << "the scan went on without its line";
        const QByteArray out = scan.readAllStandardOutput();
        const QString err = QString::fromUtf8(scan.readAllStandardError());
        EXPECT_EQ(scan.exitCode(), 4) << err.toStdString();
        EXPECT_TRUE(err.contains(QRegularExpression("Leitung verloren bei Adresse ([3-9]|\\d\\d+) "))) << err.toStdString();
        EXPECT_TRUE(out.contains("2\t12345602")) << out.toStdString();

        ASSERT_TRUE(line.restore());
        int rc = -1;
        EXPECT_TRUE(CliOutput({"read", "--primary", "2", "--device", line.device()}, &rc).contains("12345602"));
        EXPECT_EQ(rc, 0) << "the same name reads again";
    }
}
