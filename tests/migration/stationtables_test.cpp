#include "data/testdatabase.h"

#include "migration/tablewriter.h"

#include <QDateTime>

namespace kelvaro::test {
namespace {

using namespace kelvaro::migration;

JetTable meters()
{
    JetTable t;
    t.name = "ZAEHLER"; // Jet spells names as it likes
    t.columns = {{"LZNR", JetType::LongInteger}, {"znr", JetType::Text, 20}, {"MBAdr", JetType::LongInteger},
                 {"Faktor", JetType::Double},    {"MBBaud", JetType::Text, 10}, {"Bemerkung2", JetType::Memo},
                 {"ZQuelle", JetType::Text, 255}};
    t.rows = {{17, "Wärme 1", 5, 0.5, "2400", "Keller", "M-Bus"},
              {42, "Wasser", 6, QVariant(), "schnell", QVariant(), "M-Bus"}};
    return t;
}

class StationTables : public EngineTest {
protected:
    SqlConnection& connection()
    {
        if (!c_.isOpen()) {
            EXPECT_TRUE(db_->openInto(c_));
        }
        return c_;
    }
    SqlConnection c_{"kelvaro.test.writer"};
};

TEST_P(StationTables, JetColumnsGoIntoTheStationsColumnsAndMissingOnesAreAdded)
{
    QList<JetProblem> problems;
    const TableResult result = WriteJetTable(connection(), meters(), problems);
    ASSERT_TRUE(result.written) << result.error.toStdString();
    EXPECT_TRUE(result.schemaTable);
    EXPECT_EQ(result.target, "zaehler");
    EXPECT_EQ(result.rowsWritten, 2);
    EXPECT_EQ(result.addedColumns, QStringList{"Bemerkung2"});
    // "schnell" is no baud rate: reported with row and column, stored as NULL.
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems[0].row, 2);
    EXPECT_EQ(problems[0].column, "MBBaud");

    SqlConnection& c = connection();
    EXPECT_EQ(c.scalar("SELECT ZNr FROM zaehler WHERE LZNR = 17").toString(), "Wärme 1");
    EXPECT_EQ(c.scalar("SELECT MBBaud FROM zaehler WHERE LZNR = 17").toInt(), 2400);
    EXPECT_TRUE(c.scalar("SELECT MBBaud FROM zaehler WHERE LZNR = 42").isNull());
    EXPECT_DOUBLE_EQ(c.scalar("SELECT faktor FROM zaehler WHERE LZNR = 17").toDouble(), 0.5);
    EXPECT_EQ(c.scalar("SELECT bemerkung2 FROM zaehler WHERE LZNR = 17").toString(), "Keller");

    // The keys are kept, and a meter added afterwards gets a new one.
    ASSERT_TRUE(c.exec("INSERT INTO zaehler (ZNr) VALUES (?)", {"neu"}));
    EXPECT_GT(c.scalar("SELECT LZNR FROM zaehler WHERE ZNr = 'neu'").toInt(), 42);

    // Again: the rows are replaced, not added twice.
    problems.clear();
    ASSERT_TRUE(WriteJetTable(c, meters(), problems).written);
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM zaehler").toInt(), 2);
}

TEST_P(StationTables, OlderIndexColumnsAndBooleansAreTakenOver)
{
    JetTable exportList;
    exportList.name = "MBusIndexListe";
    exportList.columns = {{"lznr", JetType::LongInteger}, {"Index", JetType::Integer}, {"Text", JetType::Text, 255}};
    exportList.rows = {{17, 3, "Energie"}};
    JetTable indexList;
    indexList.name = "MB_IndexListe";
    indexList.columns = {{"Lznr", JetType::LongInteger}, {"MBIndex", JetType::Integer}, {"Speichern", JetType::Boolean},
                         {"Einheit", JetType::Text, 15}};
    indexList.rows = {{17, 1, true, "kWh"}, {17, 2, false, QString(20, 'x')}};
    QList<JetProblem> problems;
    const TableResult exported = WriteJetTable(connection(), exportList, problems);
    ASSERT_TRUE(exported.written) << exported.error.toStdString();
    EXPECT_TRUE(WriteJetTable(connection(), indexList, problems).written);
    SqlConnection& c = connection();
    EXPECT_EQ(c.scalar("SELECT MBIndex FROM MBusIndexListe WHERE lznr = 17").toInt(), 3);
    EXPECT_TRUE(c.scalar("SELECT Speichern FROM MB_IndexListe WHERE MBIndex = 1").toBool());
    EXPECT_FALSE(c.scalar("SELECT Speichern FROM MB_IndexListe WHERE MBIndex = 2").toBool());
    // PostgreSQL keeps the unit's 15 characters: the longer text is cut and said so.
    if (GetParam() == Engine::PostgreSQL) {
        ASSERT_EQ(problems.size(), 1);
        EXPECT_EQ(problems[0].column, "Einheit");
        EXPECT_EQ(c.scalar("SELECT Einheit FROM MB_IndexListe WHERE MBIndex = 2").toString(), QString(15, 'x'));
    }
}

TEST_P(StationTables, TheMsconsLocationOfAJetMeterTableIsTakenOver)
{
    JetTable t = meters();
    t.columns.append({"mscons_lokation", JetType::Text, 35}); // spelled as another program may
    t.rows[0].append("DE0001234567890123456789012345678");
    t.rows[1].append(QVariant());
    QList<JetProblem> problems;
    const TableResult result = WriteJetTable(connection(), t, problems);
    ASSERT_TRUE(result.written) << result.error.toStdString();
    EXPECT_FALSE(result.addedColumns.contains("mscons_lokation", Qt::CaseInsensitive)) << "the station has it";
    SqlConnection& c = connection();
    EXPECT_EQ(c.scalar("SELECT MSCONS_Lokation FROM zaehler WHERE LZNR = 17").toString(),
              "DE0001234567890123456789012345678");
    EXPECT_TRUE(c.scalar("SELECT MSCONS_Lokation FROM zaehler WHERE LZNR = 42").isNull());
}

TEST_P(StationTables, AFailedTableLeavesItsRowsAsTheyWere)
{
    SqlConnection& c = connection();
    ASSERT_TRUE(c.exec("INSERT INTO tagrp (TAGRP_NR, TAGRP_NAME) VALUES (1, 'alt')"));
    JetTable groups;
    groups.name = "tagrp";
    groups.columns = {{"TAGRP_NR", JetType::LongInteger}, {"TAGRP_NAME", JetType::Text, 50}};
    groups.rows = {{1, "neu"}, {1, "doppelt"}}; // the second breaks the primary key
    QList<JetProblem> problems;
    const TableResult result = WriteJetTable(c, groups, problems);
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(result.rowsWritten, 0);
    EXPECT_EQ(c.scalar("SELECT TAGRP_NAME FROM tagrp WHERE TAGRP_NR = 1").toString(), "alt");
}

// Currency holds 19 digits; a number column of SQLite keeps only 15.
TEST_P(StationTables, CurrencyAndDecimalsKeepEveryDigit)
{
    JetTable prices;
    prices.name = "Preise";
    prices.columns = {{"Nr", JetType::LongInteger}, {"Betrag", JetType::Currency}, {"Anteil", JetType::Numeric, 17, 28, 10}};
    prices.rows = {{1, "922337203685477.5807", "123456789012345678.0123456789"},
                   {2, "-922337203685477.5808", "-0.0000000001"},
                   {3, "0.0001", "0.0000000000"}};
    QList<JetProblem> problems;
    const TableResult result = WriteJetTable(connection(), prices, problems);
    ASSERT_TRUE(result.written) << result.error.toStdString();
    EXPECT_TRUE(problems.isEmpty());
    SqlConnection& c = connection();
    for (const QVariantList& row : prices.rows) {
        const QVariantList key{row[0]};
        EXPECT_EQ(c.scalar("SELECT CAST(Betrag AS VARCHAR(40)) FROM Preise WHERE Nr = ?", key).toString(), row[1].toString());
        EXPECT_EQ(c.scalar("SELECT CAST(Anteil AS VARCHAR(40)) FROM Preise WHERE Nr = ?", key).toString(), row[2].toString());
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, StationTables, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), EngineName);

} // namespace
} // namespace kelvaro::test
