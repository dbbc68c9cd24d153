#include "foundation/clientpaths.h"
#include "foundation/gridmodel.h"
#include "foundation/lasterror.h"
#include "foundation/timeutil.h"
#include "logimport/rb6tools.h"
#include "storage/rb6file.h"
#include "testsupport.h"

#include <QFile>
#include <QFileInfo>

using namespace kelvaro;
using namespace kelvaro::logimport;

namespace {

qint64 secondsAt(const char* text) { return DateToSeconds(QString::fromLatin1(text)); }

// A meter file written the way the master writes it: a reading every 15
// minutes on 02.03.2024 from 22:00 to 03.03.2024 01:00, the register rising
// by 0,5 per reading.
struct Rb6Tools : ::testing::Test {
    test::InstallationDir dir;
    QString name;
    void SetUp() override
    {
        Mandant = QStringLiteral("1320");
        DBPATH = QStringLiteral(".\\DB1320\\");
        for (int k = 0; k <= 12; ++k)
            ASSERT_EQ(RB6Append(DBPATH, 7, secondsAt("02.03.2024 22:00") + k * 900, 100.0 + 0.5 * k, 1, name), 0)
                << LastErrorText().toStdString();
    }
};

} // namespace

TEST_F(Rb6Tools, HeaderInfoOfAMasterFile)
{
    EXPECT_EQ(name, ".\\DB1320\\Z1320\\000007001.ovx");
    RB6FileInfo info;
    ASSERT_TRUE(RB6ReadInfo(name, info)) << LastErrorText().toStdString();
    EXPECT_TRUE(info.problem.isEmpty());
    EXPECT_EQ(info.fileSize, qint64(kRB6MasterBlockCount) * kRB6BlockBytes);
    EXPECT_EQ(info.valueCount, 13);
    EXPECT_EQ(info.lastIndex, 22);
    EXPECT_EQ(info.capacity, 600000);
    EXPECT_EQ(info.firstTime, secondsAt("02.03.2024 22:00"));
    EXPECT_EQ(info.lastTime, secondsAt("03.03.2024 01:00"));
    EXPECT_EQ(InfoSummary(info),
              "Größe 7272000 Bytes; 13 Werte vom 02.03.2024 22:00:00 bis 03.03.2024 01:00:00; Kapazität 600000 Elemente");

    GridModel grid;
    FillInfoGrid(grid, info);
    ASSERT_EQ(grid.rowCount(), 11);
    EXPECT_EQ(grid.rowCells(0), QStringList({"1", "1", "1", "Kennung (1; 1)"}));
    EXPECT_EQ(grid.cell(1, 1), QString::number(secondsAt("03.03.2024 01:00")));
    EXPECT_EQ(grid.cell(1, 2), "22");
    EXPECT_EQ(grid.cell(1, 3), "letztes Element: Index 22, 03.03.2024 01:00:00");
    EXPECT_EQ(grid.cell(4, 1), "600000");
}

TEST_F(Rb6Tools, InfoOfDamagedAndMissingFiles)
{
    RB6FileInfo info;
    EXPECT_FALSE(RB6ReadInfo(".\\DB1320\\Z1320\\000099001.ovx", info));
    EXPECT_TRUE(LastErrorText().contains("000099001.ovx"));

    dir.write("short.ovx", QByteArray(40, '\1'));
    EXPECT_FALSE(RB6ReadInfo(".\\short.ovx", info)) << "shorter than a header";

    dir.write("foreign.ovx", QByteArray(2000, '\0'));
    ASSERT_TRUE(RB6ReadInfo(".\\foreign.ovx", info));
    EXPECT_FALSE(info.problem.isEmpty());
    EXPECT_EQ(info.valueCount, 0);
    EXPECT_TRUE(InfoSummary(info).contains("Kopf beschädigt"));
    RB6Position position;
    EXPECT_FALSE(RB6SearchPosition(".\\foreign.ovx", 0, position)) << "no search over a header we cannot trust";
}

TEST_F(Rb6Tools, PositionSearch)
{
    RB6Position p;
    ASSERT_TRUE(RB6SearchPosition(name, secondsAt("02.03.2024 22:00"), p));
    EXPECT_TRUE(p.found && p.exact);
    EXPECT_EQ(p.index, 10);

    ASSERT_TRUE(RB6SearchPosition(name, secondsAt("02.03.2024 23:50"), p));
    EXPECT_TRUE(p.found);
    EXPECT_FALSE(p.exact);
    EXPECT_EQ(p.index, 18) << "the 23:00 reading is element 14; 00:00 is element 18";
    EXPECT_EQ(p.element.Tm, secondsAt("03.03.2024 00:00"));
    EXPECT_EQ(p.element.Wert, 104.0);

    ASSERT_TRUE(RB6SearchPosition(name, secondsAt("01.01.2000 00:00"), p));
    EXPECT_EQ(p.index, 10);
    ASSERT_TRUE(RB6SearchPosition(name, secondsAt("03.03.2024 01:00") + 1, p));
    EXPECT_FALSE(p.found);
    EXPECT_EQ(p.index, 23) << "where the next reading will go";
}

TEST_F(Rb6Tools, RangeAndDayGrids)
{
    GridModel range;
    ASSERT_TRUE(FillRangeGrid(range, name, secondsAt("02.03.2024 23:30"), secondsAt("03.03.2024 00:15")));
    ASSERT_EQ(range.rowCount(), 4);
    EXPECT_EQ(range.rowCells(0), QStringList({"16", QString::number(secondsAt("02.03.2024 23:30")), "02.03.2024 23:30:00", "103"}));
    EXPECT_EQ(range.cell(3, 2), "03.03.2024 00:15:00");

    GridModel day;
    ASSERT_TRUE(FillDayGrid(day, name, QDate(2024, 3, 3)));
    EXPECT_EQ(day.headers(), QStringList({"Peak-Nr", "Tm", "Time", "Diff-Tm", "Verb", "Z-Stand"}));
    ASSERT_EQ(day.rowCount(), 5) << "00:00 to 01:00";
    EXPECT_EQ(day.rowCells(0), QStringList({"18", QString::number(secondsAt("03.03.2024 00:00")), "03.03.2024 00:00:00", "900",
                                            "0,5", "104"}))
        << "the first element of the day measured against the last of the day before";
    EXPECT_EQ(day.cell(4, 5), "106");

    ASSERT_TRUE(FillDayGrid(day, name, QDate(2024, 3, 2)));
    ASSERT_EQ(day.rowCount(), 8) << "22:00 to 23:45, not midnight";
    EXPECT_EQ(day.cell(0, 3), "") << "nothing before the file's first element";
    EXPECT_EQ(day.cell(0, 4), "");
    EXPECT_EQ(day.cell(7, 2), "02.03.2024 23:45:00");

    ASSERT_TRUE(FillDayGrid(day, name, QDate(2024, 3, 4)));
    EXPECT_EQ(day.rowCount(), 0);
    EXPECT_FALSE(FillDayGrid(day, ".\\DB1320\\Z1320\\000099001.ovx", QDate(2024, 3, 3)));
}

TEST_F(Rb6Tools, TestFileIsWrittenButNeverOverAMetersFile)
{
    const QString testFile = QStringLiteral(".\\DB1320\\Z1320\\999999001.ovx");
    ASSERT_EQ(RB6CreateTestFile(testFile, secondsAt("01.01.2024 00:15"), 96 * 2), 0) << LastErrorText().toStdString();
    RB6FileInfo info;
    ASSERT_TRUE(RB6ReadInfo(testFile, info));
    EXPECT_EQ(info.valueCount, 192);
    EXPECT_EQ(info.lastTime, secondsAt("03.01.2024 00:00"));
    GridModel day;
    ASSERT_TRUE(FillDayGrid(day, testFile, QDate(2024, 1, 2)));
    ASSERT_EQ(day.rowCount(), 96);
    for (int r = 0; r < day.rowCount(); ++r)
        ASSERT_EQ(day.cell(r, 3), "900");

    const QByteArray before = dir.read("DB1320/Z1320/000007001.ovx");
    EXPECT_EQ(RB6CreateTestFile(name, secondsAt("01.01.2025 00:00"), 10), kTestFileExists);
    EXPECT_EQ(dir.read("DB1320/Z1320/000007001.ovx"), before);

    EXPECT_EQ(TestFileReport(0, 1.25), "rc= 0 in 1,250 Sec");
    EXPECT_EQ(TestFileReport(-3, 0), "rc= -3 in 0,000 Sec");
}

TEST(Rb6Keys, NameTheMetersFile)
{
    test::InstallationDir dir;
    Mandant = QStringLiteral("1320");
    EXPECT_EQ(RB6FileForKey(".\\DB1320\\", "7"), ".\\DB1320\\Z1320\\000007001.ovx");
    EXPECT_EQ(RB6FileForKey(".\\DB1320\\", " 12 / 3 "), ".\\DB1320\\Z1320\\000012003.ovx");
    EXPECT_EQ(RB6FileForKey(".\\DB1320\\", "12;0"), ".\\DB1320\\Z1320\\000012000.ovx");
    EXPECT_EQ(RB6FileForKey(".\\DB1320\\", ""), "");
    EXPECT_EQ(RB6FileForKey(".\\DB1320\\", "12/x"), "");
    EXPECT_EQ(RB6FileForKey(".\\DB1320\\", "-4"), "");
}
