#include "programrun.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using kelvaro::test::BusJson;
using kelvaro::test::ProgramPath;
using kelvaro::test::ProgramRun;
using kelvaro::test::RunCli;
using kelvaro::test::SimProcess;

namespace {

enum Code { Ok = 0, NoAnswer = 1, Usage = 2, Configuration = 3, Device = 4, DataFile = 5 };

struct Failure {
    const char* what;
    QStringList args; // "@DIR" stands for the case's working directory, "@SIM" for the simulator's line
    Code code;
    QByteArray ovxIni = {};
};

bool cliBuilt() { return QFileInfo::exists(ProgramPath("kelvaro-cli")); }

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(content), content.size());
}

// Runs every failure in a fresh working directory, once as text and once
// with --json, and checks the exit code and where the failure text goes.
void expectFailures(const QList<Failure>& failures, const QString& simDevice = {})
{
    for (const Failure& f : failures) {
        for (const bool json : {false, true}) {
            SCOPED_TRACE(std::string(f.what) + (json ? " --json" : ""));
            QTemporaryDir dir;
            if (!f.ovxIni.isEmpty())
                writeFile(dir.filePath("OVX.INI"), QByteArray(f.ovxIni).replace("@DIR", dir.path().toUtf8()));
            QStringList args;
            for (QString a : f.args)
                args << a.replace(QLatin1String("@DIR"), dir.path()).replace(QLatin1String("@SIM"), simDevice);
            if (json)
                args << QStringLiteral("--json");
            const ProgramRun run = RunCli(args, dir.path());
            ASSERT_TRUE(run.finished);
            EXPECT_EQ(run.exitCode, f.code) << run.errText().toStdString();
            EXPECT_FALSE(run.errText().trimmed().isEmpty()) << "no failure text on standard error";
            if (!json) {
                EXPECT_FALSE(run.out.contains("\"error\"")) << run.outText().toStdString();
                continue;
            }
            const QJsonObject error = run.outJson().value("error").toObject();
            EXPECT_EQ(error.value("code").toInt(-1), f.code) << run.outText().toStdString();
            const QString text = error.value("text").toString();
            EXPECT_FALSE(text.isEmpty());
            EXPECT_TRUE(run.errText().contains(text)) << run.errText().toStdString();
        }
    }
}

const QByteArray kClient200 = "[OVX]\r\nOVXMandant=200\r\n";

} // namespace

TEST(CliExitCodes, UsageErrorsOfEveryCommand)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    expectFailures({
        {"unknown command", {"frobnicate"}, Usage},
        {"decode without a telegram", {"decode"}, Usage},
        {"decode with an unknown option", {"decode", "--jsn", "10 40 01 41 16"}, Usage},
        {"decode in an unknown language", {"decode", "--lang", "fr", "10 40 01 41 16"}, Usage},
        {"read without an address", {"read", "--device", "/dev/null"}, Usage},
        {"read without a line", {"read", "--primary", "1"}, Usage},
        {"read at address 300", {"read", "--device", "/dev/null", "--primary", "300"}, Usage},
        {"read at a baud rate that is no number", {"read", "--device", "/dev/null", "--baud", "fast", "--primary", "1"}, Usage},
        {"read with a selection frame that is no hex", {"read", "--device", "/dev/null", "--select-frame", "68 zz"}, Usage},
        {"read with a stray argument", {"read", "--device", "/dev/null", "--primary", "1", "extra"}, Usage},
        {"scan-primary past address 250", {"scan-primary", "--device", "/dev/null", "--to", "251"}, Usage},
        {"scan-secondary with a short mask", {"scan-secondary", "--device", "/dev/null", "--mask", "1234"}, Usage},
        {"send without a frame", {"send", "--device", "/dev/null"}, Usage},
        {"send with a frame that is no hex", {"send", "--device", "/dev/null", "10 zz"}, Usage},
        {"rb6 info without a file", {"rb6", "info"}, Usage},
        {"rb6 dump with a time that is none", {"rb6", "dump", "x.ovx", "--from", "yesterday"}, Usage},
        {"db without init", {"db"}, Usage},
        {"db init --postgres without a database", {"db", "init", "--postgres", "localhost"}, Usage},
        {"db init with an unknown option", {"db", "init", "--force"}, Usage},
        {"paths with an unknown option", {"paths", "--client", "200"}, Usage},
        {"demo-setup without a device", {"demo-setup", "@DIR/demo", "--bus", "bus.json"}, Usage},
        {"demo-report with an unknown option", {"demo-report", "--all"}, Usage},
    });
}

TEST(CliExitCodes, NoClientIsAConfigurationError)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    const QByteArray noClient = "[OVX]\r\nCOM1=/dev/null\r\n";
    expectFailures({
        {"paths", {"paths"}, Configuration, noClient},
        {"db init", {"db", "init"}, Configuration, noClient},
        {"demo-report", {"demo-report"}, Configuration, noClient},
        {"paths without OVX.INI", {"paths"}, Configuration},
    });
}

TEST(CliExitCodes, AnUnusableLineIsADeviceError)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    const QStringList line{"--device", "@DIR/no-such-tty"};
    const QByteArray portToNowhere = "[OVX]\r\nCOM7=@DIR/no-such-tty\r\n";
    expectFailures({
        {"read --primary", QStringList{"read", "--primary", "1"} + line, Device},
        {"read --secondary", QStringList{"read", "--secondary", "12345678"} + line, Device},
        {"read --select-frame", QStringList{"read", "--select-frame", "68 0B 0B 68 53 FD 52 78 56 34 12 FF FF FF FF B2 16"} + line, Device},
        {"scan-primary", QStringList{"scan-primary", "--to", "3"} + line, Device},
        {"scan-secondary", QStringList{"scan-secondary"} + line, Device},
        {"send", QStringList{"send", "10 40 01 41 16"} + line, Device},
        {"a COM port number without a device", {"read", "--port", "7", "--primary", "1"}, Device, portToNowhere},
    });
}

TEST(CliExitCodes, FilesAndDatabasesThatCannotBeUsed)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    expectFailures({
        {"decode of a missing file", {"decode", "@DIR/missing.hex"}, DataFile},
        {"rb6 info of a missing file", {"rb6", "info", "@DIR/missing.ovx"}, DataFile},
        {"rb6 dump of a missing file", {"rb6", "dump", "@DIR/missing.ovx"}, DataFile},
        {"demo-setup into a directory that cannot be made", {"demo-setup", "/proc/kelvaro-demo", "--device", "/dev/null", "--bus", "bus.json"}, DataFile},
        {"demo-report without a database", {"demo-report", "-M200"}, DataFile, kClient200},
    });

    // A damaged RB6 file still shows its header, then fails.
    QTemporaryDir dir;
    writeFile(dir.filePath("damaged.ovx"), QByteArray(200, '\x11'));
    const ProgramRun damaged = RunCli({"rb6", "info", dir.filePath("damaged.ovx"), "--json"}, dir.path());
    EXPECT_EQ(damaged.exitCode, DataFile) << damaged.errText().toStdString();
    EXPECT_EQ(damaged.outJson().value("error").toObject().value("code").toInt(), DataFile) << damaged.outText().toStdString();

    // The client database directory is taken by a file.
    writeFile(dir.filePath("OVX.INI"), kClient200);
    writeFile(dir.filePath("DB200"), "not a directory");
    const ProgramRun blocked = RunCli({"db", "init", "--json"}, dir.path());
    EXPECT_EQ(blocked.exitCode, DataFile) << blocked.errText().toStdString();
    EXPECT_EQ(blocked.outJson().value("error").toObject().value("code").toInt(), DataFile) << blocked.outText().toStdString();
}

TEST(CliExitCodes, NoAnswerAndNotDecodable)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    SimProcess sim(BusJson({R"({"primary": 2, "id": "12345602", "manufacturer": "KEL", "medium": 7,
                                "records": ["0413A0860100"]})"}),
                   {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty()) << sim.output().toStdString();
    const QStringList line{"--device", "@SIM", "--baud", "2400", "--timeout", "40", "--offset", "10"};
    expectFailures(
        {
            {"decode of a frame with a wrong checksum", {"decode", "68 04 04 68 08 01 70 08 82 16"}, NoAnswer},
            {"decode of text that is no hex", {"decode", "68 zz"}, NoAnswer},
            {"read of an address nobody has", QStringList{"read", "--primary", "9"} + line, NoAnswer},
            {"read of an identification nobody has", QStringList{"read", "--secondary", "99999999"} + line, NoAnswer},
            {"scan-primary over empty addresses", QStringList{"scan-primary", "--from", "5", "--to", "6"} + line, NoAnswer},
            {"scan-secondary below nobody", QStringList{"scan-secondary", "--mask", "9999999f"} + line, NoAnswer},
            {"send without an answer", QStringList{"send", "10 40 03 43 16"} + line, NoAnswer},
        },
        sim.device());

    // The meter that is there still reads, and a scan that finds it succeeds.
    QStringList found{"scan-primary", "--from", "0", "--to", "3", "--json", "--device", sim.device(), "--timeout", "40", "--offset", "10"};
    const ProgramRun scan = RunCli(found);
    EXPECT_EQ(scan.exitCode, Ok) << scan.errText().toStdString();
    EXPECT_TRUE(scan.out.contains("12345602")) << scan.outText().toStdString();
}

TEST(CliExitCodes, ProgramLogLinesOfTheBusCommandsLandInTheWorkingDirectory)
{
    if (!cliBuilt())
        GTEST_SKIP() << "kelvaro-cli not built";
    QTemporaryDir dir;
    writeFile(dir.filePath("OVX.INI"), kClient200);
    QDir().mkpath(dir.filePath("DB200"));
    const ProgramRun run = RunCli({"read", "--device", dir.filePath("no-such-tty"), "--primary", "1"}, dir.path());
    ASSERT_EQ(run.exitCode, Device) << run.errText().toStdString();
    const QStringList logs = QDir(dir.path()).entryList({"*ed.log"}, QDir::Files);
    ASSERT_EQ(logs.size(), 1) << QDir(dir.path()).entryList().join(' ').toStdString();
    QFile log(dir.filePath(logs.first()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("no-such-tty"));
    EXPECT_TRUE(QDir(dir.filePath("DB200")).isEmpty()) << "the client directory is not resolved for a bus command";
}
