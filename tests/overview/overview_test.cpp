#include "foundation/processlock.h"
#include "overview/overviewsettings.h"
#include "overviewfixture.h"

#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::overview;
using namespace kelvaro::test;

namespace {

std::unique_ptr<Overview> loadedOverview(RecordedStarts& starts, const QString& commandLine = QStringLiteral("-M200"),
                                         const QString& programDir = {})
{
    Overview::Environment environment;
    environment.programs = OverviewInstallation::locations(programDir);
    environment.starter = starts.starter();
    auto overview = std::make_unique<Overview>(environment);
    overview->load(commandLine);
    return overview;
}

QString mbusKey(const QString& key) { return ReadIniString("200MBus", key, kOvxIni); }

} // namespace

TEST(OverviewSettings, ZeroOrMissingTimesGetTheirDefaultsWrittenBack)
{
    InstallationDir dir;
    Mandant = "200";
    WriteIniString("200MBus", "MBTime", "0", kOvxIni);
    WriteIniString("200MBus", "Time300", "3,5", kOvxIni);
    const OverviewSettings s = LoadOverviewSettings();
    EXPECT_DOUBLE_EQ(s.cycleTimes.perMeter, 0.24);
    EXPECT_DOUBLE_EQ(s.cycleTimes.perBaudGroup[0], 3.5);
    EXPECT_DOUBLE_EQ(s.cycleTimes.perBaudGroup[4], 0.075);
    EXPECT_EQ(mbusKey("MBTime"), "0,24");
    EXPECT_EQ(mbusKey("Time300"), "3,5") << "a set value stays";
    EXPECT_EQ(mbusKey("Time9600"), "0,075");
    EXPECT_EQ(s.rb6BlockCount, 6000);
    EXPECT_EQ(mbusKey("RB6_StandardGroesse"), "") << "not written back";

    WriteIniString("200MBus", "RB6_StandardGroesse", "1200", kOvxIni);
    WriteIniString("200MBus", "Time2400", "abc", kOvxIni);
    const OverviewSettings again = LoadOverviewSettings();
    EXPECT_EQ(again.rb6BlockCount, 1200);
    EXPECT_DOUBLE_EQ(again.cycleTimes.perBaudGroup[2], 0.27) << "text that is no number reads as 0";

    // Written where the decimal separator is a point.
    WriteIniString("200MBus", "MBTime", "0.3", kOvxIni);
    WriteIniString("200MBus", "Time1200", "1.250,5", kOvxIni);
    const OverviewSettings point = LoadOverviewSettings();
    EXPECT_DOUBLE_EQ(point.cycleTimes.perMeter, 0.3) << "not 3";
    EXPECT_DOUBLE_EQ(point.cycleTimes.perBaudGroup[1], 1250.5);
}

TEST(OverviewSettings, RestartIntervalInSeconds)
{
    InstallationDir dir;
    Mandant = "200";
    EXPECT_EQ(LoadSupervisionSettings().restartIntervalMs, 60'000);
    WriteIniString("200MBus", "NeustartIntervall", "0,5", kOvxIni);
    EXPECT_EQ(LoadSupervisionSettings().restartIntervalMs, 500);
    EXPECT_EQ(mbusKey("NeustartIntervall"), "0,5");
}

TEST(Overview, EmptyMeterTableSaysSoAndStaysEmpty)
{
    OverviewInstallation inst;
    ASSERT_TRUE(inst.ready);
    RecordedStarts starts;
    const auto overview = loadedOverview(starts, "Auto -M200");
    EXPECT_EQ(overview->grid.rowCount(), 0);
    EXPECT_TRUE(inst.dir.messages().contains(kNoMetersMessage));
    EXPECT_TRUE(starts.calls.isEmpty());
}

TEST(Overview, MissingClientDatabaseIsAMessageNotACrash)
{
    InstallationDir dir;
    WriteIniString("OVX", "OVXMandant", "300", kOvxIni);
    RecordedStarts starts;
    const auto overview = loadedOverview(starts, "Auto");
    EXPECT_EQ(overview->grid.rowCount(), 0);
    ASSERT_EQ(dir.messages().size(), 2);
    EXPECT_TRUE(dir.messages()[0].startsWith("Fehler in der Datenbank")) << dir.messages()[0].toStdString();
    EXPECT_EQ(dir.messages()[1], kNoMetersMessage);
}

TEST(Overview, AutoStartsOneMasterPerPortWithTheClient)
{
    OverviewInstallation inst;
    ASSERT_TRUE(inst.ready);
    inst.addMeters(3, 2400, 2);
    inst.addMeters(5, 300, 1);
    inst.addMeters(0, 2400, 1); // port 0 is no port to start
    RecordedStarts starts;
    const auto overview = loadedOverview(starts, "Auto -M200");
    ASSERT_EQ(overview->grid.rowCount(), 3);
    EXPECT_EQ(overview->grid.cell(1, 0), "3");
    EXPECT_EQ(overview->grid.cell(1, 4), "2");
    EXPECT_EQ(overview->grid.cell(2, 2), "1");
    EXPECT_EQ(starts.calls, (QList<QStringList>{{"kelvaro", "Auto", "-M200", "-C3"}, {"kelvaro", "Auto", "-M200", "-C5"}}));
    EXPECT_TRUE(inst.dir.messages().isEmpty()) << inst.dir.messages().join('|').toStdString();
    EXPECT_TRUE(inst.programLog().contains("Starte kelvaro Auto -M200 -C3"));
}

TEST(Overview, PortWhoseLockIsHeldElsewhereShowsRunningAndIsNotStarted)
{
    OverviewInstallation inst;
    ASSERT_TRUE(inst.ready);
    inst.addMeters(3, 2400, 1);
    inst.addMeters(4, 2400, 1);
    ProcessLock held(MasterPortLockFile(".\\DB200\\", "200", 3));
    ASSERT_TRUE(held.tryLock(ProcessLock::Mode::Exclusive)) << held.errorText().toStdString();

    RecordedStarts starts;
    const auto overview = loadedOverview(starts, "Auto -M200");
    EXPECT_EQ(starts.calls, (QList<QStringList>{{"kelvaro", "Auto", "-M200", "-C4"}}));
    EXPECT_EQ(overview->grid.cell(0, kStatusColumn), Overview::runningText());
    EXPECT_EQ(overview->chooseRow(0), MasterLauncher::Result::RunningElsewhere);

    held.unlock();
    overview->refreshStatus();
    EXPECT_EQ(overview->grid.cell(0, kStatusColumn), "") << "the status follows the lock";
    EXPECT_EQ(overview->chooseRow(0), MasterLauncher::Result::Started);
}

TEST(Overview, MissingMasterProgramIsReported)
{
    OverviewInstallation inst;
    ASSERT_TRUE(inst.ready);
    inst.addMeters(3, 2400, 1);
    Overview::Environment environment;
    environment.programs.configuredMaster = inst.dir.file("nirgends/kelvaro");
    environment.programs.searchPath = false;
    Overview overview(environment);
    overview.load("Auto -M200");
    ASSERT_EQ(inst.dir.messages().size(), 1);
    EXPECT_TRUE(inst.dir.messages()[0].contains("nicht installiert")) << inst.dir.messages()[0].toStdString();
    EXPECT_EQ(overview.launcher().runningPorts(), ";") << "a master that did not start is not listed";
}

TEST(Overview, ProviderChoiceIsKeptInSectionOfPortZero)
{
    OverviewInstallation inst;
    ASSERT_TRUE(inst.ready);
    RecordedStarts starts;
    auto overview = loadedOverview(starts);
    EXPECT_EQ(overview->providerKind(), 1) << "no entry: MBus OLE V2";
    overview->chooseProvider(2);
    EXPECT_EQ(ReadIniString("200MBus0", "OleProvider", kOvxIni), "2");
    EXPECT_EQ(loadedOverview(starts)->providerKind(), 2);
}

TEST(ProgramLocator, BesideTheProgramInABuildTreeOrConfigured)
{
    InstallationDir dir;
    for (const char* name : {"bin/tarvolin", "apps/mbus-edit/mbus-edit", "apps/kelvaro-overview/x", "k/kelvaro"}) {
        dir.write(name, "#!/bin/sh\n");
        QFile(dir.file(name)).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    ProgramLocations where;
    where.searchPath = false;
    where.programDir = dir.file("bin");
    EXPECT_EQ(FindProgram(where, "tarvolin"), dir.file("bin/tarvolin"));
    EXPECT_EQ(FindProgram(where, "mbus-logimport"), "");
    where.programDir = dir.file("apps/kelvaro-overview");
    EXPECT_EQ(FindProgram(where, "mbus-edit"), dir.file("apps/mbus-edit/mbus-edit"));
    where.configuredMaster = dir.file("k/kelvaro");
    EXPECT_EQ(FindProgram(where, "kelvaro"), dir.file("k/kelvaro"));
    where.configuredMaster = dir.file("k/fehlt");
    EXPECT_EQ(FindProgram(where, "kelvaro"), "") << "a configured master that is missing is not looked for elsewhere";
}
