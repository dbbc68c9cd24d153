#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "mbus/lineconfig.h"
#include "mbus/wire/nativeprovider.h"
#include "readall/monthtrigger.h"
#include "readall/readall.h"
#include "readall/readallsettings.h"
#include "simprocess.h"
#include "testsupport.h"

#include <memory>

using namespace kelvaro;
using namespace kelvaro::readall;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {

QString meter(int primary, const QString& id)
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [9600], "medium": 4,
        "records": ["0406E8030000", "04134C1D0000"]})")
        .arg(primary)
        .arg(id);
}

// An installation with a simulated bus at 9600 Bd on COM3 and short answer windows.
struct Station {
    explicit Station(const QStringList& meters) : sim(std::make_unique<SimProcess>(BusJson(meters), QStringList{"--fast"}))
    {
        WriteIniString("OVX", "COM3", sim->device(), kOvxIni);
        provider.setPortDirectory(mbus::LoadPortDirectory());
        reader.timeouts.timeout = 40;
        reader.timeouts.offset = 8;
        reader.clock = [this] { return now; };
        fields = {"3", "out/", "2"};
        dir.write("out/.keep", "");
    }
    QStringList lines(const QString& name) const
    {
        return QString::fromLatin1(dir.read(name)).split("\r\n", Qt::SkipEmptyParts);
    }
    InstallationDir dir;
    std::unique_ptr<SimProcess> sim;
    mbus::NativeProvider provider;
    ReadAll reader{provider};
    ReadAllFields fields;
    QDateTime now{QDate(2026, 3, 14), QTime(8, 0)};
};

} // namespace

TEST(ReadAllFile, NameAndLineLayout)
{
    EXPECT_TRUE(ResultFilePath("x/", QDate(2026, 3, 4)).endsWith("x/260304mb.txt"));
    EXPECT_EQ(FormatMeterLine(QDate(2026, 3, 4), 7, {}), "260304\t7\tFehlerBeimLesen");
    EXPECT_EQ(FormatMeterLine(QDate(2026, 3, 4), 7, {true, {"12", "kWh", "3", "m3"}}), "260304\t7\t12\tkWh\t3\tm3");
}

TEST(ReadAllSettings, DirectoryPortAndCountKeptInMbIni)
{
    InstallationDir dir;
    EXPECT_EQ(LoadReadAllFields().directory, "Slave.dat") << "shown while no directory is kept";
    ASSERT_TRUE(SaveDirectory("d:\\werte\\"));
    ASSERT_TRUE(SavePort("4"));
    ASSERT_TRUE(SaveCount("25"));
    const ReadAllFields fields = LoadReadAllFields();
    EXPECT_EQ(fields.directory, "d:\\werte\\");
    EXPECT_EQ(fields.port, "4");
    EXPECT_EQ(fields.count, "25");
    EXPECT_TRUE(dir.read("MB.INI").contains("[MB]"));
}

TEST(ReadAllTrigger, FirstTickOfANewMonthOnly)
{
    MonthTrigger trigger(3);
    EXPECT_FALSE(trigger.tick(3)) << "no read in the month the program started";
    EXPECT_TRUE(trigger.tick(4));
    EXPECT_FALSE(trigger.tick(4));
    EXPECT_TRUE(trigger.tick(5));
    EXPECT_TRUE(trigger.tick(4)) << "any change counts, also backwards (clock set back)";
}

TEST(ReadAllBus, ReadsEachAddressAndMarksTheMissingOne)
{
    Station s({meter(1, "12345678"), meter(3, "12345679")});
    ASSERT_FALSE(s.sim->device().isEmpty());
    s.fields.count = "3";
    const ReadAll::Summary summary = s.reader.readAll(s.fields);
    EXPECT_EQ(summary.read, 2);
    EXPECT_EQ(summary.failed, 1);
    EXPECT_TRUE(summary.written);
    const QStringList lines = s.lines("out/260314mb.txt");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("260314\t1\t1000\t")) << lines[0].toStdString();
    EXPECT_EQ(lines[0].split('\t').size(), 2 + 4) << "value and unit of each of the two records";
    EXPECT_EQ(lines[1], "260314\t2\tFehlerBeimLesen");
    EXPECT_TRUE(lines[2].startsWith("260314\t3\t1000\t"));
}

TEST(ReadAllBus, CountZeroReadsNothingAndTwoReadsAppend)
{
    Station s({meter(1, "12345678")});
    s.fields.count = "0";
    EXPECT_EQ(s.reader.readAll(s.fields).read, 0);
    EXPECT_FALSE(QFile::exists(s.dir.file("out/260314mb.txt")));

    s.fields.count = "1";
    s.reader.readAll(s.fields);
    s.now = s.now.addSecs(3600);
    s.reader.readAll(s.fields);
    EXPECT_EQ(s.lines("out/260314mb.txt").size(), 2) << "the second read of the day appends";
    s.now = s.now.addDays(1);
    s.reader.readAll(s.fields);
    EXPECT_EQ(s.lines("out/260315mb.txt").size(), 1);
}

TEST(ReadAllBus, PortWithoutLineGivesFailedLinesNotAbort)
{
    Station s({meter(1, "12345678")});
    s.fields.port = "9"; // no COM9 key
    const ReadAll::Summary summary = s.reader.readAll(s.fields);
    EXPECT_EQ(summary.failed, 2);
    EXPECT_FALSE(summary.portOpened);
    EXPECT_EQ(summary.error, "Fehler Open Com 9");
    EXPECT_EQ(s.lines("out/260314mb.txt"), QStringList({"260314\t1\tFehlerBeimLesen", "260314\t2\tFehlerBeimLesen"}));
    s.fields.port = "3";
    EXPECT_TRUE(s.reader.readAll(s.fields).portOpened) << "the next read opens its port afresh";
}

TEST(ReadAllBus, UnwritableDirectoryIsReported)
{
    Station s({meter(1, "12345678")});
    s.fields.directory = "missing/dir/";
    const ReadAll::Summary summary = s.reader.readAll(s.fields);
    EXPECT_FALSE(summary.written);
    EXPECT_FALSE(summary.error.isEmpty());
}
