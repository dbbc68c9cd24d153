#include "migrationinstallation.h"

#include "migration/jetstream.h"
#include "migration/migration.h"
#include "migration/migrationtarget.h"

#include <QProcess>

#include <unistd.h>

namespace kelvaro::test {
namespace {

using namespace kelvaro::migration;

// A table that cannot be written (a view has taken the name of the last Jet
// table) leaves every table as it was, also those written before it.
class AllOrNothing : public MigrationInstallation {};

TEST_P(AllOrNothing, ATableThatFailsLeavesEveryTableAsItWas)
{
    ASSERT_EQ(migrate({windows_, "--to", linux_}).exitCode, 0);
    const SqlDialect dialect = GetParam() == Engine::PostgreSQL ? SqlDialect::PostgreSQL : SqlDialect::SQLite;
    const QString sales = QuoteIdentifier("Umsätze", dialect);
    ASSERT_TRUE(exec("DROP TABLE " + sales));
    ASSERT_TRUE(exec("CREATE VIEW " + sales + " AS SELECT 1 AS one"));
    ASSERT_TRUE(exec("UPDATE customers SET city = 'Frankfurt' WHERE customerid = 'FRANK'"));

    const MigrateRun run = migrate({windows_, "--to", linux_, "--replace"});
    EXPECT_EQ(run.exitCode, 5);
    const QString text = run.json["error"]["text"].toString();
    EXPECT_TRUE(text.contains("Umsätze")) << text.toStdString();
    EXPECT_TRUE(text.contains("bleibt wie sie war")) << text.toStdString();
    for (const QJsonValue& t : run.json["tables"].toArray())
        EXPECT_FALSE(t["written"].toBool()) << t["source"].toString().toStdString();
    // Customers came before the failed table and still holds the edit.
    EXPECT_EQ(scalar("SELECT city FROM customers WHERE customerid = 'FRANK'").toString(), "Frankfurt");
    if (GetParam() == Engine::SQLite) {
        EXPECT_FALSE(QFile::exists(linux_ + "/DB200/basis.db.kelvaro-part"));
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, AllOrNothing, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

// The SQLite file of a client, with one meter in it, written as the station
// writes it (write-ahead log).
class FileTarget : public ::testing::Test {
protected:
    void SetUp() override
    {
        jetName_ = dir_.filePath("DB200/basis.mdb");
        ASSERT_TRUE(CreateClientDatabase(jetName_)) << LastErrorText().toStdString();
        SqlConnection c("kelvaro.test.station");
        ASSERT_TRUE(OpenDBConnection(c, "1", {}, {}, jetName_, "1"));
        ASSERT_TRUE(c.exec("INSERT INTO zaehler (LZNR, ZNr) VALUES (7, 'Keller')"));
        settings_.dataSource = jetName_;
    }

    // What the file holds, read as the station reads it.
    QStringList content() const
    {
        SqlConnection c("kelvaro.test.content");
        EXPECT_TRUE(OpenDBConnection(c, "1", {}, {}, jetName_, "1"));
        QStringList lines{c.scalar("PRAGMA journal_mode").toString(), c.scalar("PRAGMA integrity_check").toString()};
        QSqlQuery q(c.database());
        EXPECT_TRUE(q.exec("SELECT name FROM sqlite_master ORDER BY name"));
        while (q.next())
            lines << q.value(0).toString();
        EXPECT_TRUE(q.exec("SELECT LZNR, ZNr FROM zaehler"));
        while (q.next())
            lines << q.value(0).toString() + '|' + q.value(1).toString();
        return lines;
    }

    static JetTable orderDetails()
    {
        const JetReading reading = ReadJetFileHere(JetTestFile("nwind-jet3.mdb"));
        for (const JetTable& t : reading.tables)
            if (t.name == "Order Details")
                return t;
        ADD_FAILURE() << "no Order Details";
        return {};
    }

    QTemporaryDir dir_;
    QString jetName_;
    EditorDatabaseSettings settings_;
};

TEST_F(FileTarget, AFullFileLeavesTheOldDatabaseAsItWas)
{
    KELVARO_REQUIRE_TESTDATA();
    const QStringList before = content();
    ASSERT_EQ(before.first(), "wal");
    MigrationTarget target(settings_);
    QString error;
    ASSERT_TRUE(target.begin(error)) << error.toStdString();
    // The copy may grow by a few pages only: a stand-in for a full disk.
    SqlConnection& c = target.connection();
    const int pages = c.scalar("PRAGMA page_count").toInt();
    ASSERT_TRUE(c.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 4)));
    QList<JetProblem> problems;
    const TableResult result = WriteJetTableWithin(c, orderDetails(), problems);
    EXPECT_FALSE(result.written);
    EXPECT_TRUE(WithDiskCause(result.error).startsWith("Datenträger voll: ")) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains("database or disk is full")) << result.error.toStdString();
    target.abandon();
    EXPECT_EQ(content(), before);
    EXPECT_FALSE(QFile::exists(target.stagingFileName()));
}

TEST_F(FileTarget, TheNewFileKeepsWhatTheMigrationDoesNotReplace)
{
    KELVARO_REQUIRE_TESTDATA();
    {
        MigrationTarget target(settings_);
        QString error;
        ASSERT_TRUE(target.begin(error)) << error.toStdString();
        QList<JetProblem> problems;
        ASSERT_TRUE(WriteJetTableWithin(target.connection(), orderDetails(), problems).written);
        // Until the commit the old file is what a reader sees.
        SqlConnection reader("kelvaro.test.reader");
        ASSERT_TRUE(OpenDBConnection(reader, "1", {}, {}, jetName_, "1"));
        EXPECT_FALSE(reader.tableExists("Order Details"));
        reader.close();
        ASSERT_TRUE(target.commit(error)) << error.toStdString();
        EXPECT_FALSE(QFile::exists(target.stagingFileName()));
    }
    SqlConnection c("kelvaro.test.after");
    ASSERT_TRUE(OpenDBConnection(c, "1", {}, {}, jetName_, "1"));
    EXPECT_EQ(c.scalar("SELECT ZNr FROM zaehler WHERE LZNR = 7").toString(), "Keller");
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM \"Order Details\"").toInt(), 2155);
    EXPECT_EQ(c.scalar("PRAGMA integrity_check").toString(), "ok");
}

TEST_F(FileTarget, ADatabaseThatIsOpenElsewhereIsNotReplaced)
{
    SqlConnection station("kelvaro.test.open");
    ASSERT_TRUE(OpenDBConnection(station, "1", {}, {}, jetName_, "1"));
    ASSERT_TRUE(station.scalar("SELECT COUNT(*) FROM zaehler").isValid());
    MigrationTarget target(settings_);
    QString error;
    EXPECT_FALSE(target.begin(error));
    EXPECT_TRUE(error.contains("in Gebrauch")) << error.toStdString();
    station.close();
    EXPECT_TRUE(target.begin(error)) << error.toStdString();
}

// A real file system that fills up: a small tmpfs holding the installation.
TEST(FullDisk, AFullFileSystemIsReportedAsSuchAndTheOldDatabaseStays)
{
    KELVARO_REQUIRE_TESTDATA();
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    QTemporaryDir mount;
    const auto run = [](const QString& program, const QStringList& args) {
        return RunExecutable(program, args, 30000).exitCode == 0;
    };
    // Room for basis.mdb (3 MB) and the old database, not for the new one.
    if (!run("mount", {"-t", "tmpfs", "-o", "size=3400k", "tmpfs", mount.path()}))
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{mount.path()};
    const QString windows = mount.filePath("OVX");
    writeFile(windows + "/OVX.INI", "[OVX]\r\nOVXMandant=200\r\n");
    writeFile(windows + "/DB200/basis.mdb", jetBytes("nwind-jet3.mdb"));
    ASSERT_TRUE(CreateClientDatabase(windows + "/DB200/basis.mdb"));
    QFile old(windows + "/DB200/basis.db");
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    const QByteArray before = old.readAll();
    old.close();

    const MigrateRun result = migrate({windows});
    EXPECT_EQ(result.exitCode, 5);
    const QString text = result.json["error"]["text"].toString();
    EXPECT_TRUE(text.contains("Datenträger voll")) << text.toStdString();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), before);
    EXPECT_FALSE(QFile::exists(windows + "/DB200/basis.db.kelvaro-part"));
}

} // namespace
} // namespace kelvaro::test
