#pragma once
#include "foundation/gridmodel.h"

#include <functional>

namespace kelvaro {

class SqlConnection;

// The index list of one meter as the meter list editor edits it (`EditGrid`):
// Lznr (hidden; gets "*" at a row's first change), index, Art, Einheit,
// Anzeigen, Faktor, Z-Typ, Speichern. Model row 0 is the first data row.
// The index column is fixed, Anzeigen is toggled by a click, the rest is
// edited in place.
class MeterIndexGrid : public GridModel {
    Q_OBJECT
public:
    enum Column { ColLznr = 0, ColIndex, ColArt, ColEinheit, ColAnzeigen, ColFaktor, ColTyp, ColSpeichern,
                  ColumnCount };
    static constexpr int kFixedColumns = 2;

    explicit MeterIndexGrid(QObject* parent = nullptr);

    // Client "2500" keeps the index and the type in the columns Index and Typ.
    void setOlderColumns(bool olderColumns) { olderColumns_ = olderColumns; }
    bool olderColumns() const { return olderColumns_; }
    QString indexColumn() const;
    QString typeColumn() const;

    // Headers only (the grid of a meter without an index list).
    void clearList();
    // The meter's rows ordered by index; false (grid unchanged) on a database error.
    bool load(SqlConnection& db, qint64 lznr);

    // Column 4 of a data row: "True" <-> "False", anything else stays.
    void toggleShown(int row);
    bool isReadOnly(int column) const { return column < kFixedColumns || column == ColAnzeigen; }

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edit writes the cell and marks the row's first change.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    void markChanged(int row);
    bool olderColumns_ = false;
};

// The next cell of a key move in the index grid. Left and Right go to the
// previous or next column that is neither fixed nor read-only and, going
// right, is wider than 0 (`visible`); no such column: the same column.
int NeighbourIndexColumn(const MeterIndexGrid& grid, int column, int step, const std::function<bool(int)>& visible);

// "True"/"False" of a boolean cell ("" for none), and back: "True", "Wahr",
// "-1" and "1" in any case are true.
QString BooleanCellText(const QVariant& value);
bool BooleanCellValue(const QString& text);

} // namespace kelvaro
