#include "editors/metereditor.h"

#include "editors/typedinput.h"

#include "data/schema.h"

#include "foundation/lasterror.h"
#include "foundation/messages.h"
#include "foundation/textutil.h"

#include <QSqlQuery>

namespace kelvaro {
namespace {

const QString kMeterSql = QStringLiteral(
    " SELECT    zaehler.LZNR, zaehler.ZNR, zaehler.ZNAME, zaehler.MBAdr, zaehler.MBComP, zaehler.MBBaud, "
    "zaehler.MBIndex, zaehler.MBZstand, MB_SelectSec, zaehler.MB_ID, zaehler.MSCONS_Lokation From zaehler "
    "Where ((zaehler.lznr = ?))");

const QString kDeleteIndexListSql =
    QStringLiteral(" DELETE    MB_IndexListe.Lznr From MB_IndexListe Where ((MB_IndexListe.lznr = ?))");

// What an empty cell stands for when a row is written.
QString orDefault(const QString& cell, const char* whenEmpty)
{
    return cell.isEmpty() ? QString::fromLatin1(whenEmpty) : cell;
}

} // namespace

MeterEditor::MeterEditor(EditorDatabaseSettings database, const QString& client, QObject* parent)
    : QObject(parent)
    , database_(std::move(database))
    , olderColumns_(client == QLatin1String("2500"))
{
    indexGrid.setOlderColumns(olderColumns_);
    indexGrid.clearList();
}

bool MeterEditor::failed(EditorDatabase& db)
{
    db.connection().rollback();
    ShowMessageBox(EditorDatabaseMessage(database_, db.errorText()), caption());
    return false;
}

bool MeterEditor::ListeLaden()
{
    if (!columnsChecked_) {
        // An older table gets the columns the edit frame shows.
        EditorDatabase db(database_);
        if (!db.isOpen() || !EnsureMeterColumns(db.connection()))
            return failed(db);
        columnsChecked_ = true;
    }
    if (list.ListeLaden(database_))
        return true;
    ShowMessageBox(EditorDatabaseMessage(database_, LastErrorText()), caption());
    return false;
}

bool MeterEditor::MBusZaehlerLaden(qint64 lznr)
{
    EditorDatabase db(database_);
    if (!db.isOpen())
        return failed(db);
    QSqlQuery q;
    if (!db.connection().query(q, kMeterSql, {lznr}))
        return failed(db);
    MeterFields loaded;
    if (q.next()) {
        loaded = {q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4).toString(),
                  q.value(5).toString(), q.value(6).toString(), q.value(8).toString(), q.value(9).toString(), 0,
                  q.value(10).toString()};
        if (!q.value(7).isNull())
            loaded.MBZstand = q.value(7).toInt();
    }
    q = QSqlQuery();
    if (!indexGrid.load(db.connection(), lznr))
        return failed(db);
    fields = loaded;
    loadedId_ = loaded.MB_ID;
    return true;
}

qint64 MeterEditor::MBusZaehlerSpeichern(qint64 lznr)
{
    // Everything is checked before anything is written.
    CheckedMeter meter;
    QList<CheckedIndexRow> rows;
    QString problem = CheckMeterFields(fields, meter);
    if (problem.isEmpty())
        problem = CheckIndexRows(indexGrid, rows);
    if (!problem.isEmpty()) {
        ShowMessageBox(NothingStoredMessage(problem), caption());
        return 0;
    }
    const bool idChanged = fields.MB_ID.trimmed() != loadedId_.trimmed();

    EditorDatabase db(database_);
    SqlConnection& c = db.connection();
    const auto fail = [&] {
        failed(db);
        return qint64(0);
    };
    if (!db.isOpen() || !c.transaction())
        return fail();
    const QVariant exists = c.scalar(QStringLiteral(" SELECT  COUNT(*)  From zaehler Where ((zaehler.lznr = ?))"), {lznr});
    if (!exists.isValid())
        return fail();
    qint64 saved = lznr;
    QVariantList values{meter.ZNr,    meter.ZName,   meter.MBAdr,        meter.MBComP,         meter.MBBaud,
                        meter.MBIndex, meter.MB_SelectSec, meter.MBZstand, meter.MSCONS_Lokation};
    const bool isNew = exists.toLongLong() == 0;
    if (isNew) {
        // A new meter is an M-Bus meter of the master's list from the start.
        // The key of this row, whatever others insert meanwhile.
        QSqlQuery inserted;
        if (!c.query(inserted,
                     QStringLiteral("INSERT INTO zaehler (ZNr, ZName, MBAdr, MBComP, MBBaud, MBIndex, MB_SelectSec, "
                                    "MBZstand, MSCONS_Lokation, MB_ID, Tarifgrp, ZQuelle, Stufe) "
                                    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, 'M-Bus', 1) RETURNING LZNR"),
                     values + QVariantList{meter.MB_ID})
            || !inserted.next())
            return fail();
        saved = inserted.value(0).toLongLong();
        inserted = QSqlQuery();
    } else {
        QString update = QStringLiteral("UPDATE zaehler SET ZNr = ?, ZName = ?, MBAdr = ?, MBComP = ?, MBBaud = ?, "
                                        "MBIndex = ?, MB_SelectSec = ?, MBZstand = ?, MSCONS_Lokation = ?");
        if (idChanged) {
            update += QStringLiteral(", MB_ID = ?");
            values << meter.MB_ID;
        }
        if (!c.exec(update + QStringLiteral(" WHERE LZNR = ?"), values + QVariantList{lznr}))
            return fail();
    }
    // Rows whose index the table does not hold change nothing.
    const QString update = QStringLiteral("UPDATE MB_IndexListe SET Anzeigen = ?, Art = ?, Einheit = ?, Faktor = ?, ")
        + indexGrid.typeColumn() + QStringLiteral(" = ?, Speichern = ? WHERE Lznr = ? AND ")
        + (olderColumns_ ? QStringLiteral("[Index]") : QStringLiteral("MBIndex")) + QStringLiteral(" = ?");
    for (const CheckedIndexRow& row : rows)
        if (!c.exec(update, {row.anzeigen, row.art, row.einheit, row.faktor, row.typ, row.speichern, saved, row.index}))
            return fail();
    if (!c.commit())
        return fail();
    if (isNew)
        warnWithoutTariffGroup(c);

    const auto shown = [](const QVariant& v) { return v.isNull() ? QString() : v.toString(); };
    fields = {shown(meter.ZNr),    shown(meter.ZName),   shown(meter.MBAdr),        shown(meter.MBComP),
              shown(meter.MBBaud), shown(meter.MBIndex), shown(meter.MB_SelectSec), shown(meter.MB_ID),
              meter.MBZstand,     shown(meter.MSCONS_Lokation)};
    loadedId_ = fields.MB_ID;
    ShowStoredIndexRows(indexGrid, rows);
    return saved;
}

void MeterEditor::warnWithoutTariffGroup(SqlConnection& db)
{
    // The master lists only meters whose tariff group exists.
    const QVariant groups = db.scalar(QStringLiteral("SELECT COUNT(*) FROM tagrp WHERE TAGRP_NR = 1"));
    if (groups.isValid() && groups.toLongLong() == 0)
        ShowMessageBox(QStringLiteral("Der Zähler ist gespeichert, aber die Tarifgruppe 1 fehlt in der Tabelle tagrp: "
                                      "der Master liest ihn erst, wenn es sie gibt."),
                       caption());
}

void MeterEditor::setEditing(bool editing)
{
    editing_ = editing;
    Q_EMIT modeChanged(editing);
}

bool MeterEditor::cmdAendern(int listRow)
{
    const qint64 lznr = list.lznrAt(listRow);
    if (lznr == 0 || !MBusZaehlerLaden(lznr))
        return false;
    rememberedRow_ = listRow;
    openLznr_ = lznr;
    setEditing(true);
    return true;
}

bool MeterEditor::cmdNeu()
{
    fields = {};
    if (!MBusZaehlerLaden(0))
        return false;
    rememberedRow_ = -1;
    openLznr_ = 0;
    setEditing(true);
    return true;
}

bool MeterEditor::cmdSpeichern()
{
    const qint64 saved = MBusZaehlerSpeichern(openLznr_);
    if (saved == 0)
        return false;
    ListeLaden();
    if (rememberedRow_ < 0)
        rememberedRow_ = list.rowOf(saved);
    openLznr_ = saved;
    setEditing(false);
    return true;
}

void MeterEditor::cmdAbbrechen() { setEditing(false); }

bool MeterEditor::deleteIndexList(SqlConnection& db, qint64 lznr) { return db.exec(kDeleteIndexListSql, {lznr}); }

bool MeterEditor::cmdLoeschen(int listRow)
{
    const qint64 lznr = list.lznrAt(listRow);
    if (lznr == 0
        || !AskYesNo(QStringLiteral("Der Zähler wird gelöcht!\rSind sie sicher?"), false, questionTitle(),
                     MessageIcon::Critical))
        return false;
    EditorDatabase db(database_);
    SqlConnection& c = db.connection();
    if (!db.isOpen() || !c.transaction() || !deleteIndexList(c, lznr)
        || !c.exec(QStringLiteral(" DELETE    zaehler.LZNR From zaehler Where ((zaehler.lznr = ?))"), {lznr})
        || !c.commit())
        return failed(db);
    ListeLaden();
    return true;
}

bool MeterEditor::cmdLoeschenausfuehren()
{
    if (openLznr_ == 0
        || !AskYesNo(QStringLiteral("Die Indexliste wird gelöcht!\rSind sie sicher?"), false, questionTitle(),
                     MessageIcon::Critical))
        return false;
    EditorDatabase db(database_);
    if (!db.isOpen() || !deleteIndexList(db.connection(), openLznr_))
        return failed(db);
    return true;
}

QString MeterEditor::copyTargetSql()
{
    return QStringLiteral(" SELECT    zaehler.LZNR, zaehler.ZNR, zaehler.Hersteller, zaehler.Typ, zaehler.ZQUELLE, "
                          "zaehler.ZNAME, zaehler.txtBemerkung as [Bemerkung] From Zaehler "
                          "Where ((Zaehler.ZQuelle = 'M-Bus'))");
}

bool MeterEditor::canCopyIndexList()
{
    QList<CheckedIndexRow> rows;
    return copySource(rows);
}

bool MeterEditor::copySource(QList<CheckedIndexRow>& rows)
{
    if (indexGrid.rowCount() == 0) {
        ShowMessageBox(QStringLiteral("Dieser Zähler hat keine Indexliste: es wird nichts kopiert."), caption());
        return false;
    }
    if (const QString problem = CheckIndexRows(indexGrid, rows); !problem.isEmpty()) {
        ShowMessageBox(problem + QStringLiteral("\rEs wurde nichts kopiert."), caption());
        return false;
    }
    return true;
}

bool MeterEditor::copyIndexList(const QString& target)
{
    const auto targetLznr = ReadWholeNumber(target);
    if (!targetLznr || *targetLznr <= 0 || *targetLznr == openLznr_)
        return false;
    QList<CheckedIndexRow> rows;
    if (!copySource(rows))
        return false;
    EditorDatabase db(database_);
    SqlConnection& c = db.connection();
    if (!db.isOpen() || !c.transaction() || !deleteIndexList(c, *targetLznr))
        return failed(db);
    const QString insert = QStringLiteral("INSERT INTO MB_IndexListe (Lznr, ")
        + (olderColumns_ ? QStringLiteral("[Index]") : QStringLiteral("MBIndex"))
        + QStringLiteral(", Anzeigen, Art, Einheit, Faktor, ") + indexGrid.typeColumn()
        + QStringLiteral(") VALUES (?, ?, ?, ?, ?, ?, ?)");
    for (const CheckedIndexRow& row : rows)
        if (!c.exec(insert, {*targetLznr, row.index, row.anzeigen, row.art, row.einheit, row.faktor, row.typ}))
            return failed(db);
    if (!c.commit())
        return failed(db);
    for (int row = 0; row < indexGrid.rowCount(); ++row)
        indexGrid.setCell(row, MeterIndexGrid::ColAnzeigen, orDefault(indexGrid.cell(row, MeterIndexGrid::ColAnzeigen), "false"));
    return true;
}

} // namespace kelvaro
