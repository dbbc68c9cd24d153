#include "editors/indexexporteditor.h"

#include "data/schema.h"
#include "editors/editordatabase.h"
#include "editors/typedinput.h"
#include "foundation/lasterror.h"
#include "foundation/messages.h"

#include <QSqlQuery>

namespace kelvaro {
namespace {

const QString kMeterSql = QStringLiteral(
    " SELECT    zaehler.LZNR, zaehler.ZNR, zaehler.ZNAME, zaehler.MBAdr, zaehler.MBComP, zaehler.MBBaud, "
    "zaehler.MBIndex, zaehler.MBZstand From zaehler Where ((zaehler.lznr = ?))");
const QString kIndexListSql = QStringLiteral(
    " SELECT    MBusIndexListe.Lznr, MBusIndexListe.MBIndex, MBusIndexListe.Text From MBusIndexListe "
    "Where ((MBusIndexListe.lznr = ?)) ORDER BY MBusIndexListe.MBIndex");
const QString kDeleteSql = QStringLiteral(
    " DELETE    MBusIndexListe.Lznr From MBusIndexListe Where ((MBusIndexListe.lznr = ?))");
const QString kInsertSql = QStringLiteral("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (?, ?, ?)");

} // namespace

IndexExportEditor::IndexExportEditor(QObject* parent)
    : QObject(parent)
{
}

void IndexExportEditor::load(const EditorEnvironment& environment)
{
    environment_ = environment;
    exportSettings.load(environment_.client, environment_.datenPath);
    ListeLaden();
    indexGrid.InitGridIndex();
    checkIndexListColumns();
    emit changed();
}

bool IndexExportEditor::refused(const QString& reason)
{
    ShowMessageBox(EditorDatabaseMessage(environment_.database, reason));
    return false;
}

void IndexExportEditor::checkIndexListColumns()
{
    EditorDatabase db(environment_.database);
    if (!db.isOpen() || !EnsureIndexListColumns(db.connection()) || !EnsureExportIndexListColumn(db.connection()))
        refused(LastErrorText());
}

bool IndexExportEditor::ListeLaden()
{
    if (!list.ListeLaden(environment_.database))
        return refused(LastErrorText());
    emit changed();
    return true;
}

bool IndexExportEditor::MBusIndexListeLaden(qint64 lznr)
{
    std::array<QString, 3> fields;
    QList<QStringList> rows;
    {
        EditorDatabase db(environment_.database);
        if (!db.isOpen())
            return refused(db.errorText());
        QSqlQuery meter;
        if (!db.connection().query(meter, kMeterSql, {lznr}))
            return refused(db.errorText());
        if (meter.next())
            fields = {meter.value(1).toString(), meter.value(2).toString(), meter.value(3).toString()};
        QSqlQuery indexes;
        if (!db.connection().query(indexes, kIndexListSql, {lznr}))
            return refused(db.errorText());
        while (indexes.next())
            rows << QStringList{QString::number(lznr), indexes.value(1).toString(), indexes.value(2).toString()};
    }
    Text1 = fields;
    indexGrid.InitGridIndex();
    if (!rows.isEmpty()) {
        indexGrid.clearRows();
        for (const QStringList& row : rows)
            indexGrid.appendRow(row);
    }
    emit changed();
    return true;
}

bool IndexExportEditor::IndexSpeichern(qint64 lznr, const GridModel& grid)
{
    QList<std::pair<int, QString>> stored;
    for (int row = 0; row < grid.rowCount(); ++row) {
        int index = 0;
        if (!IsIndexNumber(grid.cell(row, IndexGrid::ColIndex), &index))
            continue;
        const QString text = grid.cell(row, IndexGrid::ColText);
        const CheckedValue checked =
            CheckText(QStringLiteral("Text (Zeile %1, Index %2)").arg(row + 1).arg(index), text, ColumnWidths::ExportText);
        if (!checked.ok()) {
            ShowMessageBox(NothingStoredMessage(checked.problem), QStringLiteral("MBus Indexexport"));
            return false;
        }
        stored.append({index, text});
    }
    {
        EditorDatabase db(environment_.database);
        SqlConnection& c = db.connection();
        if (!db.isOpen() || !c.transaction())
            return refused(db.errorText());
        bool ok = c.exec(kDeleteSql, {lznr});
        for (const auto& [index, text] : stored)
            ok = ok && c.exec(kInsertSql, {lznr, index, text});
        ok = ok && c.commit();
        if (!ok) {
            const QString reason = db.errorText();
            c.rollback();
            return refused(reason);
        }
    }
    frameVisible_ = false;
    deleteButtonVisible_ = false;
    emit changed();
    return true;
}

bool IndexExportEditor::openMeter(int listRow)
{
    const qint64 lznr = list.lznrAt(listRow);
    if (lznr <= 0 || !MBusIndexListeLaden(lznr))
        return false;
    openLznr_ = lznr;
    frameVisible_ = true;
    deleteButtonVisible_ = false;
    emit changed();
    return true;
}

void IndexExportEditor::cmdAbbrechen()
{
    frameVisible_ = false;
    deleteButtonVisible_ = false;
    emit changed();
}

bool IndexExportEditor::cmdLoeschen(int listRow)
{
    if (!openMeter(listRow))
        return false;
    deleteButtonVisible_ = true;
    emit changed();
    return true;
}

QString IndexExportEditor::clipboardText() const
{
    QString text = list.headers().join(QLatin1Char('\t')) + QStringLiteral("\r\n");
    for (int row = 0; row < list.rowCount(); ++row)
        text += list.rowCells(row).join(QLatin1Char('\t')) + QStringLiteral("\r\n");
    return text;
}

} // namespace kelvaro
