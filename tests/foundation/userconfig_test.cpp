#include "foundation/cp1252.h"
#include "foundation/filenumbers.h"
#include "foundation/programlog.h"
#include "foundation/clientpaths.h"
#include "foundation/timeutil.h"
#include "foundation/userconfig.h"
#include "testsupport.h"

#include <optional>
#include <vector>

using namespace kelvaro;
using kelvaro::test::InstallationDir;

TEST(UserConfig, MissingFileIsCreatedAndReadBack)
{
    InstallationDir dir;
    DBConfig = {};
    ASSERT_TRUE(LoadUserConfig());
    EXPECT_EQ(DBConfig[DbKind], "0");
    EXPECT_EQ(DBConfig[DbDataSource], "0.0.0.0");
    EXPECT_EQ(DBConfig[DbCatalog], "dbCatalog(sqlserver)");
    EXPECT_EQ(DBConfig[DbUserRole], "SuperUser");
    const QByteArray file = dir.read("dnq.conf");
    EXPECT_EQ(file.count("\r\n"), 5) << "six lines, the last without line end";
    EXPECT_FALSE(file.endsWith("\n"));
    EXPECT_FALSE(file.contains("SuperUser")) << "values are stored scrambled";
}

TEST(UserConfig, ScrambleRoundTripAndExcludedCodes)
{
    QByteArray all;
    for (int c = 0; c < 256; ++c)
        if (c != ' ' && c != 26 && c != '\'')
            all.append(static_cast<char>(c));
    EXPECT_EQ(ScrambleText(ScrambleText(all, kDnqKey), kDnqKey), all);

    const QByteArray scrambled = ScrambleText(QByteArray("pass word"), kDnqKey);
    EXPECT_FALSE(scrambled.contains(' '));
    EXPECT_FALSE(scrambled.contains('\n'));
    const QByteArray back = ScrambleText(scrambled, kDnqKey);
    EXPECT_NE(back, "pass word");
    EXPECT_FALSE(back.contains(' ')) << "a blank does not come back as a blank";
}

TEST(UserConfig, WrittenSettingsAndCorruptFiles)
{
    InstallationDir dir;
    QByteArray content;
    for (const QByteArray& v : {QByteArray("6"), QByteArray("127.0.0.1:5433"), QByteArray("kelvaro"),
                                QByteArray("Geh\xF6im"), QByteArray("basis"), QByteArray("r")})
        content += ScrambleText(v, kDnqKey) + "\r\n";
    dir.write("dnq.conf", content);
    ASSERT_TRUE(LoadUserConfig());
    EXPECT_EQ(DBConfig[DbKind], "6");
    EXPECT_EQ(DBConfig[DbDataSource], "127.0.0.1:5433");
    EXPECT_EQ(DBConfig[DbPassword], QString::fromUtf8("Gehöim"));

    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.append(static_cast<char>((i * 131 + 7) & 0xFF));
    dir.write("dnq.conf", garbage);
    EXPECT_TRUE(LoadUserConfig());
    dir.write("dnq.conf", "");
    EXPECT_TRUE(LoadUserConfig());
    EXPECT_EQ(DBConfig[DbKind], "");
}

TEST(FileNumbers, WarnsAboveFiveOpenFilesWithoutRecursion)
{
    InstallationDir dir;
    DBPATH = ".\\";
    const int before = OpenFileCount();
    {
        std::vector<std::optional<FileSlot>> held(5);
        for (auto& slot : held)
            slot.emplace();
        EXPECT_EQ(OpenFileCount(), before + 5);
        EXPECT_EQ(GetFreeFileNumber(), before + 6);
        FileSlot sixth;
        EXPECT_EQ(sixth.number(), before + 6);
    }
    EXPECT_EQ(OpenFileCount(), before);
    const QString log = FromWin1252(dir.read(LocalNow().toString("yyMMdd") + "ed.log"));
    EXPECT_EQ(log.count("Freefile > 5"), before == 0 ? 2 : 2 + 0) << log.toStdString();
}

TEST(ProgramLog, LostQuietlyWhenDirectoryIsMissing)
{
    InstallationDir dir;
    DBPATH = ".\\gibtsnicht\\";
    WriteProgramLog("verloren");
    EXPECT_FALSE(QFileInfo::exists(dir.file("gibtsnicht")));
    DBPATH = ".\\";
    WriteProgramLog(QString::fromUtf8("Zähler"));
    const QByteArray line = dir.read(LocalNow().toString("yyMMdd") + "ed.log");
    EXPECT_TRUE(line.endsWith(" Z\xE4hler\r\n"));
    EXPECT_EQ(line.size(), 18 + 6 + 2) << "dd.mm.yy hh:mm:ss + blank, text, CR LF";
}
