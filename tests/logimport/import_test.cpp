#include "foundation/paths.h"
#include "foundation/processlock.h"
#include "foundation/programlog.h"
#include "foundation/timeutil.h"
#include "importfixture.h"

#include <QDir>
#include <QFile>
#include <QTimer>

using namespace kelvaro;
using namespace kelvaro::logimport;
using namespace kelvaro::test;

namespace {

qint64 at(const char* text) { return DateToSeconds(QString::fromLatin1(text)); }

const QDate kDay1(2026, 3, 14);
const QDate kDay2(2026, 3, 15);

} // namespace

TEST(LogImport, DaysOfReadingsBecomeTheStoredIndexesRB6Files)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(7, 1, 3, "12345603", "W\xE4rme 3", 1, {{1, true}, {2, true}, {3, false}});
    f.writeLog(kDay1, "14.03.26 00:00:05 ;Datenholen gestartet am 14.03.2026 00:00:05\r\n"
                          + LogLine("14.03.26 00:15:00", "12345603", "W\xE4rme 3", 1, 3, 1, "100,5")
                          + LogLine("14.03.26 00:15:00", "12345603", "W\xE4rme 3", 1, 3, 2, "5")
                          + LogLine("14.03.26 00:15:00", "12345603", "W\xE4rme 3", 1, 3, 3, "-7,25")
                          + "14.03.26 00:15:02 ;8;Lesefehler;1;rc=-2\r\n"
                          + LogLine("14.03.26 00:30:00", "12345603", "W\xE4rme 3", 1, 3, 1, "101,75"));
    f.writeLog(kDay2, LogLine("15.03.26 00:15:00", "12345603", "W\xE4rme 3", 1, 3, 1, "102"));

    const ImportSummary s = LogImport(f.settings).importRange(kDay1, kDay2);
    EXPECT_FALSE(s.failed) << s.error.toStdString();
    EXPECT_EQ(s.filesRead, 2);
    EXPECT_EQ(s.linesRead, 9);
    EXPECT_EQ(s.valuesWritten, 4);
    EXPECT_EQ(s.skipped[int(SkipReason::Header)], 2);
    EXPECT_EQ(s.skipped[int(SkipReason::Event)], 2);
    EXPECT_EQ(s.skipped[int(SkipReason::NotStored)], 1);
    EXPECT_EQ(s.skippedTotal(), 5);

    const QList<RB6Element> slot1{{qint32(at("14.03.2026 00:15:00")), 100.5},
                                  {qint32(at("14.03.2026 00:30:00")), 101.75},
                                  {qint32(at("15.03.2026 00:15:00")), 102.0}};
    EXPECT_EQ(f.elements(7, 1), slot1);
    EXPECT_EQ(f.elements(7, 2), (QList<RB6Element>{{qint32(at("14.03.2026 00:15:00")), 5.0}}));
    EXPECT_EQ(f.rb6Files(), (QStringList{"000007001.ovx", "000007002.ovx"})) << "index 3 is not stored";
    EXPECT_EQ(QFileInfo(f.rb6(7, 1)).size(), qint64(6000) * kRB6BlockBytes) << "a new file has the master's size";
}

TEST(LogImport, RangeMovesTheOldFilesIntoADatedBackupFirst)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(7, 1, 3, "12345603", "W", 1, {{1, true}});
    QString name;
    ASSERT_EQ(RB6Append(DBPATH, 7, at("01.01.2026 10:00:00"), 1.0, 1, name), 0);
    ASSERT_EQ(RB6Append(DBPATH, 99, at("01.01.2026 10:00:00"), 2.0, 1, name = QString()), 0);
    const QByteArray old = f.dir.read(f.rb6(99, 1));
    f.writeLog(kDay1, LogLine("14.03.26 00:15:00", "12345603", "W", 1, 3, 1, "3"));

    const ImportSummary s = LogImport(f.settings).importRange(kDay1, kDay1);
    ASSERT_FALSE(s.failed) << s.error.toStdString();
    ASSERT_TRUE(s.backupDirectory.startsWith(".\\DB1320\\Z1320\\Sicherung-")) << s.backupDirectory.toStdString();
    const QString backup = "DB1320/Z1320/" + s.backupDirectory.section('\\', 3, 3) + "/";
    EXPECT_EQ(f.dir.read(backup + "000099001.ovx"), old) << "moved, not changed";
    EXPECT_TRUE(QFileInfo::exists(backup + "000007001.ovx"));
    EXPECT_EQ(f.rb6Files(), QStringList{"000007001.ovx"}) << "afterwards only what the range holds";
    EXPECT_EQ(f.elements(7, 1), (QList<RB6Element>{{qint32(at("14.03.2026 00:15:00")), 3.0}}));
    QFile log(NativePath(ProgramLogFileName()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("2 RB6-Dateien nach .\\DB1320\\Z1320\\Sicherung-"));

    // A single file moves nothing away.
    f.writeLog(kDay2, LogLine("15.03.26 00:15:00", "12345603", "W", 1, 3, 1, "4"));
    const ImportSummary one = LogImport(f.settings).importFile(f.logName(kDay2));
    EXPECT_TRUE(one.backupDirectory.isEmpty());
    EXPECT_EQ(f.elements(7, 1).size(), 2);
}

TEST(LogImport, EqualAddressesOnTwoPortsAndTheShortLayout)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(11, 1, 5, "11110005", "Port 1", 1, {{1, true}});
    f.addMeter(22, 2, 5, "22220005", "Port 2", 1, {{1, true}});
    f.addMeter(33, 2, 6, "33330006", "Short", 2, {{2, true}, {1, true}});
    f.writeLog(kDay1, LogLine("14.03.26 00:15:00", "11110005", "Port 1", 1, 5, 1, "1")
                          + LogLine("14.03.26 00:15:01", "22220005", "Port 2", 2, 5, 1, "2")
                          + LogLine("14.03.26 00:15:02", "22220005", "Port 2", 1, 5, 1, "9") // not on port 1
                          + LogLine("14.03.26 00:15:03", "99990005", "Port 2", 2, 5, 1, "9") // other identification
                          + "14.03.26 00:20:00 ;6;2;42,5\r\n"   // short: address 6, main index 2
                          + "14.03.26 00:20:00 ;6;1;43\r\n");   // index 1 is not its main index
    const ImportSummary s = LogImport(f.settings).importRange(kDay1, kDay1);
    ASSERT_FALSE(s.failed) << s.error.toStdString();
    EXPECT_EQ(f.elements(11, 1), (QList<RB6Element>{{qint32(at("14.03.2026 00:15:00")), 1.0}}));
    EXPECT_EQ(f.elements(22, 1), (QList<RB6Element>{{qint32(at("14.03.2026 00:15:01")), 2.0}}));
    EXPECT_EQ(f.elements(33, 2), (QList<RB6Element>{{qint32(at("14.03.2026 00:20:00")), 42.5}}));
    EXPECT_EQ(s.skipped[int(SkipReason::NoMeter)], 3);
    EXPECT_EQ(s.valuesWritten, 3);
}

TEST(LogImport, CutBrokenAndOddLinesAreCountedAndNeverImported)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(7, 1, 3, "12345603", "W", 1, {{1, true}, {2, true}});
    QByteArray content = "Zeitstempel;x\r\n";
    content += LogLine("14.03.26 00:15:00", "12345603", "W", 1, 3, 1, "10").toLatin1();
    content += "14.03.26 00:30:00 ;12345603;W;1;3;1;1\r\n";        // cut inside
    content += "14.03.26 0:30:00 ;12345603;W;1;3;1;99;kWh;\r\n"; // hour "0" is allowed ...
    content += "14.13.26 00:45:00 ;12345603;W;1;3;1;99;kWh;\r\n"; // ... month 13 is not
    content += "14.03.26 01:00:00 ;12345603;W;1;3;1;1.234,5;kWh;\r\n";
    content += QByteArray("14.03.26 01:15:00 ;12345603;W;1;3;1;9\0;kWh;\r\n", 45);
    content += LogLine("14.03.26 00:10:00", "12345603", "W", 1, 3, 1, "5").toLatin1(); // older than the last
    content += QByteArray(5 * 1024 * 1024, 'x') + "\r\n";                             // no line is that long
    content += LogLine("14.03.26 01:30:00", "12345603", "W", 1, 3, 2, "20").toLatin1();
    content += "14.03.26 01:45:00 ;12345603;W;1;3;2;2"; // the file ends inside a line
    QDir().mkpath("DB1320/MBusLog");
    f.dir.write(f.logName(kDay1), content);

    const ImportSummary s = LogImport(f.settings).importRange(kDay1, kDay1);
    ASSERT_FALSE(s.failed) << s.error.toStdString();
    EXPECT_EQ(s.linesRead, 11);
    EXPECT_EQ(s.skipped[int(SkipReason::Cut)], 2);
    EXPECT_EQ(s.skipped[int(SkipReason::BadTime)], 1);
    EXPECT_EQ(s.skipped[int(SkipReason::BadValue)], 1);
    EXPECT_EQ(s.skipped[int(SkipReason::BadBytes)], 2);
    EXPECT_EQ(s.skipped[int(SkipReason::Older)], 1);
    EXPECT_EQ(f.elements(7, 1), (QList<RB6Element>{{qint32(at("14.03.2026 00:15:00")), 10.0},
                                                   {qint32(at("14.03.2026 00:30:00")), 99.0}}));
    EXPECT_EQ(f.elements(7, 2), (QList<RB6Element>{{qint32(at("14.03.2026 01:30:00")), 20.0}}));
}

TEST(LogImport, AGluedLineIsSkippedAndTheSummaryNamesWhy)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(7, 1, 3, "12345603", "W", 1, {{1, true}});
    QByteArray content = LogLine("14.03.26 00:15:00", "12345603", "W", 1, 3, 1, "10").toLatin1();
    content += "14.03.26 00:30:00 ;12345603;W;1;3;1;1"; // cut, no CR LF
    content += LogLine("14.03.26 00:45:00", "12345603", "W", 1, 3, 1, "12").toLatin1();
    content += LogLine("14.03.26 01:00:00", "12345603", "W", 1, 3, 1, "13").toLatin1();
    f.writeLog(kDay1, QString::fromLatin1(content));

    const ImportSummary s = LogImport(f.settings).importRange(kDay1, kDay1);
    ASSERT_FALSE(s.failed) << s.error.toStdString();
    EXPECT_EQ(s.skipped[int(SkipReason::Glued)], 1);
    EXPECT_EQ(s.valuesWritten, 2);
    EXPECT_EQ(f.elements(7, 1), (QList<RB6Element>{{qint32(at("14.03.2026 00:15:00")), 10.0},
                                                   {qint32(at("14.03.2026 01:00:00")), 13.0}}))
        << "no 12 at 00:30, the cut line's time";
    EXPECT_FALSE(SkipReasonText(SkipReason::Glued).isEmpty());
}

TEST(LogImport, SingleFileFindsTheDataFileWhateverTheCaseOfItsName)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(1, 1, 3, "12345603", "W", 1, {{1, true}});
    // A file copied from a Windows station keeps its upper-case name.
    QString written;
    ASSERT_EQ(RB6Append(DBPATH, 1, at("14.03.2026 00:00:00"), 1.0, 1, written), 0);
    ASSERT_TRUE(QFile::rename(f.rb6(1, 1), "DB1320/Z1320/000001001.OVX"));
    f.writeLog(kDay1, LogLine("14.03.26 00:15:00", "12345603", "W", 1, 3, 1, "2"));

    const ImportSummary s = LogImport(f.settings).importFile(f.logName(kDay1));
    ASSERT_FALSE(s.failed) << s.error.toStdString();
    EXPECT_EQ(s.valuesWritten, 1);
    EXPECT_EQ(QDir("DB1320/Z1320").entryList({"*.ovx"}, QDir::Files), QStringList{"000001001.OVX"}) << "no second file";
    QList<RB6IndexedElement> read;
    ASSERT_TRUE(RB6ReadElements("DB1320/Z1320/000001001.OVX", read));
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[1].element, (RB6Element{qint32(at("14.03.2026 00:15:00")), 2.0}));

    // The master, storing next, finds the same file.
    ASSERT_EQ(RB6Append(DBPATH, 1, at("14.03.2026 00:30:00"), 3.0, 1, written = QString()), 0);
    EXPECT_EQ(QDir("DB1320/Z1320").entryList({"*.ovx"}, QDir::Files), QStringList{"000001001.OVX"});
}

TEST(LogImport, SingleFileThatDoesNotExistFails)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(1, 1, 3, "12345603", "W", 1, {{1, true}});
    for (const QString& file : {QStringLiteral(".\\DB1320\\MBusLog\\991231mb.log"), QStringLiteral("DB1320")}) {
        const ImportSummary s = LogImport(f.settings).importFile(file);
        EXPECT_TRUE(s.failed) << file.toStdString();
        EXPECT_TRUE(s.error.contains(file)) << s.error.toStdString();
        EXPECT_EQ(s.filesRead, 0);
    }
    EXPECT_FALSE(QDir("DB1320/Z1320").exists()) << "nothing prepared for a file that is not there";
}

TEST(LogImport, ARangeOfOneDayReadsOneFileAndAMissingDayIsCounted)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(7, 1, 3, "12345603", "W", 1, {{1, true}});
    f.writeLog(kDay1, LogLine("14.03.26 00:15:00", "12345603", "W", 1, 3, 1, "1"));
    f.writeLog(kDay2, LogLine("15.03.26 00:15:00", "12345603", "W", 1, 3, 1, "2"));
    QList<ImportProgress> seen;
    const ImportSummary s = LogImport(f.settings).importRange(kDay2, kDay2, [&seen](const ImportProgress& p) {
        seen << p;
        return true;
    });
    EXPECT_EQ(s.filesRead, 1);
    EXPECT_EQ(f.elements(7, 1), (QList<RB6Element>{{qint32(at("15.03.2026 00:15:00")), 2.0}}));
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last().day, kDay2);
    EXPECT_EQ(seen.last().dayCount, 1);
    EXPECT_EQ(seen.last().bytes, seen.last().fileBytes);

    const ImportSummary gap = LogImport(f.settings).importRange(kDay2, kDay2.addDays(1));
    EXPECT_EQ(gap.filesRead, 1);
    EXPECT_EQ(gap.filesMissing, 1);
    EXPECT_FALSE(gap.failed);
    EXPECT_TRUE(LogImport(f.settings).importRange(kDay2, kDay1).failed) << "the range ends before it starts";
}

TEST(LogImport, CancellingLeavesEveryFileWhole)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(7, 1, 3, "12345603", "W", 1, {{1, true}});
    QString lines;
    for (int k = 0; k < 40000; ++k)
        lines += LogLine(SecondsToDate(at("14.03.2026 00:00:00") + k).toString("dd.MM.yy hh:mm:ss"), "12345603", "W",
                         1, 3, 1, QString::number(k));
    f.writeLog(kDay1, lines);
    int calls = 0;
    const ImportSummary s = LogImport(f.settings).importRange(kDay1, kDay1, [&calls](const ImportProgress& p) {
        return ++calls < 3 || p.lines == 0;
    });
    EXPECT_TRUE(s.cancelled);
    const QList<RB6Element> written = f.elements(7, 1);
    EXPECT_GT(written.size(), 0);
    EXPECT_LT(written.size(), 40000);
    EXPECT_EQ(written.size(), s.valuesWritten) << "the header counts exactly what was imported";
    EXPECT_EQ(written.last().Wert, double(written.size() - 1));
}

TEST(LogImport, WaitsWhileAMasterHoldsTheDirectoryShared)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(7, 1, 3, "12345603", "W", 1, {{1, true}});
    f.writeLog(kDay1, LogLine("14.03.26 00:15:00", "12345603", "W", 1, 3, 1, "1"));
    QString name;
    ASSERT_EQ(RB6Append(DBPATH, 7, at("01.01.2026 10:00:00"), 1.0, 1, name), 0);
    LogImport import(f.settings);
    ProcessLock master(RB6DirectoryLockFile(import.rb6Directory()));
    ASSERT_TRUE(master.tryLock(ProcessLock::Mode::Shared));

    f.settings.lockWaitMs = 300;
    const ImportSummary refused = LogImport(f.settings).importRange(kDay1, kDay1);
    EXPECT_TRUE(refused.failed);
    EXPECT_TRUE(refused.error.contains("Master")) << refused.error.toStdString();
    EXPECT_EQ(f.rb6Files(), QStringList{"000007001.ovx"}) << "nothing moved while refused";

    const ImportSummary cancelled =
        LogImport(f.settings).importRange(kDay1, kDay1, [](const ImportProgress&) { return false; });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.failed);

    f.settings.lockWaitMs = 5000;
    QTimer::singleShot(300, [&master] { master.unlock(); });
    const ImportSummary waited = LogImport(f.settings).importRange(kDay1, kDay1);
    EXPECT_FALSE(waited.failed) << waited.error.toStdString();
    EXPECT_FALSE(master.isLocked());
    EXPECT_EQ(waited.valuesWritten, 1);
}

TEST(LogImport, DamagedRB6FileFailsTheImportWithItsReason)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.addMeter(7, 1, 3, "12345603", "W", 1, {{1, true}});
    QDir().mkpath("DB1320/Z1320");
    f.dir.write(f.rb6(7, 1), QByteArray(300, '\x11'));
    f.writeLog(kDay1, LogLine("14.03.26 00:15:00", "12345603", "W", 1, 3, 1, "1"));
    const ImportSummary s = LogImport(f.settings).importFile(f.logName(kDay1));
    EXPECT_TRUE(s.failed);
    EXPECT_TRUE(s.error.contains("000007001.ovx")) << s.error.toStdString();
    EXPECT_EQ(f.dir.read(f.rb6(7, 1)), QByteArray(300, '\x11')) << "a file this system did not write is left alone";
}

TEST(DailyValues, LastValuePerIndexAndTimeStampOfEachDay)
{
    ImportFixture f;
    ASSERT_TRUE(f.ready);
    f.writeLog(kDay1, LogLine("14.03.26 00:15:00", "1", "W", 1, 3, 1, "10,5")
                          + LogLine("14.03.26 00:15:00", "2", "X", 1, 4, 1, "99")
                          + LogLine("14.03.26 00:15:00", "1", "W", 1, 3, 0, "7")
                          + LogLine("14.03.26 10:15:00", "1", "W", 1, 3, 1, "11,25")
                          + LogLine("14.03.26 10:15:00", "1", "W", 1, 3, 9, "1") // beyond index 8
                          + "14.03.26 11:00:00 ;3;1;12\r\n");                    // short layout
    QDir().mkpath("DB1320/MBusLog");
    f.dir.write(f.logName(kDay2), QByteArray());
    const QList<DailyValuesRow> rows = DailyValues(f.settings, kDay1, kDay2.addDays(1), 3);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].day, kDay1);
    EXPECT_EQ(rows[0].timeStamp, "14.03.26 11:00:00");
    EXPECT_EQ(rows[0].values, (QStringList{"7", "12", "", "", "", "", "", "", ""}));
    EXPECT_EQ(rows[1].values, QStringList(9, QString()));
    EXPECT_TRUE(rows[1].timeStamp.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(f.logName(kDay2))) << "an empty day file is deleted";
    EXPECT_EQ(rows[2].values, QStringList(9, QString())) << "a missing day";
}
