#pragma once
#include "foundation/gridmodel.h"

namespace kelvaro {

// The index grid `MSFlexGrid2` of the index list editor: Lznr (hidden), the
// M-Bus index and its export text. Model row 0 is grid row 1. Index and text
// are edited in place; Lznr is not.
class IndexGrid : public GridModel {
    Q_OBJECT
public:
    enum Column { ColLznr = 0, ColIndex, ColText, ColumnCount };
    static constexpr int kColumnTwips[ColumnCount] = {0, 1000, 5000};

    explicit IndexGrid(QObject* parent = nullptr);

    // Headers and one empty row (the grid's Rows = 2).
    void InitGridIndex();
    // `cmdNeu`: one empty row at the end.
    void appendEmptyRow() { appendRow({}); }

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The editor starts with the cell's text.
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
};

// A cell of the index grid in model coordinates.
struct IndexCell {
    int row = 0;
    int column = IndexGrid::ColIndex;
    bool operator==(const IndexCell&) const = default;
};

enum class IndexMove { Up, Down, Left, Right };

// Where a key in the cell editor leads: Up and Down stay within the rows,
// Left from the index column goes to the text of the row above, Right from the
// text column to the index of the row below; at the grid's ends the cell stays.
IndexCell MoveIndexCell(IndexCell from, IndexMove move, int rowCount);

// Whether a cell holds an index that is stored: digits with an optional sign
// (blanks around allowed) and within the range of the index column.
bool IsIndexNumber(const QString& text, int* value = nullptr);

} // namespace kelvaro
