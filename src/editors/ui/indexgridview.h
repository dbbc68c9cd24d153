#pragma once
#include "editors/indexgrid.h"

#include <QTableView>

namespace kelvaro {

// The index grid on screen: Qt's in-place editor takes the place of the
// overlay text box. Entering a cell (click, key move) opens its editor with
// the cell text; leaving it writes the text back. Keys in the editor: Up;
// Down and Enter (Enter never reaches the text); Left and Right one column,
// wrapping to the row above or below; Tab as Right.
class IndexGridView : public QTableView {
    Q_OBJECT
public:
    explicit IndexGridView(IndexGrid* grid, QWidget* parent = nullptr);

    // The column widths of `InitGridIndex` (column 0 hidden).
    void applyColumnWidths();
    // Opens the editor on a cell and gives it the focus.
    void editCell(IndexCell cell);
    IndexCell currentCell() const;
    // Writes an open editor's text into its cell (before a save).
    void commitEdit();
    // The editor now open, or null.
    QWidget* openEditor() const;

    // A key of the editor: moves the current cell; the editor follows.
    void moveCurrent(IndexMove move);

private:
    IndexGrid* grid_;
};

} // namespace kelvaro
