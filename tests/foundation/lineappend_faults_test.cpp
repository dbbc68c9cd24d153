// Lines appended by several processes while the space runs out, and after a
// writer died in the middle of its line.
#include "foundation/clientpaths.h"
#include "foundation/filenumbers.h"
#include "foundation/cp1252.h"
#include "foundation/filefaults.h"
#include "foundation/programlog.h"
#include "foundation/safefile.h"
#include "foundation/timeutil.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QSet>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

QString programLogName() { return LocalNow().toString("yyMMdd") + "ed.log"; }

QByteArray stamped(const QString& text)
{
    return ToWin1252(LocalNow().toString("dd.MM.yy hh:mm:ss ") + text) + "\r\n";
}

} // namespace

TEST(TextLineProcesses, WritersMeetingAFullDiskLeaveEveryLineWholeOrAbsent)
{
    InstallationDir dir;
    constexpr int kWriters = 2;
    constexpr int kRounds = 120;
    // About 40 lines per step, the second writer ten lines above the first.
    const int failed = AppendWhileSpaceRunsOut(kWriters, kRounds, 2000, 500, [](int writer, int line) {
        return AppendTextLine("261209ed.log",
                              QStringLiteral("09.12.26 19:57:02 Schreiber %1 Zeile %2 Fehler beim Schreiben")
                                  .arg(writer)
                                  .arg(line));
    });
    ASSERT_EQ(failed, 0) << "a child could not set its limit or write after the space came back";

    QStringList lines = FromWin1252(dir.read("261209ed.log")).split("\r\n");
    ASSERT_EQ(lines.takeLast(), "") << "the file ends with a whole line";
    const QRegularExpression whole(R"(^09\.12\.26 19:57:02 Schreiber [01] Zeile (-1|\d+) Fehler beim Schreiben$)");
    QSet<QString> distinct;
    int afterwards = 0;
    for (const QString& line : lines) {
        EXPECT_TRUE(whole.match(line).hasMatch()) << "torn line: " << line.toStdString();
        distinct.insert(line);
        afterwards += line.contains("Zeile -1 ");
    }
    EXPECT_EQ(distinct.size(), lines.size()) << "no line twice";
    EXPECT_EQ(afterwards, kWriters) << "each writer's first line after the space came back is there";
    EXPECT_GT(lines.size(), kRounds * 20) << "lines went in between the failures";
}

TEST(LineAppend, ALineLeftWithoutItsEndIsEndedBeforeTheNextOne)
{
    InstallationDir dir;
    DBPATH = ".\\";
    // A writer killed in mid-line left "…;L1M10;1" behind.
    const QByteArray torn = stamped("Start") + "09.12.26 19:57:02 Schreib";
    dir.write(programLogName(), torn);
    WriteProgramLog("Ende");
    EXPECT_EQ(dir.read(programLogName()), torn + "\r\n" + stamped("Ende"));

    // Cut between CR and LF: only the LF is missing.
    dir.write(programLogName(), stamped("Start").chopped(1));
    WriteProgramLog("Ende");
    EXPECT_EQ(dir.read(programLogName()), stamped("Start") + stamped("Ende"));

    // Bytes that are no line are appended as they are.
    dir.write("daten.bin", "abc");
    ASSERT_TRUE(AppendWhole("daten.bin", "def"));
    EXPECT_EQ(dir.read("daten.bin"), "abcdef");
}

TEST(LineAppend, AFileTheWriterMayNotReadIsStillAppendedTo)
{
    InstallationDir dir;
    dir.write("export.txt", "eins\r\n");
    ASSERT_TRUE(MakeWriteOnly(dir.file("export.txt")));
    const int code = RunAsUnprivileged(dir.path(), [] { return AppendWhole("export.txt", "zwei\r\n") ? 0 : 1; });
    EXPECT_EQ(code, 0);
    QFile::setPermissions(dir.file("export.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(dir.read("export.txt"), "eins\r\nzwei\r\n");
}
