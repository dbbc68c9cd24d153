#include "foundation/clientpaths.h"
#include "storage/rb6file.h"
#include "programrun.h"
#include "testsupport.h"

#include <QFileInfo>

using namespace kelvaro;

TEST(Cli, DbInitCreatesTheClientDatabaseAndRb6DumpListsTheElements)
{
    if (!test::ProgramBuilt("kelvaro-cli"))
        GTEST_SKIP() << "kelvaro-cli not built";
    test::InstallationDir dir;
    dir.write("OVX.INI", "[OVX]\r\nOVXMandant=200\r\n");
    int rc = -1;
    EXPECT_TRUE(test::CliOutput({"db", "init", "--demo"}, &rc).contains("3 M-Bus-Zähler"));
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(QFileInfo::exists(dir.file("DB200/basis.db")));

    Mandant = "200";
    QString file;
    ASSERT_EQ(RB6Append(".\\DB200\\", 5, 1'700'000'000, 42.5, 1, file), 0);
    ASSERT_EQ(RB6Append(".\\DB200\\", 5, 1'700'000'900, 43.25, 1, file), 0);
    EXPECT_EQ(test::CliOutput({"rb6", "dump", file, "--from", "14.11.2023 22:20"}),
              "11;1700000900;14.11.2023 22:28:20;43,25\n");
    const QString info = test::CliOutput({"rb6", "info", file, "--json"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(info.contains("\"capacity\":600000")) << info.toStdString();
    EXPECT_TRUE(info.contains("\"lastIndex\":11")) << info.toStdString();
}
