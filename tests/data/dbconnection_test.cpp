#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"
#include "foundation/programlog.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QFile>
#include <QTcpServer>

using namespace kelvaro;

TEST(DbConnection, ReservedAndInvalidKindsShowTheirMessageAndStayClosed)
{
    test::InstallationDir dir;
    SqlConnection c("kinds");
    EXPECT_FALSE(OpenDBConnection(c, "5", "", "", "", ""));
    EXPECT_FALSE(OpenDBConnection(c, "7", "", "", "", ""));
    EXPECT_FALSE(OpenDBConnection(c, "", "", "", "", ""));
    EXPECT_EQ(dir.messages(), (QStringList{"5 ist noch nicht belegt als dbFlag.", "Keine gültige Datenbank!",
                                           "Keine gültige Datenbank!"}));
    EXPECT_FALSE(c.isOpen());
}

TEST(DbConnection, FileDatabaseMustExistAndAnOpenConnectionIsKeptWhateverTheSettings)
{
    test::InstallationDir dir;
    DBPATH = ".\\DB200\\";
    SqlConnection c("file");
    EXPECT_FALSE(OpenDBConnection(c, "1", "", "", DBPATH + "basis.mdb", ""));
    EXPECT_TRUE(LastErrorText().contains("basis.db")) << LastErrorText().toStdString();
    EXPECT_FALSE(QFile::exists(dir.file("DB200/basis.db"))) << "a missing database must not be created empty";

    ASSERT_TRUE(CreateClientDatabase(DBPATH + "basis.mdb"));
    // The Jet password is not an SQLite feature: it is accepted and ignored, as are user and catalog.
    ASSERT_TRUE(OpenDBConnection(c, "1", "user", "secret", DBPATH + "basis.mdb", "catalog"));
    EXPECT_TRUE(OpenDBConnection(c, "7", "", "", "elsewhere", ""));
    EXPECT_TRUE(dir.messages().isEmpty());
    EXPECT_TRUE(c.tableExists("MBusWerte"));
}

TEST(DbConnection, LockedFileDatabaseFailsWithTheReason)
{
    test::InstallationDir dir;
    DBPATH = ".\\DB200\\";
    ASSERT_TRUE(CreateClientDatabase(DBPATH + "basis.mdb"));
    SqlConnection locker("locker");
    ASSERT_TRUE(OpenDBConnection(locker, "1", "", "", DBPATH + "basis.mdb", ""));
    ASSERT_TRUE(locker.exec("PRAGMA locking_mode = EXCLUSIVE"));
    ASSERT_TRUE(locker.exec("BEGIN EXCLUSIVE"));

    SqlConnection c("locked");
    EXPECT_FALSE(OpenDBConnection(c, "1", "", "", DBPATH + "basis.mdb", ""));
    EXPECT_TRUE(LastErrorText().contains("locked")) << LastErrorText().toStdString();
    EXPECT_FALSE(c.isOpen());
}

TEST(DbConnection, UnreachablePostgresServerGivesFalseWithTheError)
{
    test::InstallationDir dir;
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close(); // nothing listens there now
    SqlConnection c("unreachable");
    EXPECT_FALSE(OpenDBConnection(c, "6", "u", "p", QStringLiteral("127.0.0.1:%1").arg(port), "db"));
    EXPECT_FALSE(LastErrorText().isEmpty());
    EXPECT_FALSE(c.isOpen());
    // SQL Server through ODBC (FreeTDS) behaves the same.
    SetLastErrorText({});
    EXPECT_FALSE(OpenDBConnection(c, "2", "sa", "pw", QStringLiteral("127.0.0.1,%1").arg(port), "basis"));
    EXPECT_FALSE(LastErrorText().isEmpty());
    EXPECT_FALSE(c.isOpen());
}

TEST(DbConnection, ClientFileDatabaseOpenLogsItsDirectoryOnce)
{
    test::InstallationDir dir;
    DBPATH = ".\\DB200\\";
    ASSERT_TRUE(CreateClientDatabase(DBPATH + "basis.mdb"));
    SqlConnection db("dao");
    bool opened = false;
    ASSERT_TRUE(OpenDAODatabase(db, DBPATH, "basis.mdb", opened));
    EXPECT_TRUE(opened);
    ASSERT_TRUE(OpenDAODatabase(db, DBPATH, "basis.mdb", opened));
    const QByteArray raw = dir.read("DB200/" + ProgramLogFileName().mid(DBPATH.size()));
    EXPECT_EQ(raw.count("\xD6" "ffne Datenbank : .\\DB200\\"), 1);
}

TEST(DbConnection, DefaultDatabaseAndPerMeterFileNames)
{
    test::InstallationDir dir;
    Mandant = "200";
    DBPATH = ".\\DB200\\";
    DBConfig = {"2", "server", "sa", "pw", "cat", "SuperUser"};
    UseClientFileDatabase();
    EXPECT_EQ(DBConfig[DbKind], "1");
    EXPECT_EQ(DBConfig[DbDataSource], ".\\DB200\\basis.mdb");
    EXPECT_EQ(DBConfig[DbUser], "");
    Mandant = "1450";
    DBConfig = {"2", "server", "sa", "pw", "cat", "SuperUser"};
    UseClientFileDatabase();
    EXPECT_EQ(DBConfig[DbKind], "2");

    EXPECT_EQ(MeterDatabaseFile("D:\\x", 123), "D:\\x\\zaehler\\0000123.mdb");
    EXPECT_EQ(MeterDatabaseFile("D:\\x\\", 123), "D:\\x\\zaehler\\0000123.mdb");
    EXPECT_EQ(MeterDatabaseFile("D:\\x", -1), "-1");
}

TEST(Schema, BuiltInTextIsTheCurrentSchemaFile)
{
    QFile file(QStringLiteral(KELVARO_SOURCE_DIR "/src/data/schema.sql"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(SchemaText(), QString::fromUtf8(file.readAll()))
        << "schema.sql changed after schema.cpp was built: rebuild src/data/schema.cpp";
    EXPECT_EQ(SchemaStatements(SqlDialect::SQLite).size(), 14);
}

class SchemaOnEngines : public ::testing::TestWithParam<test::Engine> {};

TEST_P(SchemaOnEngines, CreatesEveryTableAndRunningItAgainKeepsTheRows)
{
    KELVARO_REQUIRE_ENGINE(GetParam());
    test::InstallationDir dir;
    DBPATH = ".\\DB200\\";
    test::ClientDatabase db(GetParam());
    ASSERT_TRUE(db.ready());
    SqlConnection c("schema-again");
    ASSERT_TRUE(db.openInto(c));
    for (const char* table : {"zaehler", "tagrp", "ta", "tazuordnung", "MB_IndexListe", "MBusIndexListe",
                              "Zaehlerstaende", "MBusWerte"})
        EXPECT_TRUE(c.tableExists(table)) << table;
    ASSERT_TRUE(InsertDemoData(c)) << LastErrorText().toStdString();
    ASSERT_TRUE(CreateSchema(c));
    EXPECT_EQ(c.scalar("SELECT Count(*) FROM zaehler WHERE MBComP = 1").toInt(), 3);
    // Keys of new meters come from the database.
    ASSERT_TRUE(c.exec("INSERT INTO zaehler (ZName) VALUES (?)", {"neu"}));
    EXPECT_EQ(c.scalar("SELECT Max(LZNR) FROM zaehler").toInt(), 4);
    EXPECT_TRUE(EnsureIndexListColumns(c));
}

INSTANTIATE_TEST_SUITE_P(Engines, SchemaOnEngines, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);
