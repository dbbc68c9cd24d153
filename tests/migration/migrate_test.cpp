#include "data/testdatabase.h"
#include "jettools.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlRecord>

namespace kelvaro::test {
namespace {

struct MigrateRun {
    int exitCode = -1;
    QJsonObject json;
    QString errors;
};

MigrateRun migrate(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(KELVARO_BINARY_DIR "/apps/kelvaro-cli/kelvaro-cli"),
            QStringList{QStringLiteral("migrate")} + args + QStringList{QStringLiteral("--json")});
    EXPECT_TRUE(p.waitForFinished(120000));
    MigrateRun run;
    run.exitCode = p.exitCode();
    run.json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    run.errors = QString::fromUtf8(p.readAllStandardError());
    return run;
}

// Every file below a directory with its bytes.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            files.insert(QDir(root).relativeFilePath(f.fileName()), f.readAll());
    }
    return files;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray jetBytes(const QString& name)
{
    QFile f(JetTestFile(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// A copied Windows installation: client 200 with its file database, or client
// 1450 whose dnq.conf names a PostgreSQL database.
class Migration : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        KELVARO_REQUIRE_TESTDATA();
        KELVARO_REQUIRE_ENGINE(GetParam());
        windows_ = dirs_.filePath("win");
        linux_ = dirs_.filePath("kelvaro");
        const bool pg = GetParam() == Engine::PostgreSQL;
        client_ = pg ? "1450" : "200";
        writeFile(windows_ + "/OVX.INI", "[OVX]\r\nOVXMandant=" + client_.toLatin1() + "\r\nDBPATH" +
                                             client_.toLatin1() + "=.\\DB" + client_.toLatin1() + "\\\r\n");
        writeFile(windows_ + "/DB" + client_ + "/basis.mdb", jetBytes("nwind-jet3.mdb"));
        writeFile(windows_ + "/Z" + client_ + "/0000001.RB6", QByteArray(600, '\x07'));
        writeFile(windows_ + "/MBusLog/261201mb.log", "01.12.26 10:00:00;1;5;0;12,5\r\n");
        if (pg) {
            catalog_ = QStringLiteral("kelvaro_mig_%1").arg(QCoreApplication::applicationPid());
            server_.admin("DROP DATABASE IF EXISTS " + catalog_ + " WITH (FORCE)");
            ASSERT_TRUE(server_.admin("CREATE DATABASE " + catalog_));
            QByteArray conf;
            for (const QString& line : {QStringLiteral("6"), server_.dataSource(), server_.user, server_.password,
                                        catalog_, QStringLiteral("SuperUser")})
                conf += ScrambleText(line.toLatin1(), kDnqKey) + "\r\n";
            writeFile(windows_ + "/dnq.conf", conf);
        }
    }
    void TearDown() override
    {
        if (!catalog_.isEmpty())
            server_.admin("DROP DATABASE IF EXISTS " + catalog_ + " WITH (FORCE)");
    }

    bool open(SqlConnection& c) const
    {
        if (GetParam() == Engine::PostgreSQL)
            return OpenDBConnection(c, "6", server_.user, server_.password, server_.dataSource(), catalog_);
        return OpenDBConnection(c, "1", {}, {}, linux_ + "/DB200/basis.mdb", "1");
    }

    // Every row of every migrated table, in a fixed order.
    QStringList dump()
    {
        SqlConnection c("kelvaro.test.dump");
        EXPECT_TRUE(open(c));
        QStringList lines;
        for (const QString& table : MdbTool("mdb-tables", {"-1", JetTestFile("nwind-jet3.mdb")}).split('\n', Qt::SkipEmptyParts)) {
            QSqlQuery q(c.database());
            EXPECT_TRUE(q.exec("SELECT * FROM " + QuoteIdentifier(table, c.dialect()))) << table.toStdString();
            QStringList rows;
            while (q.next()) {
                QStringList values;
                for (int k = 0; k < q.record().count(); ++k)
                    values << q.value(k).toString();
                rows << values.join('|');
            }
            rows.sort();
            lines << table + ": " + QString::number(rows.size()) << rows;
        }
        return lines;
    }

    QVariant scalar(const QString& sql)
    {
        SqlConnection c("kelvaro.test.scalar");
        EXPECT_TRUE(open(c));
        QSqlQuery q(c.database());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        return q.next() ? q.value(0) : QVariant();
    }

    QTemporaryDir dirs_;
    QString windows_, linux_, client_, catalog_;
    PgServer server_;
};

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
