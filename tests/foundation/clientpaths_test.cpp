#include "foundation/clientpaths.h"
#include "foundation/programlog.h"
#include "programrun.h"
#include "testsupport.h"

#include "foundation/timeutil.h"

using namespace kelvaro;
using kelvaro::test::InstallationDir;
using kelvaro::test::ProgramRun;
using kelvaro::test::RunCli;

namespace {
QString todaysLogName() { return LocalNow().toString("yyMMdd") + "ed.log"; }
}

TEST(ClientOption, NumberIsFormattedWithThreeDigits)
{
    InstallationDir dir;
    ParseClientOption("Auto -M7 -C3");
    EXPECT_EQ(Mandant, "007");
    ParseClientOption("Auto -M1320");
    EXPECT_EQ(Mandant, "1320");
    ParseClientOption("-Mabc");
    EXPECT_EQ(Mandant, "000");
    Mandant = "200";
    ParseClientOption("Auto -C3 -m5");
    EXPECT_EQ(Mandant, "200") << "the option is case-sensitive";
}

TEST(ClientPaths, PlaceholderAndSeparators)
{
    InstallationDir dir;
    dir.write("OVX.INI", "[OVX]\r\nOVXMandant=200\r\nDBPATH200=C:\\x\\DB$MANDANT$\r\nDBPATH300=.\\db300\\\r\n"
                         "[200]\r\nDatenPath=.\\daten\\\r\n");
    StartClient("Auto");
    EXPECT_EQ(Mandant, "200");
    EXPECT_EQ(DBPATH, "C:\\x\\DB200\\");
    EXPECT_EQ(DatenPath, ".\\daten\\");
    EXPECT_EQ(ClientMBusSection(), "200MBus");
    EXPECT_EQ(MBClientSection(), "MB200");
    EXPECT_EQ(ClientSection(), "200");

    StartClient("-M300");
    EXPECT_EQ(DBPATH, ".\\db300\\") << "no second backslash";
    EXPECT_EQ(DatenPath, ".\\");
    EXPECT_TRUE(dir.messages().isEmpty());
}

TEST(ClientPaths, MissingClientWarnsAndGoesOn)
{
    InstallationDir dir;
    StartClient("");
    EXPECT_EQ(dir.messages(), QStringList{kNoClientMessage});
    EXPECT_EQ(Mandant, "");
    EXPECT_EQ(DBPATH, ".\\DB\\");
    EXPECT_EQ(ClientMBusSection(), "MBus");
    EXPECT_EQ(MBClientSection(), "MB");
}

TEST(ClientPaths, DefaultClientAndProgramLogLines)
{
    InstallationDir dir;
    dir.write("DB200/.keep", "");
    StartClient("", "200");
    EXPECT_EQ(DBPATH, ".\\DB200\\");
    WriteProgramLog("Start");
    const QString log = QString::fromLatin1(dir.read("DB200/" + todaysLogName()));
    EXPECT_TRUE(log.endsWith(" Start\r\n")) << log.toStdString();
    EXPECT_TRUE(log.contains(" Keinen Eintrag gefunden : OVXDatenPATH = .\\\r\n")) << log.toStdString();
}

TEST(KelvaroCli, PathsPrintsTheResolvedClient)
{
    InstallationDir dir;
    dir.write("OVX.INI", "[OVX]\r\nOVXMandant=100\r\n[200]\r\nDatenPath=D:\\rb6\\\r\n");
    const ProgramRun cli = RunCli({"paths", "-M200"}, dir.path(), 10000);
    ASSERT_TRUE(cli.finished);
    const QString out = cli.outText();
    EXPECT_EQ(cli.exitCode, 0);
    EXPECT_TRUE(out.contains("Mandant   = 200\n"));
    EXPECT_TRUE(out.contains("DBPATH    = .\\DB200\\\n"));
    EXPECT_TRUE(out.contains("DatenPath = D:\\rb6\\\n"));
    EXPECT_TRUE(out.contains("[200] [200MBus] [MB200]"));
}
