// M-Bus log lines against full disks and several appending processes.
#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/filefaults.h"
#include "foundation/lasterror.h"
#include "storage/mbuslog.h"
#include "testsupport.h"

#include <QRegularExpression>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

const QDateTime kMorning(QDate(2026, 12, 8), QTime(10, 41, 41), Qt::UTC);

QByteArray logLine(const QDateTime& at, const QString& text)
{
    return ToWin1252(at.toString("dd.MM.yy hh:mm:ss ;") + text) + "\r\n";
}

QByteArray headerLine() { return ToWin1252(kMBusLogHeader) + "\r\n"; }

QString reading(int n) { return MBusReadingLogText("12345604", "Wärme", 1, 4, n, 1234.5 + n, "kWh"); }

} // namespace

TEST(MBusLogFullDisk, ALineCutShortIsTakenBackAndTheNextLineStartsClean)
{
    InstallationDir dir;
    DBPATH = QStringLiteral(".\\DB200\\");
    ASSERT_TRUE(WriteMBusLogAt(kMorning, reading(1), kMBusLogHeader, kMBusLogTail));
    const QByteArray before = dir.read("DB200/MBusLog/261208mb.log");

    const int code = RunInChild([&] {
        if (!LimitFileSize(before.size() + 12))
            return 10;
        SetLastErrorText({});
        if (WriteMBusLogAt(kMorning.addSecs(6), reading(2), kMBusLogHeader, kMBusLogTail))
            return 1;
        if (!LastErrorText().contains("261208mb.log"))
            return 2;
        if (!LiftFileSizeLimit())
            return 11;
        return WriteMBusLogAt(kMorning.addSecs(12), reading(3), kMBusLogHeader, kMBusLogTail) ? 0 : 3;
    });
    EXPECT_EQ(code, 0) << "1 = short write reported success, 2 = no error text, 3 = next line failed";
    EXPECT_EQ(dir.read("DB200/MBusLog/261208mb.log"), before + logLine(kMorning.addSecs(12), reading(3)));
}

TEST(MBusLogFullDisk, BrimFullFileSystemKeepsWholeLinesAndTheHeader)
{
    InstallationDir dir;
    DBPATH = QStringLiteral(".\\DB200\\");
    TinyFileSystem fs(dir.file("DB200"), 64 * 1024);
    KELVARO_REQUIRE_MOUNT(fs);

    // Six bytes short of a page: the next line fits its first bytes only.
    QByteArray existing = headerLine();
    for (int n = 0; existing.size() < 4000; ++n)
        existing += logLine(kMorning.addSecs(-3600 + n), reading(n));
    existing.insert(existing.size() - 2, QByteArray(4090 - existing.size(), 'x'));
    ASSERT_EQ(existing.size(), 4090);
    dir.write("DB200/MBusLog/261208mb.log", existing);
    ASSERT_TRUE(fs.fill());

    SetLastErrorText({});
    EXPECT_FALSE(WriteMBusLogAt(kMorning, reading(1), kMBusLogHeader, kMBusLogTail));
    EXPECT_TRUE(LastErrorText().contains("261208mb.log")) << LastErrorText().toStdString();
    EXPECT_EQ(dir.read("DB200/MBusLog/261208mb.log"), existing);
    const QDateTime nextDay = kMorning.addDays(1);
    EXPECT_FALSE(WriteMBusLogAt(nextDay, reading(2), kMBusLogHeader, kMBusLogTail));
    EXPECT_FALSE(QFile::exists(dir.file("DB200/MBusLog/261209mb.log"))) << "no file without its header";

    fs.release();
    ASSERT_TRUE(WriteMBusLogAt(kMorning.addSecs(6), reading(3), kMBusLogHeader, kMBusLogTail));
    EXPECT_EQ(dir.read("DB200/MBusLog/261208mb.log"), existing + logLine(kMorning.addSecs(6), reading(3)));
    ASSERT_TRUE(WriteMBusLogAt(nextDay, reading(4), kMBusLogHeader, kMBusLogTail));
    EXPECT_EQ(dir.read("DB200/MBusLog/261209mb.log"), headerLine() + logLine(nextDay, reading(4)));
    EXPECT_EQ(QDir(dir.file("DB200/MBusLog")).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "no temporary file left";
}

TEST(MBusLogProcesses, FourAppendersAtOnceWriteOneHeaderAndWholeLines)
{
    InstallationDir dir;
    DBPATH = QStringLiteral(".\\DB200\\");
    constexpr int kWriters = 4;
    constexpr int kLines = 50;
    StartGate gate;
    ASSERT_TRUE(gate.ok());
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.push_back(std::make_unique<ChildProcess>([&gate, w] {
            gate.wait();
            int failed = 0;
            for (int n = 0; n < kLines; ++n)
                failed += !WriteMBusLogAt(kMorning, reading(w * 1000 + n), kMBusLogHeader, kMBusLogTail);
            return failed;
        }));
    gate.open();
    for (auto& writer : writers)
        EXPECT_EQ(writer->wait(), 0);

    const QString log = FromWin1252(dir.read("DB200/MBusLog/261208mb.log"));
    QStringList lines = log.split("\r\n");
    ASSERT_EQ(lines.takeLast(), "") << "the file ends with a whole line";
    ASSERT_EQ(lines.size(), 1 + kWriters * kLines);
    EXPECT_EQ(lines.takeFirst(), kMBusLogHeader);
    const QRegularExpression whole("^08\\.12\\.26 10:41:41 ;12345604;Wärme;1;4;\\d+;[\\d,]+;kWh;$");
    QSet<QString> distinct;
    for (const QString& line : lines) {
        EXPECT_TRUE(whole.match(line).hasMatch()) << line.toStdString();
        distinct.insert(line);
    }
    EXPECT_EQ(distinct.size(), kWriters * kLines);
}

TEST(MBusLogProcesses, MastersMeetingAFullDiskLeaveEveryReadingWholeOrAbsent)
{
    InstallationDir dir;
    DBPATH = QStringLiteral(".\\DB200\\");
    constexpr int kMasters = 2;
    const int failed = AppendWhileSpaceRunsOut(kMasters, 100, 2500, 600, [](int master, int n) {
        return WriteMBusLogAt(kMorning, MBusReadingLogText("50001010", "L1M10", master + 1, 10, 1, n, "kWh"),
                              kMBusLogHeader, kMBusLogTail);
    });
    ASSERT_EQ(failed, 0) << "a master could not set its limit or log after the space came back";

    QStringList lines = FromWin1252(dir.read("DB200/MBusLog/261208mb.log")).split("\r\n");
    ASSERT_EQ(lines.takeLast(), "") << "the file ends with a whole line";
    EXPECT_EQ(lines.takeFirst(), kMBusLogHeader);
    const QRegularExpression whole(R"(^08\.12\.26 10:41:41 ;50001010;L1M10;[12];10;1;(-1|\d+);kWh;$)");
    int afterwards = 0;
    for (const QString& line : lines) {
        EXPECT_TRUE(whole.match(line).hasMatch()) << "torn line: " << line.toStdString();
        afterwards += line.endsWith(";-1;kWh;");
    }
    EXPECT_EQ(afterwards, kMasters) << "the first reading after the space came back is logged whole";
}
