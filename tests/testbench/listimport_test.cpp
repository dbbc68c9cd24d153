#include "data/dbconnection.h"
#include "foundation/lasterror.h"
#include "master/meterlist.h"
#include "master/metertablemodel.h"
#include "testbench/foundmeterlist.h"
#include "testbench/listimport.h"
#include "data/testdatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace kelvaro;
using namespace kelvaro::testbench;

namespace {

const QStringList kDefaultColumns{"faktor", "Impulse", "Offset", "ZTyp", "ZStellen", "Stufe",
                                  "MBIndex", "MBZStand", "TarifGruppe", "TarifGrp", "Tarif", "Feld"};

class ListImport : public test::EngineTest {
protected:
    void SetUp() override
    {
        test::EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(MBOpenDatenbank()) << LastErrorText().toStdString();
    }
    SqlConnection& db() { return DBConnection(); }

    // The meter's columns by name (lower case), or nothing when there is no such meter.
    QVariantMap meter(const QString& znr)
    {
        QSqlQuery q;
        EXPECT_TRUE(db().query(q, "SELECT * FROM zaehler WHERE ZNr = ?", {znr}));
        QVariantMap out;
        if (!q.next())
            return out;
        const QSqlRecord rec = q.record();
        for (int i = 0; i < rec.count(); ++i)
            out[rec.fieldName(i).toLower()] = q.value(i);
        EXPECT_FALSE(q.next()) << "one meter per identification";
        return out;
    }
    int meterCount() { return db().scalar("SELECT Count(*) FROM zaehler").toInt(); }

    // The meters the master's port list loads: "address;identification".
    QStringList masterMeters(int port)
    {
        master::MeterTableModel meters;
        master::BM_ZaehlerlisteLadenComPort(db(), port, {meters, [](const QString&) {}, [](const QString&) {}});
        QStringList out;
        for (int i = 1; i <= meters.meterCount(); ++i)
            out << QStringLiteral("%1;%2").arg(meters.meter(i).PrimAdr).arg(meters.meter(i).MB_ID);
        out.sort();
        return out;
    }
};

const QList<QStringList> kFound{
    {"1", "12345601", "PAD", "1", "Wärme", "3", "2400;300;", "", "4", "1057"},
    {"2", "", "", "", "", "", "", "", "", ""},  // tried, nobody answered
    {"", "77777770", "ABB"},                     // no address
    {"5", "22334455", "LUG", "7", "Strom", "12", "9600;", "", "2", "3303"},
};

} // namespace

TEST_P(ListImport, NewMetersGetTheDefaultsAndTheMasterReadsThem)
{
    ASSERT_TRUE(db().exec("DELETE FROM tagrp")) << "a client without tariff groups";
    const ListImportResult r = ImportListIntoDatabase(db(), 3, kFound);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.added, 2);
    EXPECT_EQ(r.updated, 0);
    EXPECT_EQ(r.skipped, 1) << "the row without an address";

    const QVariantMap heat = meter("12345601");
    ASSERT_FALSE(heat.isEmpty());
    EXPECT_EQ(heat["zquelle"], "M-Bus");
    EXPECT_EQ(heat["mbcomp"].toInt(), 3);
    EXPECT_EQ(heat["mbadr"].toInt(), 1);
    EXPECT_EQ(heat["mbbaud"].toInt(), 2400);
    EXPECT_EQ(heat["mb_id"], "12345601");
    EXPECT_EQ(heat["hersteller"], "PAD");
    EXPECT_EQ(heat["mb_version"], "1");
    EXPECT_EQ(heat["mb_medium"], "Wärme");
    EXPECT_EQ(heat["zname"], "12345601_PAD");
    EXPECT_DOUBLE_EQ(heat["faktor"].toDouble(), 1);
    EXPECT_DOUBLE_EQ(heat["impulse"].toDouble(), 1);
    EXPECT_FALSE(heat["offset"].isNull());
    EXPECT_DOUBLE_EQ(heat["offset"].toDouble(), 0);
    EXPECT_EQ(heat["ztyp"], "EVZ-Zähler");
    EXPECT_EQ(heat["zstellen"].toInt(), 7);
    EXPECT_EQ(heat["stufe"].toInt(), 1);
    EXPECT_EQ(heat["mbindex"].toInt(), 1);
    EXPECT_FALSE(heat["mbzstand"].isNull());
    EXPECT_EQ(heat["tarifgruppe"], "Strom");
    EXPECT_EQ(heat["tarifgrp"].toInt(), 1);
    EXPECT_EQ(heat["tarif"], "5;");
    EXPECT_EQ(heat["feld"], "E");
    EXPECT_EQ(meter("22334455")["lznr"].toLongLong(), heat["lznr"].toLongLong() + 1) << "the next free number";

    EXPECT_EQ(masterMeters(3), (QStringList{"1;12345601", "5;22334455"}));
    EXPECT_EQ(db().scalar("SELECT TAGRP_NAME FROM tagrp WHERE TAGRP_NR = 1"), "Strom");
}

TEST_P(ListImport, ValuesAlreadySetStayAndMetersAreFoundByIdOrAddress)
{
    // 12345601 exists at another address with its own settings; address 5
    // holds a meter that was exchanged for 22334455.
    ASSERT_TRUE(db().exec("INSERT INTO tagrp (TAGRP_NR, TAGRP_NAME, BasisTarif) VALUES (2, 'Wärme', 1)"));
    ASSERT_TRUE(db().exec("INSERT INTO zaehler (LZNR, ZNr, ZName, ZQuelle, MBAdr, MBComP, MBBaud, faktor, ZTyp, Stufe, "
                          "MBIndex, TarifGruppe, TarifGrp, Tarif, Feld) VALUES (40, '12345601', 'Haus A', 'M-Bus', 9, 3, "
                          "300, 2.5, 'WMZ', 2, 4, 'Wärme', 2, '1;', 'W')"));
    ASSERT_TRUE(db().exec("INSERT INTO zaehler (LZNR, ZNr, ZQuelle, MBAdr, MBComP, Stufe, ZStellen) "
                          "VALUES (41, '99999999', 'M-Bus', 5, 3, 0, 8)"));
    ASSERT_TRUE(db().exec("INSERT INTO zaehler (LZNR, ZNr, ZQuelle, MBAdr, MBComP) VALUES (42, '12345601', 'M-Bus', 1, 4)"))
        << "same identification on another port";

    const ListImportResult r = ImportListIntoDatabase(db(), 3, kFound);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(r.updated, 2);

    QSqlQuery q;
    ASSERT_TRUE(db().query(q, "SELECT * FROM zaehler WHERE LZNR = 40"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value("MBAdr").toInt(), 1) << "the row's address";
    EXPECT_EQ(q.value("MBBaud").toInt(), 2400);
    EXPECT_EQ(q.value("ZName").toString(), "12345601_PAD");
    EXPECT_DOUBLE_EQ(q.value("faktor").toDouble(), 2.5);
    EXPECT_EQ(q.value("ZTyp").toString(), "WMZ");
    EXPECT_EQ(q.value("Stufe").toInt(), 2);
    EXPECT_EQ(q.value("MBIndex").toInt(), 4);
    EXPECT_EQ(q.value("TarifGruppe").toString(), "Wärme");
    EXPECT_EQ(q.value("Tarifgrp").toInt(), 2);
    EXPECT_EQ(q.value("Tarif").toString(), "1;");
    EXPECT_EQ(q.value("Feld").toString(), "W");
    EXPECT_DOUBLE_EQ(q.value("Impulse").toDouble(), 1) << "empty columns get their default";
    EXPECT_EQ(q.value("ZStellen").toInt(), 7);

    ASSERT_TRUE(db().query(q, "SELECT * FROM zaehler WHERE LZNR = 41"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value("ZNr").toString(), "22334455") << "found by its address";
    EXPECT_EQ(q.value("Stufe").toInt(), 0) << "a switched-off meter stays switched off";
    EXPECT_EQ(q.value("ZStellen").toInt(), 8);

    ASSERT_TRUE(db().query(q, "SELECT MBAdr, ZName FROM zaehler WHERE LZNR = 42"));
    ASSERT_TRUE(q.next());
    EXPECT_TRUE(q.value("ZName").isNull()) << "the meter on port 4 is untouched";
    EXPECT_EQ(meterCount(), 3);

    // Importing again changes nothing.
    EXPECT_EQ(ImportListIntoDatabase(db(), 3, kFound).updated, 2);
    EXPECT_EQ(meterCount(), 3);
    EXPECT_EQ(masterMeters(3), (QStringList{"1;12345601"}));
}

TEST_P(ListImport, SecondaryRowsAtAddress253AreKeptApart)
{
    const QList<QStringList> rows{{"253", "77777778", "ABB", "2", "Wasser", "4", "9600;2400", "1057"},
                                  {"253", "77777779", "ABB", "2", "Wasser", "4", "2400", "1057"},
                                  {"253", "77777778", "ABB", "2", "Wasser", "4", "9600", "1057"}};
    const ListImportResult r = ImportListIntoDatabase(db(), 2, rows);
    EXPECT_EQ(r.added, 2);
    EXPECT_EQ(r.updated, 1);
    EXPECT_EQ(meter("77777778")["mbbaud"].toInt(), 9600);
    EXPECT_EQ(meter("77777779")["mbbaud"].toInt(), 2400);
}

TEST_P(ListImport, PortAndBoundValues)
{
    EXPECT_EQ(ListImportPort("MBTestCom4.txt", 2), 4);
    EXPECT_EQ(ListImportPort("MBTestCom2405171430.txt", 2), 2);
    EXPECT_EQ(ListImportPort("", 0), 0);
    const ListImportResult none = ImportListIntoDatabase(db(), 0, kFound);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(meterCount(), 0);

    const QList<QStringList> rows{{"7", "1'; DELETE FROM zaehler; --", "O'B", "1", "Gas\"", "1", "x;"}};
    ASSERT_TRUE(ImportListIntoDatabase(db(), 1, rows).ok);
    const QVariantMap m = meter("1'; DELETE FROM zaehler; --");
    EXPECT_EQ(m["hersteller"], "O'B");
    EXPECT_EQ(m["mb_medium"], "Gas\"");
    EXPECT_TRUE(m["mbbaud"].isNull()) << "no baud rate in the row";
}

TEST_P(ListImport, DatabaseErrorEndsTheImportAndKeepsEarlierRows)
{
    if (GetParam() == test::Engine::SQLite) {
        ASSERT_TRUE(db().exec("CREATE TRIGGER refuse BEFORE INSERT ON zaehler WHEN NEW.ZNr = '22334455' "
                              "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    } else {
        ASSERT_TRUE(db().exec("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.znr = '22334455' THEN "
                              "RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql"));
        ASSERT_TRUE(db().exec("CREATE TRIGGER refuse BEFORE INSERT ON zaehler FOR EACH ROW EXECUTE FUNCTION refuse()"));
    }
    QList<QStringList> rows = kFound;
    rows << QStringList{"6", "66666666", "ELS"};
    const ListImportResult r = ImportListIntoDatabase(db(), 3, rows);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.contains("refused")) << r.message.toStdString();
    EXPECT_EQ(r.added, 1);
    EXPECT_FALSE(meter("12345601").isEmpty());
    EXPECT_TRUE(meter("66666666").isEmpty()) << "the import ended at the failing row";
    EXPECT_EQ(meterCount(), 1);
}

TEST_P(ListImport, ASavedListGoesIntoTheDatabase)
{
    const QString dir = QDir::currentPath() + "/listen";
    const ListSaveResult saved = SaveFoundMeterList(kFound, dir, QDateTime(QDate(2024, 5, 17), QTime(9, 5)));
    ASSERT_TRUE(saved.ok);
    ASSERT_TRUE(QFile::rename(dir + "/" + saved.fileName, dir + "/MBTestCom6.txt"));
    ASSERT_EQ(TestFiles(dir), QStringList{"MBTestCom6.txt"});
    const ListReadResult read = ReadFoundMeterList(dir + "/MBTestCom6.txt");
    ASSERT_TRUE(read.ok);
    const int port = ListImportPort("MBTestCom6.txt", 1);
    ASSERT_TRUE(ImportListIntoDatabase(db(), port, read.rows).ok);
    EXPECT_EQ(masterMeters(6), (QStringList{"1;12345601", "5;22334455"}));
    // A new meter written by a later insert of the installation gets a fresh key.
    ASSERT_TRUE(db().exec("INSERT INTO zaehler (ZNr, ZQuelle) VALUES ('neu', 'M-Bus')")) << LastErrorText().toStdString();
    EXPECT_EQ(meterCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(Engines, ListImport, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);
