#include "migrationinstallation.h"

#include "migration/installation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvaro::test {
namespace {

using namespace kelvaro::migration;

class WindowsCopy : public MigrationInstallation {};

TEST_P(WindowsCopy, ACorrectedWindowsCopyIsReadAndADifferingIniIsReported)
{
    ASSERT_EQ(migrate({windows_, "--to", linux_}).exitCode, 0);
    QFile ini(linux_ + "/OVX.INI");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray stationIni = ini.readAll();
    ini.close();

    // The administrator corrects the Windows copy: a customer's name and the INI.
    QByteArray jet = jetBytes("nwind-jet3.mdb");
    const qsizetype at = jet.indexOf("Alfreds Futterkiste");
    ASSERT_GE(at, 0);
    jet[at + 18] = 'x';
    putJet(jet);
    QFile windowsIni(windows_ + "/OVX.INI");
    ASSERT_TRUE(windowsIni.open(QIODevice::Append));
    windowsIni.write("[" + client_.toLatin1() + "]\r\nVorWert=1\r\n");
    windowsIni.close();

    const MigrateRun run = migrate({windows_, "--to", linux_});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(scalar("SELECT companyname FROM customers WHERE customerid = 'ALFKI'").toString(), "Alfreds Futterkistx");
    EXPECT_EQ(run.json["settingsDiffering"].toArray(), QJsonArray{"OVX.INI"});
    EXPECT_TRUE(run.json["warnings"].toArray().first().toString().startsWith("OVX.INI weicht"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), stationIni); // reported, not overwritten
}

INSTANTIATE_TEST_SUITE_P(Engines, WindowsCopy, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

struct stat statOf(const QByteArray& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.constData(), &st), 0) << path.toStdString();
    return st;
}

// RB6 files are mostly holes until the master fills them; a Windows file
// name in its code page arrives as bytes that are no UTF-8.
TEST(InstallationCopy, FilesKeepTheirHolesTimesAndNames)
{
    QTemporaryDir dirs;
    const QByteArray from = QFile::encodeName(dirs.filePath("win"));
    const QByteArray to = QFile::encodeName(dirs.filePath("kelvaro"));
    ASSERT_TRUE(QDir().mkpath(dirs.filePath("win/Z200")));

    const QByteArray rb6 = from + "/Z200/0000001.RB6";
    const int fd = ::open(rb6.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "RB6", 3, 0), 3);
    ASSERT_EQ(::pwrite(fd, "\x07\x07", 2, 300000), 2);
    ASSERT_EQ(::ftruncate(fd, 600000), 0);
    ::close(fd);
    const QByteArray latin1Name = from + "/Z200/Z\xe4hler.txt";
    writeFile(QFile::decodeName(from + "/OVX.INI"), "[OVX]\r\n");
    const int named = ::open(latin1Name.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(named, 0);
    ASSERT_EQ(::write(named, "Wärme", 6), 6);
    ::close(named);
    const timespec old[2] = {{1577880000, 0}, {1577880000, 123456789}}; // 1.1.2020
    for (const QByteArray& f : {rb6, latin1Name, from + "/OVX.INI"})
        ASSERT_EQ(::utimensat(AT_FDCWD, f.constData(), old, 0), 0);

    const CopyResult result = CopyInstallation(QFile::decodeName(from), QFile::decodeName(to));
    ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_EQ(result.filesCopied, 3);
    EXPECT_EQ(result.namesNotUtf8, QStringList{"Z200/Z\\xe4hler.txt"});

    const struct stat source = statOf(rb6), copy = statOf(to + "/Z200/0000001.RB6");
    EXPECT_EQ(copy.st_size, 600000);
    if (source.st_blocks * 512 < source.st_size) { // the file system keeps holes
        EXPECT_LE(copy.st_blocks, source.st_blocks);
    }
    QFile a(QFile::decodeName(rb6)), b(QFile::decodeName(to + "/Z200/0000001.RB6"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll());
    for (const QByteArray& f : {QByteArray("/Z200/0000001.RB6"), QByteArray("/Z200/Z\xe4hler.txt"), QByteArray("/OVX.INI")}) {
        const struct stat st = statOf(to + f);
        EXPECT_EQ(st.st_mtim.tv_sec, old[1].tv_sec) << f.toStdString();
        EXPECT_EQ(st.st_mtim.tv_nsec, old[1].tv_nsec) << f.toStdString();
    }
    EXPECT_EQ(statOf(to + "/Z200/Z\xe4hler.txt").st_size, 6);
}

TEST(InstallationCopy, ARefusedTargetCreatesNoFolder)
{
    QTemporaryDir dirs;
    writeFile(dirs.filePath("win/OVX.INI"), "[OVX]\r\nOVXMandant=200\r\n");
    const MigrateRun run = migrate({dirs.filePath("win"), "--to", dirs.filePath("win/neu/kelvaro")});
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_TRUE(run.json["error"]["text"].toString().contains("ineinander")) << run.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dirs.filePath("win/neu")));
}

TEST(InstallationCopy, WindowsPathsOfEverySettingAreNamed)
{
    KELVARO_REQUIRE_TESTDATA();
    QTemporaryDir dir;
    writeFile(dir.filePath("OVX.INI"), "[OVX]\r\nOVXMandant=200\r\n[200]\r\nDatenPath=.\\Z200\\\r\n"
                                       "MBusExportIndexDatei=C:\\OVX\\Export\\index.txt\r\n");
    writeFile(dir.filePath("MB.INI"), "[MB]\r\nComPort=1\r\nDatenPath=D:\\Ablesung\\\r\n");
    writeFile(dir.filePath("DB200/basis.mdb"), jetBytes("datetest-jet4.mdb"));
    QDir().mkpath(dir.filePath("Z200"));
    const MigrateRun run = migrate({dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QJsonArray warnings = run.json["warnings"].toArray();
    ASSERT_EQ(warnings.size(), 2) << QJsonDocument(warnings).toJson().toStdString();
    EXPECT_EQ(warnings[0].toString(), "MBusExportIndexDatei = C:\\OVX\\Export\\index.txt ist ein Windows-Laufwerk; "
                                      "in OVX.INI anpassen");
    EXPECT_EQ(warnings[1].toString(), "DatenPath = D:\\Ablesung\\ ist ein Windows-Laufwerk; in MB.INI anpassen");
}

} // namespace
} // namespace kelvaro::test
