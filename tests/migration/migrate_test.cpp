#include "migrationinstallation.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlRecord>

namespace kelvaro::test {
namespace {

class Migration : public MigrationInstallation {};

TEST_P(Migration, MakesTheWindowsDirectoryAStationAndLeavesItUntouched)
{
    const auto before = snapshot(windows_);
    const MigrateRun run = migrate({windows_, "--to", linux_});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(snapshot(windows_), before);

    // Settings, RB6 files and logs are taken over byte for byte.
    const auto copied = snapshot(linux_);
    for (auto it = before.begin(); it != before.end(); ++it)
        EXPECT_EQ(copied.value(it.key()), it.value()) << it.key().toStdString();
    EXPECT_EQ(run.json["client"].toString(), client_);
    EXPECT_EQ(run.json["jetVersion"].toString(), "Jet 3");
    EXPECT_EQ(run.json["filesCopied"].toInt(), before.size());

    const QJsonArray tables = run.json["tables"].toArray();
    ASSERT_EQ(tables.size(), 9);
    for (const QJsonValue& t : tables) {
        const QString name = t["source"].toString();
        const qint64 count = MdbTool("mdb-count", {JetTestFile("nwind-jet3.mdb"), name}).trimmed().toLongLong();
        EXPECT_EQ(t["rowsRead"].toInteger(), count) << name.toStdString();
        EXPECT_EQ(t["rowsWritten"].toInteger(), count) << name.toStdString();
        EXPECT_TRUE(t["written"].toBool());
    }
    EXPECT_TRUE(run.json["problems"].toArray().isEmpty());

    const SqlDialect dialect = GetParam() == Engine::PostgreSQL ? SqlDialect::PostgreSQL : SqlDialect::SQLite;
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM " + QuoteIdentifier("Umsätze", dialect)).toInt(), 830);
    EXPECT_EQ(scalar("SELECT city FROM customers WHERE customerid = 'FRANK'").toString(), "München");
    EXPECT_EQ(scalar("SELECT companyname FROM customers WHERE customerid = 'BERGS'").toString(), "Berglunds snabbköp");
    EXPECT_EQ(scalar("SELECT orderdate FROM orders WHERE orderid = 10330").toDateTime(),
              QDateTime(QDate(1994, 11, 16), QTime(0, 0)));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM products WHERE discontinued").toInt(), 8);
    EXPECT_DOUBLE_EQ(scalar("SELECT unitprice FROM " + QuoteIdentifier("Order Details", dialect) +
                            " WHERE orderid = 10248 AND productid = 42").toDouble(), 9.8);
    EXPECT_FLOAT_EQ(scalar("SELECT MAX(discount) FROM " + QuoteIdentifier("Order Details", dialect)).toFloat(), 0.25f);
    EXPECT_EQ(scalar("SELECT LENGTH(picture) FROM categories WHERE categoryid = 1").toInt(), 10746);
    // The station's own tables are there as well, ready for meters.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM zaehler").toInt(), 0);
}

TEST_P(Migration, RunningItAgainGivesTheSameDatabase)
{
    ASSERT_EQ(migrate({windows_, "--to", linux_}).exitCode, 0);
    const QStringList first = dump();
    const MigrateRun again = migrate({windows_, "--to", linux_});
    ASSERT_EQ(again.exitCode, 0) << again.errors.toStdString();
    EXPECT_EQ(dump(), first);
    // The second copy keeps what the station may have written since.
    EXPECT_EQ(again.json["filesCopied"].toInt(), 0);
}

TEST_P(Migration, ADamagedJetFileStopsBeforeTheDatabaseIsTouched)
{
    QByteArray bytes = jetBytes("nwind-jet3.mdb");
    writeFile(windows_ + "/DB" + client_ + "/basis.mdb", bytes.left(100000));
    const MigrateRun run = migrate({windows_, "--to", linux_});
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_FALSE(run.json["error"]["text"].toString().isEmpty());
    if (GetParam() == Engine::SQLite)
        EXPECT_FALSE(QFile::exists(linux_ + "/DB200/basis.db"));
    else
        EXPECT_FALSE(scalar("SELECT COUNT(*) FROM information_schema.tables WHERE table_name = 'orders'").toInt());
}

INSTANTIATE_TEST_SUITE_P(Engines, Migration, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

TEST(MigrationCommand, RefusesWhatIsNoInstallation)
{
    QTemporaryDir dir;
    EXPECT_EQ(migrate({dir.path()}).exitCode, 3); // no OVX.INI
    EXPECT_EQ(migrate({}).exitCode, 2);
    writeFile(dir.filePath("ovx.ini"), "[OVX]\r\nOVXMandant=200\r\nDBPATH200=C:\\OVX\\DB200\\\r\n");
    const MigrateRun run = migrate({dir.path()});
    EXPECT_EQ(run.exitCode, 5); // basis.mdb not found where the Windows path points
    EXPECT_TRUE(run.json["error"]["text"].toString().contains("Windows-Laufwerk")) << run.errors.toStdString();
    // The in-place run writes no dnq.conf of its own.
    EXPECT_FALSE(QFile::exists(dir.filePath("dnq.conf")));
}

} // namespace
} // namespace kelvaro::test
