#include "foundation/gridmodel.h"
#include "foundation/lasterror.h"
#include "logimport/ui/textfilegrid.h"
#include "testsupport.h"

using namespace kelvaro;
using namespace kelvaro::logimport;

TEST(TextFileGrid, SplitsLinesAsTheMasterWritesThem)
{
    test::InstallationDir dir;
    dir.write("day.log", "Zeitstempel;Z\xe4hlernummer;\r\n"
                         "02.03.24 10:00:00 ;\"12345678\";W\xe4rme\t1;1;5;0;12,5;kWh;\r\n"
                         "\r\n"
                         "   \r\n"
                         "02.03.24 10:15:00 ;12345678;;1;5;0;13;kWh;\r\n"
                         "02.03.24 10:30:00 ;1;2;3;4;5;6;7;8;9;10\n"
                         "kurz");
    GridModel grid;
    const auto result = FillFlexGrid_MBusLog(grid, ".\\day.log");
    ASSERT_TRUE(result.ok);
    EXPECT_FALSE(result.truncated);
    EXPECT_EQ(result.rows, 4) << "header and blank lines skipped";
    ASSERT_EQ(grid.rowCount(), 4);
    EXPECT_EQ(grid.rowCells(0).mid(0, 8), QStringList({"02.03.24 10:00:00 ", "12345678", "Wärme1", "1", "5", "0", "12,5", "kWh"}))
        << "quotes and tabs removed, Windows-1252 read, the closing separator opens no field";
    EXPECT_EQ(grid.cell(0, 8), "");
    EXPECT_EQ(grid.cell(1, 2), "") << "an empty field in the middle stays";
    EXPECT_EQ(grid.cell(1, 3), "1");
    EXPECT_EQ(grid.columnCount(), 11) << "a longer line widens the grid";
    EXPECT_EQ(grid.headers().first(), "Feld 0");
    EXPECT_EQ(grid.headers().last(), "Feld 10");
    EXPECT_EQ(grid.cell(2, 10), "10");
    EXPECT_EQ(grid.rowCells(3).first(), "kurz") << "a last line without line end";
}

TEST(TextFileGrid, HeaderSwitchTabsAndLimits)
{
    test::InstallationDir dir;
    dir.write("tabs.txt", "a\tb\t\"c\"\n1\t2\t3\n");
    GridModel grid;
    auto result = FillFlexGrid_MBusLog(grid, ".\\tabs.txt", "\t", false);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.rowCells(0), QStringList({"a", "b", "c"})) << "a tab separator keeps its tabs";
    EXPECT_EQ(grid.columnCount(), 3);

    result = FillFlexGrid_MBusLog(grid, ".\\tabs.txt", "\t", false, 1);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.truncated);
    EXPECT_EQ(grid.rowCount(), 1);

    result = FillFlexGrid_MBusLog(grid, ".\\missing.log");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(grid.rowCount(), 0) << "an earlier file's rows do not stay behind";
    EXPECT_TRUE(LastErrorText().contains("missing.log"));

    dir.write("empty.log", "");
    result = FillFlexGrid_MBusLog(grid, ".\\empty.log");
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(grid.columnCount(), 0);
}
