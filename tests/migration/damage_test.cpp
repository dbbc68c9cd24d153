#include "migrationinstallation.h"

#include "migration/jetstream.h"

#include <QRandomGenerator>

namespace kelvaro::test {
namespace {

using namespace kelvaro::migration;

constexpr qsizetype kJet3Page = 2048;

// The first damage: one byte of the definition page of "Customers", which
// makes the library itself crash (mdb-export too).
QByteArray customersDefinitionDamaged()
{
    QByteArray bytes = jetBytes("nwind-jet3.mdb");
    bytes[157731] = 0x4E;
    return bytes;
}

// The second: two data pages of "Order Details" zeroed; the table then reads
// without a complaint, only short.
QByteArray orderDetailsPagesZeroed()
{
    QByteArray bytes = jetBytes("nwind-jet3.mdb");
    for (qsizetype page : {418, 419})
        bytes.replace(page * kJet3Page, kJet3Page, QByteArray(kJet3Page, '\0'));
    return bytes;
}

bool crashes(const QString& tool, const QStringList& args)
{
    return RunExecutable(tool, args, 60000).crashed;
}

class DamagedJet : public MigrationInstallation {
protected:
    void expectNothingWritten()
    {
        if (GetParam() == Engine::SQLite) {
            EXPECT_FALSE(QFile::exists(linux_ + "/DB200/basis.db"));
            EXPECT_FALSE(QFile::exists(linux_ + "/DB200/basis.db.kelvaro-part"));
        } else {
            EXPECT_EQ(scalar("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = 'public'").toInt(), 0);
        }
        // The crashed reader leaves no core file behind.
        QDirIterator it(dirs_.path(), {"core*"}, QDir::Files, QDirIterator::Subdirectories);
        EXPECT_FALSE(it.hasNext()) << it.next().toStdString();
    }

    QJsonObject countOf(const MigrateRun& run, const QString& table)
    {
        for (const QJsonValue& c : run.json["counts"].toArray())
            if (c["table"].toString() == table)
                return c.toObject();
        return {};
    }
};

TEST_P(DamagedJet, ACrashOfTheJetLibraryIsAnErrorOfTheFile)
{
    putJet(customersDefinitionDamaged());
    ASSERT_TRUE(crashes("mdb-export", {jetFile(), "Customers"})); // the independent reader dies on it too
    const MigrateRun run = migrate({windows_, "--to", linux_});
    EXPECT_EQ(run.exitCode, 5) << run.errors.toStdString();
    const QString text = run.json["error"]["text"].toString();
    EXPECT_TRUE(text.contains("beschädigt")) << text.toStdString();
    // The table where it broke off is named; its definition was never read.
    EXPECT_TRUE(text.contains("in Tabelle Customers")) << text.toStdString();
    const QJsonArray counts = run.json["counts"].toArray();
    ASSERT_FALSE(counts.isEmpty());
    EXPECT_EQ(counts.last()["table"].toString(), "Customers");
    EXPECT_EQ(counts.last()["rowsExpected"].toInteger(), -1);
    EXPECT_EQ(counts.first()["rowsRead"].toInteger(), 2155); // the tables before it were whole
    expectNothingWritten();
}

TEST_P(DamagedJet, ATableThatReadsShortIsCountedAgainstItsDefinition)
{
    putJet(orderDetailsPagesZeroed());
    // mdb-count gives the definition's count, mdb-export what is left.
    const qint64 defined = MdbTool("mdb-count", {jetFile(), "Order Details"}).trimmed().toLongLong();
    const qint64 left = ParseCsv(MdbTool("mdb-export", {jetFile(), "Order Details"})).size() - 1;
    ASSERT_EQ(defined, 2155);
    ASSERT_LT(left, defined);

    const MigrateRun run = migrate({windows_, "--to", linux_});
    EXPECT_EQ(run.exitCode, 5) << run.errors.toStdString();
    const QJsonObject details = countOf(run, "Order Details");
    EXPECT_EQ(details["rowsRead"].toInteger(), left);
    EXPECT_EQ(details["rowsExpected"].toInteger(), defined);
    EXPECT_EQ(countOf(run, "Orders")["rowsRead"].toInteger(), 830);
    EXPECT_TRUE(run.json["error"]["text"].toString().contains(QStringLiteral("Order Details (%1 von 2155 Zeilen)").arg(left)))
        << run.errors.toStdString();
    expectNothingWritten();

    // Without --json the administrator gets the table of both numbers.
    const ProgramRun table = RunCli({"migrate", windows_, "--to", linux_}, {}, 120000);
    ASSERT_TRUE(table.finished);
    EXPECT_EQ(table.exitCode, 5);
    const QString out = table.outText();
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Order Details +%1 +2155  beschädigt").arg(left))))
        << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, DamagedJet, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

// The reading process hands over every value unchanged, and damage of any
// kind ends as an error, never as a crash or a table read short.
TEST(JetReader, TheReadingProcessDeliversWhatTheLibraryReads)
{
    KELVARO_REQUIRE_TESTDATA();
    const QString cli = ProgramPath("kelvaro-cli");
    for (const QString& name : {QStringLiteral("nwind-jet3.mdb"), QStringLiteral("datetest-jet4.mdb")}) {
        const JetReading here = ReadJetFileHere(JetTestFile(name));
        const JetReading child = ReadJetFileInChild(cli, {"migrate", "--read-jet", JetTestFile(name)});
        ASSERT_TRUE(child.ok()) << child.error.toStdString();
        EXPECT_EQ(child.version, here.version);
        ASSERT_EQ(child.tables.size(), here.tables.size());
        for (qsizetype t = 0; t < here.tables.size(); ++t) {
            EXPECT_EQ(child.tables[t].name, here.tables[t].name);
            EXPECT_EQ(child.tables[t].expectedRows, here.tables[t].rows.size());
            EXPECT_EQ(child.tables[t].columns.size(), here.tables[t].columns.size());
            EXPECT_TRUE(child.tables[t].rows == here.tables[t].rows) << here.tables[t].name.toStdString();
        }
    }
}

TEST(JetReader, RandomDamageOfTheDefinitionsIsAnErrorNotACrash)
{
    KELVARO_REQUIRE_TESTDATA();
    const QString cli = ProgramPath("kelvaro-cli");
    const QByteArray original = jetBytes("nwind-jet3.mdb");
    // The pages that hold table definitions (page type 2).
    QList<qsizetype> definitions;
    for (qsizetype page = 0; page * kJet3Page < original.size(); ++page)
        if (original[page * kJet3Page] == 0x02)
            definitions << page;
    ASSERT_GE(definitions.size(), 9);
    QTemporaryDir dir;
    QRandomGenerator random(20261209);
    int failed = 0;
    for (int round = 0; round < 40; ++round) {
        QByteArray bytes = original;
        const qsizetype page = definitions[random.bounded(int(definitions.size()))];
        for (int k = 0; k < 4; ++k)
            bytes[page * kJet3Page + random.bounded(int(kJet3Page))] = char(random.bounded(256));
        const QString path = dir.filePath(QStringLiteral("damaged%1.mdb").arg(round));
        writeFile(path, bytes);
        const JetReading reading = ReadJetFileInChild(cli, {"migrate", "--read-jet", path});
        if (!reading.ok()) {
            ++failed;
            continue;
        }
        // Read without complaint: then every table is whole.
        for (const JetTableCount& c : reading.counts)
            EXPECT_EQ(c.rowsRead, c.rowsExpected) << c.table.toStdString() << " round " << round;
    }
    EXPECT_GT(failed, 0);
}

} // namespace
} // namespace kelvaro::test
