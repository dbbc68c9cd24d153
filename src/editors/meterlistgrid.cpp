#include "editors/meterlistgrid.h"

#include "data/zaehlerrec.h"
#include "editors/editordatabase.h"
#include "foundation/textutil.h"

namespace kelvaro {

MeterListGrid::MeterListGrid(QObject* parent)
    : GridModel(parent)
{
    InitGrid();
}

void MeterListGrid::InitGrid()
{
    clearRows();
    setHeaders({QStringLiteral("ZQUELLE"), QStringLiteral("LZNR"), QStringLiteral("MBus Adresse"),
                QStringLiteral("Com Port"), QStringLiteral("Baudrate"), QStringLiteral("Zählername"),
                QStringLiteral("Index"), QStringLiteral("MBZStand"), QStringLiteral("Zählernummer")});
}

bool MeterListGrid::ListeLaden(const EditorDatabaseSettings& database)
{
    QList<QVariantList> table;
    {
        EditorDatabase db(database);
        if (!db.isOpen() || !LoadMBusMeterTable(db.connection(), table))
            return false;
    }
    InitGrid();
    // The table's rows hold the grid's columns in order; its column 0 (the
    // source) is empty, as every listed meter is an M-Bus meter.
    for (const QVariantList& meter : table) {
        QStringList cells;
        for (int column = 0; column < ColumnCount; ++column)
            cells << meter.value(column).toString();
        appendRow(cells);
    }
    return true;
}

qint64 MeterListGrid::lznrAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return static_cast<qint64>(Val(cell(row, ColLznr)));
}

int MeterListGrid::rowOf(qint64 lznr) const
{
    for (int row = 0; row < rowCount(); ++row)
        if (lznrAt(row) == lznr)
            return row;
    return -1;
}

} // namespace kelvaro
