#include "migrationinstallation.h"

namespace kelvaro::test {
namespace {

// A second migration after the station has worked with the database.
class Rerun : public MigrationInstallation {
protected:
    void SetUp() override
    {
        MigrationInstallation::SetUp();
        if (IsSkipped())
            return;
        putJet(jetWithTableRenamed("Ums\xe4tze", "zaehler"));
    }
};

TEST_P(Rerun, RowsWrittenSinceAreNeverReplacedWithoutBeingAskedTo)
{
    const MigrateRun first = migrate({windows_, "--to", linux_});
    ASSERT_EQ(first.exitCode, 0) << first.errors.toStdString();
    ASSERT_EQ(scalar("SELECT COUNT(*) FROM zaehler").toInt(), 830);

    // The station works: an operator edits a meter, the master stores readings.
    const QString meter = scalar("SELECT MIN(LZNR) FROM zaehler").toString();
    ASSERT_TRUE(exec("UPDATE zaehler SET ZName = 'Wärme Keller' WHERE LZNR = " + meter));
    ASSERT_TRUE(exec("INSERT INTO MBusWerte (lznr, Tm, idx, Wert) VALUES (" + meter + ", 1765000000, 1, 12.5)"));
    const QStringList worked = dump();

    const MigrateRun refused = migrate({windows_, "--to", linux_});
    EXPECT_EQ(refused.exitCode, 5);
    EXPECT_TRUE(refused.json["refused"].toBool());
    const QString text = refused.json["error"]["text"].toString();
    EXPECT_TRUE(text.contains("--replace")) << text.toStdString();
    EXPECT_TRUE(text.contains("zaehler (830 Zeilen)")) << text.toStdString();
    EXPECT_EQ(firstDifference(dump(), worked), "");
    EXPECT_EQ(scalar("SELECT ZName FROM zaehler WHERE LZNR = " + meter).toString(), "Wärme Keller");

    // Asked for, the Jet file's rows come back and the report says what went.
    const MigrateRun replaced = migrate({windows_, "--to", linux_, "--replace"});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.errors.toStdString();
    qint64 sum = 0;
    for (const QJsonValue& t : replaced.json["tables"].toArray()) {
        sum += t["rowsReplaced"].toInteger();
        if (t["target"].toString() == "zaehler") {
            EXPECT_EQ(t["rowsReplaced"].toInteger(), 830);
        }
    }
    EXPECT_EQ(replaced.json["rowsReplaced"].toInteger(), sum);
    EXPECT_EQ(sum, 2155 + 830 + 77 + 3 + 8 + 91 + 9 + 29 + 830);
    EXPECT_TRUE(scalar("SELECT ZName FROM zaehler WHERE LZNR = " + meter).isNull());
    // A table the Jet file does not have keeps the station's readings.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM MBusWerte").toInt(), 1);

    // Nothing written since: the next run goes ahead (the renamed table has
    // no key column of its own, so its keys are new ones each time).
    const MigrateRun again = migrate({windows_, "--to", linux_});
    ASSERT_EQ(again.exitCode, 0) << again.errors.toStdString();
    EXPECT_EQ(again.json["rowsReplaced"].toInteger(), sum);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM zaehler").toInt(), 830);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM MBusWerte").toInt(), 1);
}

TEST_P(Rerun, AFirstMigrationDoesNotOverwriteMetersTheDatabaseHasAlready)
{
    // The target station was set up by hand before the Windows data came.
    ASSERT_EQ(migrate({windows_, "--to", linux_}).exitCode, 0);
    ASSERT_TRUE(exec("DROP TABLE kelvaro_migration"));
    ASSERT_TRUE(exec("DELETE FROM zaehler WHERE LZNR > 1"));
    const MigrateRun run = migrate({windows_, "--to", linux_});
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_TRUE(run.json["error"]["text"].toString().contains("nicht aus einer Übernahme"))
        << run.errors.toStdString();
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM zaehler").toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, Rerun, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

} // namespace
} // namespace kelvaro::test
