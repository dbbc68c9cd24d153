// RB6 files take the space of all their blocks when they are created.
#include "foundation/clientpaths.h"
#include "foundation/filefaults.h"
#include "foundation/lasterror.h"
#include "storage/rb6appender.h"
#include "storage/rb6file.h"
#include "testsupport.h"

#include <QDir>
#include <sys/stat.h>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

// Bytes the file occupies on disk.
qint64 occupied(const QString& file)
{
    struct stat st {};
    return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); }

struct Rb6Space : ::testing::Test {
    InstallationDir dir;
    void SetUp() override
    {
        Mandant = QStringLiteral("0200");
        DBPATH = QStringLiteral(".\\DB200\\");
    }
};

} // namespace

TEST_F(Rb6Space, ANewFileOccupiesEveryBlockItHolds)
{
    QString name;
    ASSERT_EQ(RB6Append(DBPATH, 123, 1'700'000'000, 42.5, 1, name), RB6Ok) << LastErrorText().toStdString();
    const QString master = dir.file("DB200/Z200/000123001.ovx");
    EXPECT_EQ(QFileInfo(master).size(), 6000 * 1212);
    EXPECT_GE(occupied(master), 6000 * 1212);

    // The log import's writer lays its files out the same way.
    RB6Appender appender;
    const QString rebuilt = dir.file("DB200/Z200/000124001.ovx");
    const int handle = appender.open(rebuilt);
    ASSERT_GE(handle, 0) << LastErrorText().toStdString();
    ASSERT_EQ(appender.append(handle, 1'700'000'000, 42.5), RB6Ok);
    ASSERT_TRUE(appender.flush());
    EXPECT_GE(occupied(rebuilt), 6000 * 1212);
    EXPECT_EQ(dir.read("DB200/Z200/000124001.ovx"), dir.read("DB200/Z200/000123001.ovx"));
}

TEST_F(Rb6Space, WithoutTheSpaceNoFileIsCreatedAndTheReasonIsGiven)
{
    ASSERT_TRUE(QDir().mkpath(dir.file("DB200/Z200")));
    // A file size limit below the file's length.
    const int code = RunInChild([] {
        if (!LimitFileSize(1024 * 1024))
            return 10;
        QString name;
        if (RB6Append(DBPATH, 123, 1'700'000'000, 42.5, 1, name) == RB6Ok)
            return 1;
        return LastErrorText().contains("000123001.ovx") ? 0 : 2;
    });
    EXPECT_EQ(code, 0) << "1 = created, 2 = no reason naming the file";
    EXPECT_EQ(filesIn(dir.file("DB200/Z200")), QStringList());

    // A file system with less room than one file: it would take the file's
    // length without its space.
    TinyFileSystem fs(dir.file("DB200/Z200"), 4 * 1024 * 1024);
    KELVARO_REQUIRE_MOUNT(fs);
    QString name;
    EXPECT_EQ(RB6Append(DBPATH, 123, 1'700'000'000, 42.5, 1, name), RB6HeaderWriteFailed);
    EXPECT_TRUE(LastErrorText().contains("000123001.ovx")) << LastErrorText().toStdString();
    RB6Appender appender;
    EXPECT_EQ(appender.open(dir.file("DB200/Z200/000124001.ovx")), RB6HeaderWriteFailed);
    EXPECT_EQ(filesIn(dir.file("DB200/Z200")), QStringList()) << "no half-created file stays";

    // A smaller file fits.
    EXPECT_EQ(RB6Create(name, 123, 1, 100), RB6Ok) << LastErrorText().toStdString();
    EXPECT_GE(occupied(dir.file("DB200/Z200/000123001.ovx")), 100 * 1212);
}
