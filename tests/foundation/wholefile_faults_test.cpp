// Program log and dnq.conf against full disks.
#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/filefaults.h"
#include "foundation/programlog.h"
#include "foundation/timeutil.h"
#include "foundation/userconfig.h"
#include "testsupport.h"

#include <QRegularExpression>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

QString todaysProgramLog() { return LocalNow().toString("yyMMdd") + "ed.log"; }

// Every line "dd.mm.yy hh:mm:ss text" and ended by CR LF.
void expectWholeLines(const QByteArray& log, const QStringList& texts)
{
    QStringList lines = FromWin1252(log).split("\r\n");
    ASSERT_EQ(lines.takeLast(), "") << log.toStdString();
    ASSERT_EQ(lines.size(), texts.size()) << log.toStdString();
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d " + texts[i] + "$")
                        .match(lines[i])
                        .hasMatch())
            << lines[i].toStdString();
}

} // namespace

TEST(ProgramLogFullDisk, ALineCutShortIsTakenBack)
{
    InstallationDir dir;
    DBPATH = ".\\";
    WriteProgramLog("Start");
    const qint64 size = dir.read(todaysProgramLog()).size();
    ASSERT_GT(size, 0);

    const int code = RunInChild([size] {
        if (!LimitFileSize(size + 9))
            return 10;
        WriteProgramLog("Fehler beim Schreiben DB200\\MBusLog\\261208mb.log");
        if (!LiftFileSizeLimit())
            return 11;
        WriteProgramLog("Ende");
        return 0;
    });
    ASSERT_EQ(code, 0);
    expectWholeLines(dir.read(todaysProgramLog()), {"Start", "Ende"});
}

TEST(ProgramLogFullDisk, BrimFullFileSystemKeepsWholeLines)
{
    InstallationDir dir;
    TinyFileSystem fs(dir.file("DB200"), 64 * 1024);
    KELVARO_REQUIRE_MOUNT(fs);
    DBPATH = ".\\DB200\\";
    // 4090 bytes: the next line finds six bytes in the file's last page.
    const QByteArray first = ToWin1252(LocalNow().toString("dd.MM.yy hh:mm:ss ")) + QByteArray(4070, 'a') + "\r\n";
    dir.write("DB200/" + todaysProgramLog(), first);
    ASSERT_EQ(first.size(), 4090);
    ASSERT_TRUE(fs.fill());
    WriteProgramLog("verloren");
    EXPECT_EQ(dir.read("DB200/" + todaysProgramLog()), first);
    fs.release();
    WriteProgramLog("Ende");
    expectWholeLines(dir.read("DB200/" + todaysProgramLog()), {QString(4070, 'a'), "Ende"});
}

TEST(UserConfigFullDisk, DefaultsCutShortAreNeverKept)
{
    InstallationDir dir;
    // A missing dnq.conf whose defaults cannot be written whole: none is left behind.
    int code = RunInChild([] {
        if (!LimitFileSize(20))
            return 10;
        DBConfig = {};
        return LoadUserConfig() ? 1 : (DBConfig[DbKind].isEmpty() ? 0 : 2);
    });
    EXPECT_EQ(code, 0) << "1 = reported success, 2 = partial settings loaded";
    EXPECT_FALSE(QFile::exists(dir.file("dnq.conf")));

    // Rewriting the defaults over real settings keeps the settings.
    QByteArray settings;
    for (const char* value : {"6", "127.0.0.1:5433", "kelvaro", "x", "basis", "r"})
        settings += ScrambleText(QByteArray(value), kDnqKey) + "\r\n";
    dir.write("dnq.conf", settings);
    code = RunInChild([] { return LimitFileSize(20) ? (WriteDefaultUserConfig() ? 1 : 0) : 10; });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(dir.read("dnq.conf"), settings);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"dnq.conf"});
}
