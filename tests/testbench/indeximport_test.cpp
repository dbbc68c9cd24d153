#include "data/dbconnection.h"
#include "foundation/lasterror.h"
#include "mbus/wire/meterreading.h"
#include "testbench/indeximport.h"
#include "data/testdatabase.h"

#include <QSqlQuery>

using namespace kelvaro;
using namespace kelvaro::testbench;

namespace {

// The result grid of a reading of address `address`, as M_Bus_AuslesenRac fills it.
QList<QStringList> resultRows(int address, const QStringList& measurements)
{
    QList<QStringList> rows;
    const QStringList units{"kWh            ", "m³             ", "°C             "};
    for (int r = 0; r < measurements.size(); ++r)
        rows << QStringList{QStringLiteral("%1 [%2]").arg(address).arg(r + 1), "Wärme", measurements[r].leftJustified(15),
                            "1000", units[r % units.size()]};
    return rows;
}

class IndexImport : public test::EngineTest {
protected:
    void SetUp() override
    {
        test::EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(MBOpenDatenbank()) << LastErrorText().toStdString();
    }
    SqlConnection& db() { return DBConnection(); }

    qint64 addMeter(const QString& znr, const QVariant& address, int port, const QString& source = "M-Bus")
    {
        EXPECT_TRUE(db().exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle, MBAdr, MBComP, MBBaud, Stufe, Tarifgrp) "
                              "VALUES (?, ?, ?, ?, ?, 2400, 1, 1)",
                              {znr, znr, source, address, port}))
            << LastErrorText().toStdString();
        return db().scalar("SELECT Max(LZNR) FROM zaehler").toLongLong();
    }

    // (record number, Art, Einheit, Speichern) of the meter's index rows.
    QList<QVariantList> indexRows(qint64 lznr, const QString& column = "MBIndex")
    {
        QSqlQuery q;
        const QString c = column == "Index" ? "[Index]" : column;
        EXPECT_TRUE(db().query(q, "SELECT " + c + ", Art, Einheit, Speichern FROM MB_IndexListe WHERE Lznr = ? ORDER BY " + c,
                               {lznr}));
        QList<QVariantList> out;
        while (q.next())
            out << QVariantList{q.value(0).isNull() ? QVariant() : QVariant(q.value(0).toInt()), q.value(1).toString(),
                                q.value(2).toString(), q.value(3).toBool()};
        return out;
    }
    int allIndexRows() { return db().scalar("SELECT Count(*) FROM MB_IndexListe").toInt(); }

    void refuseArt(const QString& art)
    {
        if (GetParam() == test::Engine::SQLite) {
            ASSERT_TRUE(db().exec("CREATE TRIGGER refuse BEFORE INSERT ON MB_IndexListe WHEN NEW.Art = '" + art
                                  + "' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        } else {
            ASSERT_TRUE(db().exec("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.art = '" + art
                                  + "' THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql"));
            ASSERT_TRUE(db().exec("CREATE TRIGGER refuse BEFORE INSERT ON MB_IndexListe FOR EACH ROW EXECUTE FUNCTION refuse()"));
        }
    }
};

} // namespace

TEST_P(IndexImport, ImportingTwiceGivesTheSameList)
{
    const qint64 heat = addMeter("12345601", 1, 2);
    const qint64 other = addMeter("12345602", 2, 2);
    ASSERT_EQ(WriteIndexList(db(), "200", other, resultRows(2, {"Energie"})).outcome, IndexImportOutcome::Imported);

    const QList<QStringList> grid = resultRows(1, {"Energie", "Volumen", "Vorlauftemp."});
    IndexImportResult r = ImportIndex(db(), "200", 2, 1, "12345601", grid);
    ASSERT_EQ(r.outcome, IndexImportOutcome::Imported) << r.message.toStdString();
    EXPECT_EQ(r.lznr, heat);
    EXPECT_EQ(r.rowsWritten, 3);
    EXPECT_TRUE(r.message.isEmpty());
    const QList<QVariantList> first = indexRows(heat);
    EXPECT_EQ(first, (QList<QVariantList>{{1, "Energie", "kWh", true}, {2, "Volumen", "m³", true},
                                          {3, "Vorlauftemp.", "°C", true}}));

    r = ImportIndex(db(), "200", 2, 1, "12345601", grid);
    EXPECT_EQ(r.rowsWritten, 3);
    EXPECT_EQ(indexRows(heat), first);
    EXPECT_EQ(indexRows(other).size(), 1) << "another meter's list is left alone";
}

TEST_P(IndexImport, Client2500WritesTheRecordNumberIntoIndex)
{
    const qint64 lznr = addMeter("12345601", 1, 2);
    ASSERT_EQ(ImportIndex(db(), "2500", 2, 1, "12345601", resultRows(1, {"Energie", "Volumen"})).outcome,
              IndexImportOutcome::Imported);
    EXPECT_EQ(indexRows(lznr, "Index"), (QList<QVariantList>{{1, "Energie", "kWh", true}, {2, "Volumen", "m³", true}}));
    for (const QVariantList& row : indexRows(lznr, "MBIndex"))
        EXPECT_TRUE(row[0].isNull()) << "MBIndex stays empty for client 2500";
    EXPECT_EQ(IndexColumnForClient("2500"), "Index");
    EXPECT_EQ(IndexColumnForClient("200"), "MBIndex");
}

TEST_P(IndexImport, RowsWithoutRecordNumberAndHeaderOnlyGrids)
{
    const qint64 lznr = addMeter("12345601", 1, 2);
    QList<QStringList> grid = resultRows(1, {"Energie", "Volumen"});
    grid.insert(1, {"", "", "", "", ""});
    grid << QStringList{"1\t Fehler : Timeout"}; // the line of a failed continuation telegram
    grid << QStringList{"1 [x]", "Wärme", "Unsinn", "0", ""};
    IndexImportResult r = ImportIndex(db(), "200", 2, 1, "12345601", grid);
    EXPECT_EQ(r.rowsWritten, 2);
    EXPECT_EQ(indexRows(lznr).size(), 2);

    // Only the header row in the result grid: the list is emptied, nothing written.
    r = ImportIndex(db(), "200", 2, 1, "12345601", {});
    EXPECT_EQ(r.outcome, IndexImportOutcome::Imported);
    EXPECT_EQ(r.rowsWritten, 0);
    EXPECT_TRUE(indexRows(lznr).isEmpty());
}

TEST_P(IndexImport, MissingOrAmbiguousMeterChangesNothing)
{
    const qint64 lznr = addMeter("12345601", 1, 2);
    ASSERT_EQ(WriteIndexList(db(), "200", lznr, resultRows(1, {"Energie"})).rowsWritten, 1);
    addMeter("33333333", 3, 2);
    addMeter("33333334", 3, 2);            // two meters at address 3
    addMeter("44444444", 4, 2, "CSV Import"); // not an M-Bus meter
    const QList<QStringList> grid = resultRows(1, {"Energie", "Volumen"});
    for (const auto& [port, address] : {std::pair{2, 9}, std::pair{3, 1}, std::pair{2, 3}, std::pair{2, 4}}) {
        const IndexImportResult r = ImportIndex(db(), "200", port, address, "12345601", grid);
        EXPECT_EQ(r.outcome, IndexImportOutcome::MeterNotFound) << port << "/" << address;
        EXPECT_EQ(r.message, "Zähler nicht gefunden");
    }
    // Empty port, identification or the end address: nothing at all.
    for (const auto& [port, address, id] : {std::tuple{0, 1, "12345601"}, std::tuple{2, 1, " "}, std::tuple{2, 353, "1"}}) {
        const IndexImportResult r = ImportIndex(db(), "200", port, address, id, grid);
        EXPECT_EQ(r.outcome, IndexImportOutcome::NotStarted);
        EXPECT_TRUE(r.message.isEmpty());
    }
    EXPECT_EQ(allIndexRows(), 1);
}

TEST_P(IndexImport, ValuesFromTheGridAreBoundNotPasted)
{
    const qint64 lznr = addMeter("12345601", 1, 2);
    const QList<QStringList> grid{{"1 [1]", "Wärme", "O'Brien\"; DROP TABLE zaehler; --", "0", "'"}};
    ASSERT_EQ(ImportIndex(db(), "200", 2, 1, "'; DELETE FROM zaehler; --", grid).rowsWritten, 1);
    EXPECT_EQ(indexRows(lznr)[0][1], "O'Brien\"; DROP TABLE zaehler; --");
    EXPECT_EQ(indexRows(lznr)[0][2], "'");
    EXPECT_EQ(db().scalar("SELECT Count(*) FROM zaehler").toInt(), 1);
}

TEST_P(IndexImport, DatabaseErrorKeepsTheMetersOldList)
{
    const qint64 lznr = addMeter("12345601", 1, 2);
    ASSERT_EQ(WriteIndexList(db(), "200", lznr, resultRows(1, {"Alt1", "Alt2"})).rowsWritten, 2);
    refuseArt("kaputt");
    const IndexImportResult r = ImportIndex(db(), "200", 2, 1, "12345601", resultRows(1, {"Energie", "kaputt", "x"}));
    EXPECT_EQ(r.outcome, IndexImportOutcome::DatabaseError);
    EXPECT_EQ(r.rowsWritten, 0);
    EXPECT_TRUE(r.message.contains("refused")) << r.message.toStdString();
    const QList<QVariantList> rows = indexRows(lznr);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1][1], "Alt2");
}

TEST_P(IndexImport, AllMetersOfThePortAreReadAndReported)
{
    const qint64 a = addMeter("11111111", 1, 2);
    const qint64 b = addMeter("22222222", 2, 2);
    addMeter("55555555", 5, 2);          // does not answer
    addMeter("66666666", QVariant(), 2); // no primary address
    addMeter("99999999", 9, 3);          // another port
    QList<int> asked;
    QList<int> progress;
    AllIndexCallbacks calls;
    calls.readMeter = [&](int address) {
        asked << address;
        if (address == 5) {
            mbus::PrimaryReading silent;
            silent.lastReceiveError = 1;
            return RowsOfReading(silent);
        }
        mbus::PrimaryReading reading;
        reading.telegrams = 1;
        reading.display.rows = resultRows(address, address == 1 ? QStringList{"Energie", "Volumen"} : QStringList{"Energie"});
        return RowsOfReading(reading);
    };
    calls.progress = [&](int done, int total, const QString&) {
        progress << done;
        EXPECT_EQ(total, 4);
    };
    const AllIndexResult r = ImportAllIndex(db(), "200", 2, calls);
    EXPECT_EQ(asked, (QList<int>{1, 2, 5}));
    EXPECT_EQ(progress, (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(r.meters, 4);
    EXPECT_EQ(r.imported, 2);
    EXPECT_EQ(r.failed, 2);
    EXPECT_FALSE(r.cancelled);
    EXPECT_FALSE(r.databaseError);
    ASSERT_EQ(r.report.size(), 4);
    EXPECT_TRUE(r.report[0].startsWith("Fehler Adr - ")) << r.report[0].toStdString();
    EXPECT_TRUE(r.report[0].contains("keine Primäradresse"));
    EXPECT_EQ(r.report[1], QStringLiteral("Imp Idx Adr 1 LZNR %1 ZNr 11111111: 2 Werte").arg(a));
    EXPECT_EQ(r.report[2], QStringLiteral("Imp Idx Adr 2 LZNR %1 ZNr 22222222: 1 Werte").arg(b));
    EXPECT_TRUE(r.report[3].startsWith("Fehler Adr 5 ")) << r.report[3].toStdString();
    EXPECT_TRUE(r.report[3].contains("Timeout")) << r.report[3].toStdString();
    EXPECT_EQ(indexRows(a).size(), 2);
    EXPECT_EQ(indexRows(b).size(), 1);
    EXPECT_EQ(allIndexRows(), 3);

    const AllIndexResult none = ImportAllIndex(db(), "200", 7, calls);
    EXPECT_EQ(none.meters, 0);
    EXPECT_EQ(none.message, "Zähler nicht gefunden");
}

TEST_P(IndexImport, AllIndexStopsWhenAskedAndOnADatabaseError)
{
    const qint64 a = addMeter("11111111", 1, 2);
    const qint64 b = addMeter("22222222", 2, 2);
    const qint64 c = addMeter("33333333", 3, 2);
    int reads = 0;
    AllIndexCallbacks calls;
    calls.readMeter = [&](int address) {
        ++reads;
        return MeterRows{true, resultRows(address, {address == 2 ? "kaputt" : "Energie"}), {}};
    };
    bool stop = false;
    calls.stopRequested = [&] { return stop; };
    calls.progress = [&](int done, int, const QString&) { stop = done == 1; };
    AllIndexResult r = ImportAllIndex(db(), "200", 2, calls);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(r.report.size(), 1);

    // A stop during the reading of meter 2: what it handed back may be cut
    // short, so its list stays as it was and it is no failure.
    stop = false;
    calls.progress = {};
    calls.readMeter = [&](int address) {
        ++reads;
        stop = address == 2;
        return MeterRows{true, resultRows(address, {"Energie"}), {}};
    };
    ASSERT_TRUE(WriteIndexList(db(), "200", b, resultRows(2, {"Energie", "Volumen"})).outcome
                == IndexImportOutcome::Imported);
    reads = 0;
    r = ImportAllIndex(db(), "200", 2, calls);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(r.imported, 1);
    EXPECT_EQ(r.failed, 0);
    ASSERT_EQ(r.report.size(), 2);
    EXPECT_EQ(r.report[1], QStringLiteral("Abgebrochen Adr 2 LZNR %1 ZNr 22222222").arg(b));
    EXPECT_EQ(indexRows(b).size(), 2);
    // A reading the stop broke off mid-frame is no fault of the meter either.
    calls.readMeter = [&](int address) {
        stop = address == 2;
        return stop ? MeterRows{false, {}, "Wrong Length"} : MeterRows{true, resultRows(address, {"Energie"}), {}};
    };
    stop = false;
    r = ImportAllIndex(db(), "200", 2, calls);
    EXPECT_EQ(r.failed, 0);
    ASSERT_EQ(r.report.size(), 2);
    EXPECT_TRUE(r.report[1].startsWith("Abgebrochen Adr 2 ")) << r.report[1].toStdString();
    EXPECT_EQ(indexRows(b).size(), 2);
    ASSERT_TRUE(WriteIndexList(db(), "200", b, {}).outcome == IndexImportOutcome::Imported);

    stop = false;
    reads = 1;
    calls.readMeter = [&](int address) {
        ++reads;
        return MeterRows{true, resultRows(address, {address == 2 ? "kaputt" : "Energie"}), {}};
    };
    refuseArt("kaputt");
    r = ImportAllIndex(db(), "200", 2, calls);
    EXPECT_TRUE(r.databaseError);
    EXPECT_EQ(reads, 3) << "the run ends at the meter that failed";
    ASSERT_EQ(r.report.size(), 2);
    EXPECT_TRUE(r.report[1].startsWith("Fehler Adr 2 ")) << r.report[1].toStdString();
    EXPECT_TRUE(r.message.contains("refused"));
    EXPECT_EQ(indexRows(a).size(), 1) << "the meter before keeps its new list";
    EXPECT_TRUE(indexRows(b).isEmpty());
    EXPECT_TRUE(indexRows(c).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, IndexImport, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);
