#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/filefaults.h"
#include "foundation/ini.h"
#include "foundation/timeutil.h"
#include "master/indexexport.h"
#include "master/stationsettings.h"
#include "testsupport.h"

#include <gtest/gtest.h>

using namespace kelvaro;
using namespace kelvaro::master;
using namespace kelvaro::test;

namespace {

const QDateTime kCycle(QDate(2026, 12, 7), QTime(10, 15, 0));

MeterRecord ReadMeter(qint32 lznr, const QString& name, const QList<double>& values, const QDateTime& at = kCycle)
{
    MeterRecord m;
    m.LZNR = lznr;
    m.Zname = name;
    m.lastRead = LastRead::Ok;
    m.ValueCount = static_cast<quint8>(values.size());
    for (int i = 0; i < values.size(); ++i) {
        mbus::ValueEntry& e = m.ValueTable[static_cast<std::size_t>(i + 1)];
        e.value = values[i];
        e.unitText = mbus::FixedText15(i == 0 ? QStringLiteral("Wh") : QStringLiteral("m³"));
        e.readingTime = static_cast<qint32>(DateToSeconds(at.addSecs(-3)));
    }
    return m;
}

QStringList Lines(const QByteArray& bytes)
{
    QStringList lines = FromWin1252(bytes).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

// The line: reading time, LZNR, meter name, index, the index's text, German
// value, unit; Windows-1252 with CR LF, a field per tab. A failed meter, and
// an index the reading did not carry, give the read-error mark instead of a
// value, with the cycle's time; meters of other ports are not exported.
TEST(IndexExport, WritesOneWholeLinePerExportedIndexAndMarksFailedReadings)
{
    InstallationDir dir;
    IndexExportSettings settings{true, QStringLiteral(".\\Export\\"), false};
    MeterRecord good = ReadMeter(7, QStringLiteral("Wärme\tHaus 1"), {1234.5, 0.25});
    MeterRecord failed = ReadMeter(8, QStringLiteral("Kälte"), {99});
    failed.lastRead = LastRead::Failed;
    const QList<ExportedIndex> indexes{{7, 1, QStringLiteral("1-1:1.8.0")},
                                       {7, 2, QStringLiteral("Volumen Ä")},
                                       {7, 3, QStringLiteral("nicht im Telegramm")},
                                       {8, 1, QStringLiteral("Kälte")},
                                       {9, 1, QStringLiteral("anderer Port")}};
    IndexExport exporter;
    ASSERT_EQ(exporter.exportCycle(settings, indexes, {&good, &failed}, kCycle), 0);

    const QByteArray bytes = dir.read(QStringLiteral("Export/261207mb.txt"));
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_TRUE(bytes.contains("W\xe4rme Haus 1")) << "Windows-1252, and a tab in a text does not split the field";
    EXPECT_EQ(Lines(bytes), (QStringList{"07.12.26 10:14:57\t7\tWärme Haus 1\t1\t1-1:1.8.0\t1234,5\tWh",
                                         "07.12.26 10:14:57\t7\tWärme Haus 1\t2\tVolumen Ä\t0,25\tm³",
                                         "07.12.26 10:15:00\t7\tWärme Haus 1\t3\tnicht im Telegramm\tFehlerBeimLesen\t",
                                         "07.12.26 10:15:00\t8\tKälte\t1\tKälte\tFehlerBeimLesen\t"}));
}

// "VorWert": an eighth field with the value of the meter's index at its
// previous exported reading; a failed reading in between is not a value.
TEST(IndexExport, PreviousValueFieldCarriesTheLastGoodValueOnly)
{
    InstallationDir dir;
    IndexExportSettings settings{true, QStringLiteral("export.txt"), true};
    const QList<ExportedIndex> indexes{{7, 1, QStringLiteral("Energie")}};
    IndexExport exporter;
    MeterRecord m = ReadMeter(7, QStringLiteral("Z7"), {10});
    ASSERT_EQ(exporter.exportCycle(settings, indexes, {&m}, kCycle), 0);
    m.lastRead = LastRead::Failed;
    ASSERT_EQ(exporter.exportCycle(settings, indexes, {&m}, kCycle.addSecs(60)), 0);
    m = ReadMeter(7, QStringLiteral("Z7"), {12.5}, kCycle.addSecs(120));
    ASSERT_EQ(exporter.exportCycle(settings, indexes, {&m}, kCycle.addSecs(120)), 0);

    EXPECT_EQ(Lines(dir.read("export.txt")), (QStringList{"07.12.26 10:14:57\t7\tZ7\t1\tEnergie\t10\tWh\t",
                                                         "07.12.26 10:16:00\t7\tZ7\t1\tEnergie\tFehlerBeimLesen\t\t10",
                                                         "07.12.26 10:16:57\t7\tZ7\t1\tEnergie\t12,5\tWh\t10"}));
}

TEST(IndexExport, TargetIsAFileOrADirectoryWithDayFilesByTheReadingsDate)
{
    InstallationDir dir;
    QDir().mkpath(dir.file("Ausgabe"));
    EXPECT_EQ(IndexExportFileName(QStringLiteral("C:\\Export\\index.txt"), kCycle), "C:\\Export\\index.txt");
    EXPECT_EQ(IndexExportFileName(QStringLiteral(".\\Neu\\"), kCycle), ".\\Neu\\261207mb.txt");
    EXPECT_EQ(IndexExportFileName(QStringLiteral("./Neu/"), kCycle), "./Neu/261207mb.txt");
    EXPECT_EQ(IndexExportFileName(QStringLiteral(".\\Ausgabe"), kCycle), ".\\Ausgabe\\261207mb.txt")
        << "an existing directory without its final separator";
    EXPECT_EQ(IndexExportFileName(QStringLiteral(".\\Ausgabe\\"), kCycle.addDays(1)), ".\\Ausgabe\\261208mb.txt");

    // A cycle over midnight writes each line into the day file of its reading.
    IndexExportSettings settings{true, QStringLiteral(".\\Ausgabe\\"), false};
    const QDateTime midnight(QDate(2026, 12, 8), QTime(0, 0, 1));
    const MeterRecord before = ReadMeter(1, "A", {1}, midnight.addSecs(-10));
    const MeterRecord after = ReadMeter(2, "B", {2}, midnight.addSecs(10));
    IndexExport exporter;
    ASSERT_EQ(exporter.exportCycle(settings, {{1, 1, "x"}, {2, 1, "y"}}, {&before, &after}, midnight), 0);
    EXPECT_EQ(Lines(dir.read("Ausgabe/261207mb.txt")).size(), 1);
    EXPECT_EQ(Lines(dir.read("Ausgabe/261208mb.txt")).size(), 1);
}

TEST(IndexExport, SettingsAreReadAgainAtEachCycleAndAnEmptyTargetMeansTheDataDirectory)
{
    InstallationDir dir;
    WriteIniString("OVX", "OVXMandant", "200", kOvxIni);
    StartClient(QString());
    StationSettings s = StationSettings::load(1);
    EXPECT_FALSE(s.indexExport.on);
    EXPECT_EQ(s.indexExport.target, DatenPath);
    EXPECT_FALSE(s.store[StoreSwitch::MBusLog]);

    ASSERT_TRUE(WriteIniString("200MBus", "MitIndexExport", "1", kOvxIni));
    ASSERT_TRUE(WriteIniString("200", "MBusExportIndexDatei", "D:\\Export\\idx.txt", kOvxIni));
    ASSERT_TRUE(WriteIniString("200", "VorWert", "1", kOvxIni));
    ASSERT_TRUE(WriteIniString("MB200", "MBSpeichern1", "1", kOvxIni));
    s.reloadCycleKeys();
    EXPECT_TRUE(s.indexExport.on);
    EXPECT_EQ(s.indexExport.target, "D:\\Export\\idx.txt");
    EXPECT_TRUE(s.indexExport.previousValue);
    EXPECT_TRUE(s.store[StoreSwitch::MBusLog]);

    ASSERT_TRUE(WriteIniString("200MBus", "MitIndexExport", "0", kOvxIni));
    ASSERT_TRUE(WriteIniString("MB200", "MBSpeichern1", "0", kOvxIni));
    s.reloadCycleKeys();
    EXPECT_FALSE(s.indexExport.on);
    EXPECT_FALSE(s.store[StoreSwitch::MBusLog]);
    ResetClient();
}

// A disk that fills up in the middle of a cycle: the lines written before
// stay as they are, the line that did not fit leaves no fragment, and the
// failure is counted.
TEST(IndexExport, AFullDiskLosesNoLineAlreadyWrittenAndLeavesNoTornLine)
{
    InstallationDir dir;
    const QByteArray earlier = "06.12.26 23:59:00\t7\tZ7\t1\tEnergie\t1\tWh\r\n";
    dir.write("export.txt", earlier);
    const QString path = dir.file("export.txt");
    const int code = RunInChild([&] {
        IndexExportSettings settings{true, path, false};
        MeterRecord m = ReadMeter(7, QStringLiteral("Z7"), {1234.5, 0.25});
        IndexExport exporter;
        // Room for the first line of this cycle and part of the second.
        if (!LimitFileSize(static_cast<rlim_t>(earlier.size() * 2 + 10)))
            return 90;
        return exporter.exportCycle(settings, {{7, 1, "Energie"}, {7, 2, "Volumen"}}, {&m}, kCycle);
    });
    EXPECT_EQ(code, 1) << "one line did not fit";
    const QByteArray after = dir.read("export.txt");
    ASSERT_TRUE(after.startsWith(earlier));
    EXPECT_TRUE(after.endsWith("\r\n"));
    const QStringList lines = Lines(after);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], "07.12.26 10:14:57\t7\tZ7\t1\tEnergie\t1234,5\tWh");
}

// A switch set in the station's own panel whose write failed is not undone
// by the file at the next cycle; a change in the file is taken up.
TEST(IndexExport, TheLogSwitchFollowsTheFileOnlyWhenTheFileChanged)
{
    InstallationDir dir;
    WriteIniString("OVX", "OVXMandant", "200", kOvxIni);
    ASSERT_TRUE(WriteIniString("MB200", "MBSpeichern1", "1", kOvxIni));
    StartClient(QString());
    StationSettings s = StationSettings::load(1);
    ASSERT_TRUE(s.store[StoreSwitch::MBusLog]);
    s.store.set(StoreSwitch::MBusLog, false);
    s.reloadCycleKeys();
    EXPECT_FALSE(s.store[StoreSwitch::MBusLog]);
    ASSERT_TRUE(WriteIniString("MB200", "MBSpeichern1", "0", kOvxIni));
    ASSERT_TRUE(WriteIniString("MB200", "MBSpeichern1", "1", kOvxIni));
    s.reloadCycleKeys();
    EXPECT_FALSE(s.store[StoreSwitch::MBusLog]) << "the text is what it was when last read";
    ASSERT_TRUE(WriteIniString("MB200", "MBSpeichern1", "01", kOvxIni));
    s.reloadCycleKeys();
    EXPECT_TRUE(s.store[StoreSwitch::MBusLog]);
    ResetClient();
}
