#pragma once
#include "foundation/gridmodel.h"

namespace kelvaro {

struct EditorDatabaseSettings;

// The M-Bus meter list of the client (`MSFlexGrid1` of the meter list editor):
// ZQUELLE, LZNR (both hidden on screen), address, port, baud rate, name,
// index, MBZStand, meter number. Model row 0 is the first data row.
class MeterListGrid : public GridModel {
    Q_OBJECT
public:
    enum Column { ColQuelle = 0, ColLznr, ColAdresse, ColComPort, ColBaud, ColName, ColIndex, ColZStand, ColNummer,
                  ColumnCount };

    explicit MeterListGrid(QObject* parent = nullptr);

    // Headers only, no rows.
    void InitGrid();
    // Reloads the list from the editors' database; false (list left as it
    // was, last-error text set) when it cannot be read.
    bool ListeLaden(const EditorDatabaseSettings& database);

    // LZNR of a data row, 0 outside the list.
    qint64 lznrAt(int row) const;
    // Data row of a meter, -1 when not listed.
    int rowOf(qint64 lznr) const;
};

} // namespace kelvaro
