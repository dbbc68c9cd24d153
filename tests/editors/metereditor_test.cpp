#include "editorfixture.h"
#include "editors/metereditor.h"
#include "foundation/messages.h"
#include "master/meterlist.h"
#include "master/metertablemodel.h"

#include <QSqlQuery>

using namespace kelvaro;

namespace {

class MeterEditing : public test::EditorTest {
protected:
    void addIndexRow(qint64 lznr, int index, const QString& art, const QVariant& shown, const QVariant& stored,
                     double factor = 1)
    {
        ASSERT_TRUE(db().exec("INSERT INTO MB_IndexListe (Lznr, MBIndex, [Index], Art, Einheit, Faktor, MBTyp, Typ, "
                              "Anzeigen, Speichern) VALUES (?, ?, ?, ?, 'kWh', ?, 0, 0, ?, ?)",
                              {lznr, index, index, art, factor, shown, stored}))
            << LastErrorText().toStdString();
    }
    QVariantList indexRow(qint64 lznr, int index, const QString& indexColumn = "MBIndex")
    {
        QSqlQuery q;
        EXPECT_TRUE(db().query(q, "SELECT Art, Anzeigen, Speichern, Faktor, MBTyp, Typ FROM MB_IndexListe "
                                  "WHERE Lznr = ? AND " + indexColumn + " = ?",
                               {lznr, index}));
        QVariantList row;
        if (q.next())
            for (int k = 0; k < 6; ++k)
                row << q.value(k);
        return row;
    }
    std::unique_ptr<MeterEditor> editor(const QString& client = "200")
    {
        auto e = std::make_unique<MeterEditor>(settings_, client);
        EXPECT_TRUE(e->ListeLaden());
        return e;
    }
};

TEST_P(MeterEditing, SavesTheFieldsAndTheIndexRowsTheTableHolds)
{
    const qint64 lznr = addMeter("4711", 5, 1);
    addIndexRow(lznr, 1, "Energie", true, true, 0.001);
    addIndexRow(lznr, 2, "Volumen", QVariant(), QVariant());
    auto e = editor();
    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(lznr)));
    EXPECT_EQ(e->fields.ZNr, "4711");
    EXPECT_EQ(e->fields.MBAdr, "5");
    EXPECT_EQ(e->fields.MBZstand, 1);
    ASSERT_EQ(e->indexGrid.rowCount(), 2);
    EXPECT_EQ(e->indexGrid.cell(0, MeterIndexGrid::ColFaktor), "0,001");
    EXPECT_EQ(e->indexGrid.cell(0, MeterIndexGrid::ColAnzeigen), "True");
    EXPECT_EQ(e->indexGrid.cell(1, MeterIndexGrid::ColAnzeigen), "");

    e->fields.ZName = "Wärme Haus 2";
    e->fields.MBAdr = "17";
    e->fields.MBZstand = 0;
    e->indexGrid.setData(e->indexGrid.index(0, MeterIndexGrid::ColArt), "Energie HT", Qt::EditRole);
    e->indexGrid.setData(e->indexGrid.index(0, MeterIndexGrid::ColTyp), "1", Qt::EditRole);
    EXPECT_EQ(e->indexGrid.cell(0, MeterIndexGrid::ColLznr), QString::number(lznr) + "*");
    e->indexGrid.toggleShown(0);
    e->indexGrid.appendRow({QString::number(lznr), "9", "Neu", "", "True", "1", "0", "True"});
    ASSERT_TRUE(e->cmdSpeichern());
    EXPECT_FALSE(e->editing());

    EXPECT_EQ(db().scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {lznr}).toString(), "Wärme Haus 2");
    EXPECT_EQ(db().scalar("SELECT MBAdr FROM zaehler WHERE LZNR = ?", {lznr}).toInt(), 17);
    EXPECT_EQ(db().scalar("SELECT MBZstand FROM zaehler WHERE LZNR = ?", {lznr}).toInt(), 0);
    const QVariantList energy = indexRow(lznr, 1);
    ASSERT_EQ(energy.size(), 6);
    EXPECT_EQ(energy[0].toString(), "Energie HT");
    EXPECT_FALSE(energy[1].toBool());
    EXPECT_DOUBLE_EQ(energy[3].toDouble(), 0.001);
    EXPECT_EQ(energy[4].toInt(), 1);
    // The empty cells were stored as "false" and "True", and show it.
    const QVariantList volume = indexRow(lznr, 2);
    EXPECT_FALSE(volume[1].toBool());
    EXPECT_TRUE(volume[2].toBool());
    EXPECT_EQ(e->indexGrid.cell(1, MeterIndexGrid::ColAnzeigen), "false");
    EXPECT_EQ(e->indexGrid.cell(1, MeterIndexGrid::ColSpeichern), "True");
    // The row of an index the table does not hold was not inserted.
    EXPECT_EQ(count("MB_IndexListe", lznr), 2);
    EXPECT_EQ(e->list.cell(e->rememberedRow(), MeterListGrid::ColAdresse), "17");
}

TEST_P(MeterEditing, TheMsconsLocationIsEditedAndAnOlderTableGetsItsColumn)
{
    const qint64 lznr = addMeter("4711", 5, 1);
    ASSERT_TRUE(db().exec("ALTER TABLE zaehler DROP COLUMN MSCONS_Lokation")) << LastErrorText().toStdString();
    auto e = editor();
    ASSERT_TRUE(db().columnExists("zaehler", "MSCONS_Lokation"));
    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(lznr)));
    EXPECT_EQ(e->fields.MSCONS_Lokation, "");

    const QString point = "DE0001234567890123456789012345678";
    e->fields.MSCONS_Lokation = point + "123"; // one more than the column holds
    e->fields.ZName = "nicht gespeichert";
    EXPECT_FALSE(e->cmdSpeichern());
    ASSERT_FALSE(dir_.messages().isEmpty());
    EXPECT_TRUE(dir_.messages().last().contains("Lokation")) << dir_.messages().last().toStdString();
    EXPECT_TRUE(db().scalar("SELECT MSCONS_Lokation FROM zaehler WHERE LZNR = ?", {lznr}).isNull());
    EXPECT_NE(db().scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {lznr}).toString(), "nicht gespeichert");

    e->fields.MSCONS_Lokation = " " + point + " ";
    ASSERT_TRUE(e->cmdSpeichern());
    EXPECT_EQ(db().scalar("SELECT MSCONS_Lokation FROM zaehler WHERE LZNR = ?", {lznr}).toString(), point);
    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(lznr)));
    EXPECT_EQ(e->fields.MSCONS_Lokation, point);
    e->fields.MSCONS_Lokation.clear();
    ASSERT_TRUE(e->cmdSpeichern());
    EXPECT_TRUE(db().scalar("SELECT MSCONS_Lokation FROM zaehler WHERE LZNR = ?", {lznr}).isNull());
}

TEST_P(MeterEditing, ANewMeterIsAnMBusMeterOfTariffGroupOneWithEmptyFields)
{
    const qint64 old = addMeter("1", 1, 1);
    ASSERT_TRUE(db().exec("UPDATE zaehler SET MB_SelectSec = '12345678' WHERE LZNR = ?", {old}));
    addIndexRow(old, 1, "Energie", true, true);
    auto e = editor();
    ASSERT_TRUE(e->cmdAendern(0));
    e->cmdAbbrechen();
    ASSERT_TRUE(e->cmdNeu());
    EXPECT_TRUE(e->fields.MB_SelectSec.isEmpty());
    EXPECT_EQ(e->indexGrid.rowCount(), 0);
    EXPECT_EQ(e->rememberedRow(), -1);
    e->fields.ZNr = "NEU-1";
    e->fields.MBAdr = "33";
    e->fields.MBComP = "2";
    e->fields.MBBaud = "2400";
    ASSERT_TRUE(e->cmdSpeichern());

    QSqlQuery q;
    ASSERT_TRUE(db().query(q, "SELECT LZNR, Tarifgrp, ZQuelle, Stufe, MBAdr FROM zaehler WHERE ZNr = 'NEU-1'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toInt(), 1);
    EXPECT_EQ(q.value(2).toString(), "M-Bus");
    EXPECT_EQ(q.value(3).toInt(), 1);
    EXPECT_EQ(count("MB_IndexListe", q.value(0).toLongLong()), 0);
    EXPECT_EQ(e->list.rowCount(), 2);
    EXPECT_EQ(e->list.lznrAt(e->rememberedRow()), q.value(0).toLongLong());
}

TEST_P(MeterEditing, CopyReplacesTheTargetsListButNotOntoItselfOrAfterCancel)
{
    const qint64 source = addMeter("S", 1, 1);
    const qint64 target = addMeter("T", 2, 1);
    addIndexRow(source, 1, "Energie", true, true);
    addIndexRow(source, 2, "Volumen", QVariant(), true);
    addIndexRow(target, 7, "Alt", true, true);
    auto e = editor();
    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(source)));

    EXPECT_FALSE(e->copyIndexList(""));
    EXPECT_FALSE(e->copyIndexList(QString::number(source)));
    EXPECT_EQ(count("MB_IndexListe", source), 2);
    EXPECT_EQ(indexRow(target, 7).value(0).toString(), "Alt");

    ASSERT_TRUE(e->copyIndexList(QString::number(target)));
    EXPECT_EQ(count("MB_IndexListe", target), 2);
    EXPECT_TRUE(indexRow(target, 7).isEmpty());
    const QVariantList volume = indexRow(target, 2);
    EXPECT_EQ(volume.value(0).toString(), "Volumen");
    EXPECT_FALSE(volume.value(1).toBool());
    EXPECT_TRUE(volume.value(2).isNull()) << "Speichern is not copied";
    EXPECT_EQ(count("MB_IndexListe", source), 2);
}

TEST_P(MeterEditing, DeleteAnsweredNoChangesNothingAndYesRemovesMeterAndList)
{
    const qint64 lznr = addMeter("D", 4, 1);
    const qint64 other = addMeter("E", 5, 1);
    addIndexRow(lznr, 1, "Energie", true, true);
    addIndexRow(other, 1, "Energie", true, true);
    auto e = editor();
    EXPECT_FALSE(e->cmdLoeschen(e->list.rowOf(lznr)));
    EXPECT_EQ(dir_.messages().value(0), "Der Zähler wird gelöcht!\rSind sie sicher?");
    EXPECT_EQ(dir_.messageTitles().value(0), "MBus-Zähler bearbeiten beenden");
    EXPECT_EQ(LastQuestionIcon(), MessageIcon::Critical);
    EXPECT_EQ(count("zaehler", lznr), 1);
    EXPECT_EQ(count("MB_IndexListe", lznr), 1);

    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(other)));
    EXPECT_FALSE(e->cmdLoeschenausfuehren());
    EXPECT_EQ(count("MB_IndexListe", other), 1);
    dir_.answerQuestions(true);
    EXPECT_TRUE(e->cmdLoeschenausfuehren());
    EXPECT_EQ(count("MB_IndexListe", other), 0);
    EXPECT_EQ(count("zaehler", other), 1);
    e->cmdAbbrechen();

    EXPECT_TRUE(e->cmdLoeschen(e->list.rowOf(lznr)));
    EXPECT_EQ(count("zaehler", lznr), 0);
    EXPECT_EQ(count("MB_IndexListe", lznr), 0);
    EXPECT_EQ(e->list.rowCount(), 1);
}

TEST_P(MeterEditing, Client2500ReadsAndWritesIndexAndTyp)
{
    const qint64 lznr = addMeter("2500", 1, 1);
    ASSERT_TRUE(db().exec("INSERT INTO MB_IndexListe (Lznr, [Index], Typ, Art, Anzeigen, Speichern) "
                          "VALUES (?, 3, 1, 'Leistung', ?, ?)",
                          {lznr, true, true}));
    auto e = editor("2500");
    ASSERT_TRUE(e->cmdAendern(0));
    ASSERT_EQ(e->indexGrid.rowCount(), 1);
    EXPECT_EQ(e->indexGrid.headers().value(MeterIndexGrid::ColIndex), "Index");
    EXPECT_EQ(e->indexGrid.cell(0, MeterIndexGrid::ColIndex), "3");
    EXPECT_EQ(e->indexGrid.cell(0, MeterIndexGrid::ColTyp), "1");
    e->indexGrid.setData(e->indexGrid.index(0, MeterIndexGrid::ColTyp), "0", Qt::EditRole);
    ASSERT_TRUE(e->cmdSpeichern());
    EXPECT_EQ(indexRow(lznr, 3, "[Index]").value(5).toInt(), 0);
}

TEST_P(MeterEditing, ADatabaseErrorShowsAMessageAndKeepsGridAndStoredRows)
{
    const qint64 lznr = addMeter("X", 1, 1);
    addIndexRow(lznr, 1, "Energie", true, true);
    auto e = editor();
    ASSERT_TRUE(e->cmdAendern(0));
    e->indexGrid.setData(e->indexGrid.index(0, MeterIndexGrid::ColArt), "Geändert", Qt::EditRole);
    e->fields.ZName = "Geändert";

    // The table is gone on the way: the meter row was written, the index rows fail.
    ASSERT_TRUE(db().exec("ALTER TABLE MB_IndexListe RENAME TO MB_IndexListe_weg"));
    EXPECT_FALSE(e->cmdSpeichern());
    ASSERT_TRUE(db().exec("ALTER TABLE MB_IndexListe_weg RENAME TO MB_IndexListe"));
    EXPECT_TRUE(e->editing());
    EXPECT_EQ(e->indexGrid.cell(0, MeterIndexGrid::ColArt), "Geändert");
    ASSERT_FALSE(dir_.messages().isEmpty());
    EXPECT_TRUE(dir_.messages().last().startsWith("Fehler in der Datenbank "));
    EXPECT_EQ(db().scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {lznr}).toString(), "Name X");

    EditorDatabaseSettings gone = settings_;
    gone.dataSource = gone.isFile() ? QStringLiteral(".\\nirgends\\basis.mdb") : QStringLiteral("127.0.0.1:1");
    MeterEditor offline(gone, Mandant);
    EXPECT_FALSE(offline.ListeLaden());
    EXPECT_EQ(offline.MBusZaehlerSpeichern(lznr), 0);
    EXPECT_EQ(count("zaehler", lznr), 1);
}

TEST_P(MeterEditing, ANewMeterWithAddressAndBaudRateIsInTheMastersListOfItsPort)
{
    ASSERT_TRUE(db().exec("INSERT INTO tagrp (TAGRP_NR, TAGRP_NAME, BasisTarif) VALUES (1, 'Strom', 1)"));
    auto e = editor();
    const auto create = [&](const QString& znr, const QString& address, const QString& id) {
        EXPECT_TRUE(e->cmdNeu());
        e->fields.ZNr = znr;
        e->fields.MBAdr = address;
        e->fields.MBComP = "3";
        e->fields.MBBaud = "2400";
        e->fields.MB_ID = id;
        EXPECT_TRUE(e->cmdSpeichern());
        return db().scalar("SELECT LZNR FROM zaehler WHERE ZNr = ?", {znr}).toLongLong();
    };
    const qint64 byAddress = create("OHNE-ID", "9", "");
    const qint64 byId = create("MIT-ID", "10", "12345678");
    EXPECT_TRUE(dir_.messages().isEmpty()) << dir_.messages().join('\n').toStdString();

    master::MeterTableModel meters;
    QStringList log;
    const int listed = master::BM_ZaehlerlisteLadenComPort(
        db(), 3, {meters, [&](const QString& line) { log << line; }, [&](const QString& line) { log << line; }});
    ASSERT_EQ(listed, 2) << log.join('\n').toStdString();
    for (int number = 1; number <= meters.meterCount(); ++number) {
        const master::MeterRecord& m = meters.meter(number);
        ASSERT_TRUE(m.LZNR == byAddress || m.LZNR == byId);
        EXPECT_TRUE(m.hasPrimAdr);
        EXPECT_EQ(m.PrimAdr, m.LZNR == byAddress ? 9 : 10);
        EXPECT_EQ(m.MBBaud, 2400);
        EXPECT_EQ(m.MB_ID, m.LZNR == byAddress ? "" : "12345678");
        EXPECT_TRUE(m.MB_SelectSec.isEmpty());
    }

    // Without tariff group 1 the master would not list it: the save says so.
    ASSERT_TRUE(db().exec("DELETE FROM tagrp"));
    create("OHNE-GRUPPE", "11", "");
    ASSERT_EQ(dir_.messages().size(), 1);
    EXPECT_TRUE(dir_.messages()[0].contains("Tarifgruppe 1")) << dir_.messages()[0].toStdString();
    EXPECT_EQ(db().scalar("SELECT COUNT(*) FROM zaehler WHERE ZNr = 'OHNE-GRUPPE'").toInt(), 1);
}

TEST_P(MeterEditing, ANewMeterKeepsItsOwnKeyWhenAnotherMeterIsInsertedMeanwhile)
{
    // Another program's meter arrives with every insert (as the test bench's list import may).
    QSqlQuery q(db().database());
    if (GetParam() == test::Engine::SQLite) {
        ASSERT_TRUE(q.exec("CREATE TRIGGER other AFTER INSERT ON zaehler WHEN NEW.ZNr <> 'fremd' BEGIN "
                           "INSERT INTO zaehler (ZNr, ZQuelle, Stufe, MBComP) VALUES ('fremd', 'M-Bus', 1, 1); END"));
    } else {
        ASSERT_TRUE(q.exec("CREATE FUNCTION other() RETURNS trigger AS $$ BEGIN IF NEW.znr <> 'fremd' THEN "
                           "INSERT INTO zaehler (ZNr, ZQuelle, Stufe, MBComP) VALUES ('fremd', 'M-Bus', 1, 1); "
                           "END IF; RETURN NEW; END $$ LANGUAGE plpgsql"));
        ASSERT_TRUE(q.exec("CREATE TRIGGER other AFTER INSERT ON zaehler FOR EACH ROW EXECUTE FUNCTION other()"));
    }
    auto e = editor();
    ASSERT_TRUE(e->cmdNeu());
    e->fields.ZNr = "EIGEN";
    e->fields.MBComP = "1";
    ASSERT_TRUE(e->cmdSpeichern());
    const qint64 own = db().scalar("SELECT LZNR FROM zaehler WHERE ZNr = 'EIGEN'").toLongLong();
    EXPECT_EQ(e->openMeter(), own);
    EXPECT_EQ(e->list.lznrAt(e->rememberedRow()), own) << "the list shows the new meter, not the other one";
}

TEST_P(MeterEditing, TheSecondaryAddressIsShownKeptAndChecked)
{
    const qint64 withId = addMeter("A", 1, 1);
    const qint64 withoutId = addMeter("B", 2, 1);
    ASSERT_TRUE(db().exec("UPDATE zaehler SET MB_ID = '87654321' WHERE LZNR = ?", {withId}));
    const auto storedId = [&](qint64 lznr) {
        return db().scalar("SELECT MB_ID FROM zaehler WHERE LZNR = ?", {lznr}).toString();
    };
    auto e = editor();
    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(withId)));
    EXPECT_EQ(e->fields.MB_ID, "87654321");
    e->fields.ZName = "anders";
    ASSERT_TRUE(e->cmdSpeichern());
    EXPECT_EQ(storedId(withId), "87654321");

    // The test bench's list import fills the ID while the meter is open here.
    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(withoutId)));
    EXPECT_EQ(e->fields.MB_ID, "");
    ASSERT_TRUE(db().exec("UPDATE zaehler SET MB_ID = '11223344' WHERE LZNR = ?", {withoutId}));
    e->fields.ZName = "auch anders";
    ASSERT_TRUE(e->cmdSpeichern());
    EXPECT_EQ(storedId(withoutId), "11223344") << "a save that did not touch the ID keeps it";
    EXPECT_EQ(db().scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {withoutId}).toString(), "auch anders");

    for (const char* bad : {"1234567", "1234567a", "123456789", "ffffffff", "1234 5678", "+1234567"}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(e->cmdAendern(e->list.rowOf(withId)));
        e->fields.MB_ID = QString::fromLatin1(bad);
        e->fields.ZName = "nicht gespeichert";
        EXPECT_FALSE(e->cmdSpeichern());
        EXPECT_TRUE(dir_.messages().last().startsWith("MBus ID : ")) << dir_.messages().last().toStdString();
        EXPECT_EQ(storedId(withId), "87654321");
        EXPECT_EQ(db().scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {withId}).toString(), "anders");
    }

    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(withId)));
    e->fields.MB_ID = " 12345670 ";
    ASSERT_TRUE(e->cmdSpeichern());
    EXPECT_EQ(storedId(withId), "12345670");
    ASSERT_TRUE(e->cmdAendern(e->list.rowOf(withId)));
    e->fields.MB_ID.clear();
    ASSERT_TRUE(e->cmdSpeichern());
    EXPECT_EQ(storedId(withId), "") << "cleared on purpose: read by the primary address";
}

TEST(MeterIndexGridMoves, LeftAndRightSkipFixedReadOnlyAndHiddenColumns)
{
    MeterIndexGrid grid;
    grid.appendRow({"1", "1", "Energie", "kWh", "True", "1", "0", "True"});
    const auto all = [](int) { return true; };
    EXPECT_EQ(NeighbourIndexColumn(grid, MeterIndexGrid::ColEinheit, +1, all), MeterIndexGrid::ColFaktor);
    EXPECT_EQ(NeighbourIndexColumn(grid, MeterIndexGrid::ColFaktor, -1, all), MeterIndexGrid::ColEinheit);
    EXPECT_EQ(NeighbourIndexColumn(grid, MeterIndexGrid::ColArt, -1, all), MeterIndexGrid::ColArt);
    EXPECT_EQ(NeighbourIndexColumn(grid, MeterIndexGrid::ColSpeichern, +1, all), MeterIndexGrid::ColSpeichern);
    const auto noFactor = [](int column) { return column != MeterIndexGrid::ColFaktor; };
    EXPECT_EQ(NeighbourIndexColumn(grid, MeterIndexGrid::ColEinheit, +1, noFactor), MeterIndexGrid::ColTyp);

    grid.toggleShown(0);
    EXPECT_EQ(grid.cell(0, MeterIndexGrid::ColAnzeigen), "False");
    grid.setCell(0, MeterIndexGrid::ColAnzeigen, "false");
    grid.toggleShown(0);
    EXPECT_EQ(grid.cell(0, MeterIndexGrid::ColAnzeigen), "false");
    EXPECT_FALSE(grid.flags(grid.index(0, MeterIndexGrid::ColAnzeigen)) & Qt::ItemIsEditable);
    EXPECT_TRUE(grid.flags(grid.index(0, MeterIndexGrid::ColSpeichern)) & Qt::ItemIsEditable);
}

INSTANTIATE_TEST_SUITE_P(Engines, MeterEditing, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);

} // namespace
