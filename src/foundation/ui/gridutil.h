#pragma once

class QTableView;

namespace kelvaro {

// Every column as wide as its widest text (caption included) plus "AA".
void AutoSizeGridColumns(QTableView* grid);
// Current column 0 and the selection across all columns of the row.
void SelectGridRow(QTableView* grid, int row);

} // namespace kelvaro
