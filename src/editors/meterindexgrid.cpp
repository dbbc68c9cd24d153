#include "editors/meterindexgrid.h"

#include "data/dbconnection.h"
#include "editors/typedinput.h"

#include <QSqlQuery>

namespace kelvaro {
namespace {

QString cellText(const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return DecimalText(value.toDouble());
    case QMetaType::Bool:
        return BooleanCellText(value);
    default:
        return value.toString();
    }
}

} // namespace

MeterIndexGrid::MeterIndexGrid(QObject* parent)
    : GridModel(parent)
{
    clearList();
}

QString MeterIndexGrid::indexColumn() const { return olderColumns_ ? QStringLiteral("Index") : QStringLiteral("MBIndex"); }
QString MeterIndexGrid::typeColumn() const { return olderColumns_ ? QStringLiteral("Typ") : QStringLiteral("MBTyp"); }

void MeterIndexGrid::clearList()
{
    clearRows();
    setHeaders({QStringLiteral("Lznr"), indexColumn(), QStringLiteral("Art"), QStringLiteral("Einheit"),
                QStringLiteral("Anzeigen"), QStringLiteral("Faktor"), QStringLiteral("Z-Typ"),
                QStringLiteral("Speichern")});
}

bool MeterIndexGrid::load(SqlConnection& db, qint64 lznr)
{
    const QString index = QStringLiteral("MB_IndexListe.") + indexColumn();
    const QString sql = QStringLiteral(" SELECT  MB_IndexListe.Lznr, ") + index
        + QStringLiteral(", MB_IndexListe.Art,  MB_IndexListe.Einheit, MB_IndexListe.Anzeigen , MB_IndexListe.Faktor , "
                         "MB_IndexListe.")
        + typeColumn()
        + QStringLiteral(" as [Z-Typ],  MB_IndexListe.Speichern  From MB_IndexListe "
                         "Where ((MB_IndexListe.lznr = ?)) ORDER BY ")
        + index;
    QSqlQuery q;
    if (!db.query(q, sql, {lznr}))
        return false;
    // Booleans come back as integers from SQLite: the two columns say what they are.
    QList<QStringList> rows;
    while (q.next()) {
        QStringList cells;
        for (int column = 0; column < ColumnCount; ++column) {
            const QVariant value = q.value(column);
            const bool boolean = column == ColAnzeigen || column == ColSpeichern;
            cells << (boolean && !value.isNull() ? BooleanCellText(value) : cellText(value));
        }
        rows << cells;
    }
    clearList();
    for (const QStringList& row : rows)
        appendRow(row);
    return true;
}

void MeterIndexGrid::toggleShown(int row)
{
    const QString text = cell(row, ColAnzeigen);
    if (text == QLatin1String("True"))
        setCell(row, ColAnzeigen, QStringLiteral("False"));
    else if (text == QLatin1String("False"))
        setCell(row, ColAnzeigen, QStringLiteral("True"));
}

Qt::ItemFlags MeterIndexGrid::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = GridModel::flags(index);
    if (index.isValid() && !isReadOnly(index.column()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool MeterIndexGrid::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || isReadOnly(index.column()))
        return false;
    const QString text = value.toString();
    if (cell(index.row(), index.column()) == text)
        return true;
    setCell(index.row(), index.column(), text);
    markChanged(index.row());
    return true;
}

void MeterIndexGrid::markChanged(int row)
{
    const QString mark = cell(row, ColLznr);
    if (!mark.endsWith(QLatin1Char('*')))
        setCell(row, ColLznr, mark + QLatin1Char('*'));
}

int NeighbourIndexColumn(const MeterIndexGrid& grid, int column, int step, const std::function<bool(int)>& visible)
{
    for (int next = column + step; next >= 0 && next < grid.columnCount(); next += step) {
        if (grid.isReadOnly(next))
            continue;
        if (step > 0 && !visible(next))
            continue;
        return next;
    }
    return column;
}

QString BooleanCellText(const QVariant& value)
{
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::QString)
        return BooleanCellValue(value.toString()) ? QStringLiteral("True") : QStringLiteral("False");
    return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
}

bool BooleanCellValue(const QString& text)
{
    const QString t = text.trimmed();
    return t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0
        || t.compare(QLatin1String("Wahr"), Qt::CaseInsensitive) == 0 || t == QLatin1String("-1")
        || t == QLatin1String("1");
}

} // namespace kelvaro
