#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QDate>
#include <QProcess>

using namespace kelvaro;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

TEST(ReadAllProgram, StartOnTheCommandLineReadsOnceAndEnds)
{
    InstallationDir dir;
    SimProcess sim(BusJson({R"({"primary": 2, "id": "55667788", "baud": [9600], "medium": 4,
        "records": ["0406E8030000"]})"}), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty());
    WriteIniString("OVX", "COM1", sim.device(), kOvxIni);
    dir.write("MB.INI", "[MB]\r\nDatenPath=werte/\r\nComPort=1\r\nAnzahl=2\r\n");
    dir.write("werte/.keep", "");

    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.start(QStringLiteral(KELVARO_BINARY_DIR "/apps/mbus-readall/mbus-readall"), {"Start"});
    ASSERT_TRUE(program.waitForFinished(30000)) << "the program ends by itself";
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.readAllStandardOutput().trimmed(), "1 gelesen, 1 Fehler");

    const QString day = QDate::currentDate().toString("yyMMdd");
    const QStringList lines = QString::fromLatin1(dir.read("werte/" + day + "mb.txt")).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], day + "\t1\tFehlerBeimLesen");
    EXPECT_TRUE(lines[1].startsWith(day + "\t2\t1000\t")) << lines[1].toStdString();
}
