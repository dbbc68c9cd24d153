#include "data/indexlist.h"
#include "foundation/clientpaths.h"
#include "foundation/userconfig.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QDir>
#include <QSqlRecord>

using namespace kelvaro;

TEST(IndexList, UnitRuleMarksInstantaneousValues)
{
    EXPECT_EQ(MBTypForUnit("kWh            "), 0);
    EXPECT_EQ(MBTypForUnit("MWh"), 0);
    EXPECT_EQ(MBTypForUnit("kW"), 1);
    EXPECT_EQ(MBTypForUnit("m³/h"), 1);
    EXPECT_EQ(MBTypForUnit("°C"), 1);
    EXPECT_EQ(MBTypForUnit("m³"), 0);
    EXPECT_EQ(MBTypForUnit("KW"), 0) << "case-sensitive";
    EXPECT_EQ(MBTypForUnit("kvar"), 1) << "reactive power";
    EXPECT_EQ(MBTypForUnit("kVA"), 1) << "apparent power";
    EXPECT_EQ(MBTypForUnit("kvarh"), 0);
    EXPECT_EQ(MBTypForUnit("kVAh"), 0);
    EXPECT_EQ(MBTypForUnit(""), 0);
}

class IndexLists : public test::EngineTest {
protected:
    QList<QVariantList> rows(qint64 lznr)
    {
        QSqlQuery q;
        EXPECT_TRUE(OpenIndexRecordset(q, DBConnection(),
                                       "SELECT MBIndex, Art, Einheit, MBTyp, Faktor, Speichern, Anzeigen FROM "
                                       "MB_IndexListe WHERE Lznr = ? ORDER BY MBIndex",
                                       {lznr}));
        QList<QVariantList> out;
        while (q.next())
            out << QVariantList{q.value(0).toInt(), q.value(1), q.value(2), q.value(3).toInt(), q.value(4).toDouble(),
                                q.value(5).toBool(), q.value(6).toBool()};
        return out;
    }
};

TEST_P(IndexLists, SaveReplacesTheListAndMarksEveryValueForStoring)
{
    QList<IndexListValue> values{{"Energie        ", "kWh            ", 0},
                                 {"Leistung       ", "kW             ", 0},
                                 {"Fabriknummer   ", "               ", 0}};
    ASSERT_EQ(SaveIndexList(5, values), 3) << LastErrorText().toStdString();
    ASSERT_EQ(SaveIndexList(5, values), 3); // saving twice gives the same list
    const QList<QVariantList> list = rows(5);
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0], (QVariantList{1, "Energie", "kWh", 0, 1.0, true, true}));
    EXPECT_EQ(list[1], (QVariantList{2, "Leistung", "kW", 1, 1.0, true, true}));
    EXPECT_EQ(list[2][2], " ") << "an empty unit is stored as one blank";
    EXPECT_EQ(values[1].storeFlag, 255);

    QList<IndexListValue> none;
    EXPECT_EQ(SaveIndexList(5, none), 0);
    EXPECT_TRUE(rows(5).isEmpty());
}

TEST_P(IndexLists, AFailingReplaceKeepsTheOldList)
{
    QList<IndexListValue> old{{"Energie", "kWh", 0}, {"Volumen", "m³", 0}};
    ASSERT_EQ(SaveIndexList(6, old), 2);
    // The database refuses one row of the new list.
    SqlConnection& c = DBConnection();
    if (GetParam() == test::Engine::SQLite) {
        ASSERT_TRUE(c.exec("CREATE TRIGGER refuse BEFORE INSERT ON MB_IndexListe WHEN NEW.Art = 'kaputt' "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    } else {
        ASSERT_TRUE(c.exec("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.art = 'kaputt' THEN "
                           "RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql"));
        ASSERT_TRUE(c.exec("CREATE TRIGGER refuse BEFORE INSERT ON MB_IndexListe FOR EACH ROW EXECUTE FUNCTION refuse()"));
    }
    QList<IndexListValue> replacement{{"Energie", "kWh", 0}, {"kaputt", "", 0}, {"Temperatur", "°C", 0}};
    EXPECT_EQ(SaveIndexList(6, replacement), -1);
    EXPECT_TRUE(LastErrorText().contains("refused")) << LastErrorText().toStdString();
    EXPECT_EQ(replacement[0].storeFlag, 0);
    const QList<QVariantList> list = rows(6);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[1][1], "Volumen");
}

TEST_P(IndexLists, UnreachableDatabaseGivesMinusOne)
{
    DBConnection().close();
    DBConfig[DbKind] = "1";
    DBConfig[DbDataSource] = ".\\nowhere\\basis.mdb";
    QList<IndexListValue> values{{"Energie", "kWh", 0}};
    EXPECT_EQ(SaveIndexList(5, values), -1);
    EXPECT_EQ(values[0].storeFlag, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, IndexLists, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);

TEST(IndexListTable, CreatedOnceInAnOlderDatabaseAndLeftAloneAfterwards)
{
    test::InstallationDir dir;
    DBPATH = ".\\DB200\\";
    {
        // An older client file without the index list table.
        SqlConnection c("old");
        ASSERT_TRUE(c.openWith("QSQLITE", SqlDialect::SQLite, "old", [&](QSqlDatabase& db) {
            QDir().mkpath(dir.file("DB200"));
            db.setDatabaseName(dir.file("DB200/basis.db"));
        }));
        ASSERT_TRUE(c.exec("CREATE TABLE zaehler (LZNR INTEGER PRIMARY KEY)"));
    }
    CreateIndexListTable();
    SqlConnection c("check");
    ASSERT_TRUE(OpenClientDatabase(c));
    const QSqlRecord columns = c.database().record("MB_IndexListe");
    EXPECT_EQ(columns.count(), 5);
    EXPECT_GE(columns.indexOf("Index"), 0);
    ASSERT_TRUE(c.exec("INSERT INTO MB_IndexListe (Lznr, [Index], Art) VALUES (1, 2, 'x')"));
    c.close();

    CreateIndexListTable();
    ASSERT_TRUE(OpenClientDatabase(c));
    EXPECT_EQ(c.scalar("SELECT Count(*) FROM MB_IndexListe").toInt(), 1);
    EXPECT_EQ(DAOCreateTable(c, "MB_IndexListe", "Lznr", dbLong, 2), -2);
    EXPECT_EQ(DAOCreateTable(c, "Neu", "Lznr", 99, 2), -1);
    EXPECT_EQ(DAOAddField(c, "MB_IndexListe", "Nr", dbLong, 16), -1);
    EXPECT_TRUE(EnsureIndexListColumns(c));
    EXPECT_GE(c.database().record("MB_IndexListe").indexOf("Reihenfolge"), 0);
}
