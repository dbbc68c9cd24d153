#include "foundation/cp1252.h"
#include "foundation/filefaults.h"
#include "testbench/foundmeterlist.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace kelvaro;
using namespace kelvaro::testbench;
using kelvaro::test::InstallationDir;

namespace {

const QDateTime kNow(QDate(2024, 5, 17), QTime(14, 30, 59));

// A found-meter grid as the searches leave it: every tried address has its
// number, found meters their cells; the baud cell collects the rates.
QList<QStringList> searchedGrid()
{
    QList<QStringList> grid;
    for (int a = 0; a < 8; ++a)
        grid << QStringList{QString::number(a), "", "", "", "", "", "", "", "", ""};
    grid[1] = {"1", "12345601", "PAD", "1", "Wärme", "3", "2400;300;", "", "4", "1057"};
    grid[5] = {"5", "22334455", "LUG", "7", "Strom", "12", "9600;", "", "2", "3303"};
    grid << QStringList{"253", "77777778", "ABB", "2", "Wasser", "4", "9600;2400", "1057"}; // secondary search: 8 cells
    return grid;
}

QList<QStringList> meterRowsOf(const QList<QStringList>& grid)
{
    QList<QStringList> rows;
    for (QStringList row : grid) {
        if (!IsMeterRow(row))
            continue;
        while (row.size() < kFoundMeterCells)
            row << QString();
        rows << row;
    }
    return rows;
}

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

} // namespace

TEST(FoundMeterList, SavedListReadsBackIntoTheSameRows)
{
    InstallationDir dir;
    const ListSaveResult saved = SaveFoundMeterList(searchedGrid(), dir.path(), kNow);
    ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    EXPECT_EQ(saved.fileName, "MBTestCom2405171430.txt");
    EXPECT_EQ(saved.meterListName, "MBZählerliste2405171430.txt");
    EXPECT_EQ(saved.message, "\\Tabelle wurde gespeichert : MBTestCom2405171430.txt");
    EXPECT_EQ(filesIn(dir.path()), (QStringList{"MBTestCom2405171430.txt", "MBZählerliste2405171430.txt"}));

    const ListReadResult read = ReadFoundMeterList(dir.file(saved.fileName));
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(read.rows, meterRowsOf(searchedGrid())) << "addresses without a meter are not saved";
    ASSERT_EQ(read.rows.size(), 3);
    EXPECT_EQ(read.rows[0][6], "2400;300;");
}

TEST(FoundMeterList, FilesAreWindows1252WithCrLfAndQuotedBaudCells)
{
    InstallationDir dir;
    ASSERT_TRUE(SaveFoundMeterList(searchedGrid(), dir.path(), kNow).ok);
    const QByteArray list = dir.read("MBTestCom2405171430.txt");
    EXPECT_TRUE(list.startsWith("Pri;ID;Herst.;Vers.;Medium;AnzDat.;Baudrate;ID Long;Medium Long;Herst.Int\r\n"));
    EXPECT_TRUE(list.contains("1;12345601;PAD;1;W\xe4rme;3;\"2400;300;\";;4;1057\r\n")) << list.toStdString();
    EXPECT_FALSE(list.contains("\n\n"));
    EXPECT_EQ(list.count("\r\n"), 4);

    const QByteArray meters = dir.read("MBZählerliste2405171430.txt");
    EXPECT_EQ(FromWin1252(meters), "MBAdr;ZNr;ZName;Hersteller;MB_Version;MB_Medium;MBBaud\r\n"
                                   "1;12345601;12345601_PAD;PAD;1;Wärme;2400\r\n"
                                   "5;22334455;22334455_LUG;LUG;7;Strom;9600\r\n"
                                   "253;77777778;77777778_ABB;ABB;2;Wasser;9600\r\n");
}

TEST(FoundMeterList, SavesInTheSameMinuteNeverReplaceASavedList)
{
    InstallationDir dir;
    QList<QStringList> second = searchedGrid();
    second[5][1] = "99887766";
    const ListSaveResult first = SaveFoundMeterList(searchedGrid(), dir.path(), kNow);
    const ListSaveResult again = SaveFoundMeterList(second, dir.path(), kNow.addSecs(-30)); // the same minute
    ASSERT_TRUE(first.ok && again.ok) << again.message.toStdString();
    EXPECT_EQ(again.fileName, "MBTestCom2405171430_2.txt");
    EXPECT_EQ(again.meterListName, "MBZählerliste2405171430_2.txt");
    EXPECT_EQ(again.message, "\\Tabelle wurde gespeichert : MBTestCom2405171430_2.txt");
    EXPECT_EQ(ReadFoundMeterList(dir.file(first.fileName)).rows, meterRowsOf(searchedGrid())) << "the first list kept";
    EXPECT_EQ(ReadFoundMeterList(dir.file(again.fileName)).rows, meterRowsOf(second));
    EXPECT_EQ(PortFromTestFileName(again.fileName), 0) << "the suffix is no port";

    // A meter list left alone under the next name is not replaced either:
    // both files of a save share their name.
    dir.write("MBZählerliste2405171430_3.txt", "von Hand");
    const ListSaveResult third = SaveFoundMeterList(second, dir.path(), kNow);
    ASSERT_TRUE(third.ok) << third.message.toStdString();
    EXPECT_EQ(third.fileName, "MBTestCom2405171430_4.txt");
    EXPECT_EQ(dir.read("MBZählerliste2405171430_3.txt"), "von Hand");
    EXPECT_FALSE(QFile::exists(dir.file("MBTestCom2405171430_3.txt")));
    EXPECT_EQ(TestFiles(dir.path()).size(), 3);
}

TEST(FoundMeterList, ReadingToleratesHandWrittenAndOlderFiles)
{
    InstallationDir dir;
    dir.write("testcom2.txt", "\r\n"
                              "7;44556677;ELS\r\n"       // trailing cells missing
                              "\r\n"
                              "8;44556678;ELS;3;Gas;5;2400;300;;;4;1\n" // unquoted baud cell, LF only
                              "9\r\n"                    // an address without a meter
                              "10;\"Z\"\"1\";x\r\n");
    const ListReadResult read = ReadFoundMeterList(dir.file("testcom2.txt"));
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.rows.size(), 3);
    EXPECT_EQ(read.rows[0], (QStringList{"7", "44556677", "ELS", "", "", "", "", "", "", ""}));
    EXPECT_EQ(read.rows[1], (QStringList{"8", "44556678", "ELS", "3", "Gas", "5", "2400;300;", "", "4", "1"}));
    EXPECT_EQ(read.rows[2][1], "Z\"1");

    const ListReadResult missing = ReadFoundMeterList(dir.file("nothing.txt"));
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.error.contains("nothing.txt"));
}

TEST(FoundMeterList, TestFilesAndThePortInTheirNames)
{
    InstallationDir dir;
    for (const char* name : {"MBTestCom3.txt", "testcom12.TXT", "MBZählerliste2405171430.txt", "TestCom4.log",
                             "alt_TESTCOM.txt"})
        dir.write(name, "");
    EXPECT_EQ(TestFiles(dir.path()), (QStringList{"MBTestCom3.txt", "alt_TESTCOM.txt", "testcom12.TXT"}));

    EXPECT_EQ(PortFromTestFileName("MBTestCom3.txt"), 3);
    EXPECT_EQ(PortFromTestFileName("testcom12.TXT"), 12);
    EXPECT_EQ(PortFromTestFileName("MBTESTCOM7.txt"), 7);
    EXPECT_EQ(PortFromTestFileName("/home/tech/MBTestCom5.txt"), 5);
    EXPECT_EQ(PortFromTestFileName(".\\Listen\\MBTestCom6.txt"), 6);
    EXPECT_EQ(PortFromTestFileName("alt_TESTCOM.txt"), 0) << "nothing between O and the dot";
    EXPECT_EQ(PortFromTestFileName("MBTestCom2405171430.txt"), 0) << "a date stamp is no port";
    EXPECT_EQ(PortFromTestFileName("MBTestCom3a.txt"), 0);
    EXPECT_EQ(PortFromTestFileName("MBTestCom0.txt"), 0);
    EXPECT_EQ(PortFromTestFileName("liste.txt"), 0);
    EXPECT_EQ(PortFromTestFileName("testcom3"), 0) << "no dot";
}

TEST(FoundMeterList, AFailedSaveLeavesNoFile)
{
    InstallationDir dir;
    QList<QStringList> many = searchedGrid();
    for (int a = 10; a < 200; ++a)
        many << QStringList{QString::number(a), QString::number(10000000 + a), "PAD", "1", "Wärme", "3", "2400;"};

    // Full disk: writes fail part-way.
    const QString full = dir.file("full");
    QDir().mkpath(full);
    const int code = test::RunInChild([&] {
        if (!test::LimitFileSize(2048))
            return 2;
        const ListSaveResult r = SaveFoundMeterList(many, full, kNow);
        return r.ok ? 1 : 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(filesIn(full).isEmpty()) << filesIn(full).join(", ").toStdString();

    // A directory the user may not write into.
    const QString locked = dir.file("locked");
    QDir().mkpath(locked);
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                      | QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    EXPECT_EQ(test::RunAsUnprivileged(dir.path(), [&] {
                  const ListSaveResult r = SaveFoundMeterList(many, locked, kNow);
                  return r.ok || !r.message.contains("MBTestCom2405171430.txt") ? 1 : 0;
              }),
              0);
    EXPECT_TRUE(filesIn(locked).isEmpty());

    // The second file cannot be written: the first one goes again. The meter
    // list repeats the long manufacturer cell, so it alone passes the limit.
    QList<QStringList> longNames = many;
    for (QStringList& row : longNames)
        if (row.size() > 2 && !row[2].isEmpty())
            row[2] = QString(300, 'M');
    const QString blocked = dir.file("blocked");
    QDir().mkpath(blocked);
    const int second = test::RunInChild([&] {
        if (!test::LimitFileSize(90000))
            return 2;
        const ListSaveResult r = SaveFoundMeterList(longNames, blocked, kNow);
        return !r.ok && r.message.contains("MBZählerliste2405171430.txt") ? 0 : 1;
    });
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(filesIn(blocked).isEmpty()) << filesIn(blocked).join(", ").toStdString();

    // A name taken by something that is no list is left alone.
    QDir().mkpath(blocked + "/MBZählerliste2405171430.txt");
    const ListSaveResult r = SaveFoundMeterList(many, blocked, kNow);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.meterListName, "MBZählerliste2405171430_2.txt");
    EXPECT_TRUE(QFileInfo(blocked + "/MBZählerliste2405171430.txt").isDir());
}
