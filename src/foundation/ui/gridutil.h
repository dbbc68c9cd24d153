#pragma once

class QFontMetrics;
class QString;
class QTableView;

namespace kelvaro {

// Every column as wide as its widest text (caption included) plus "AA".
void AutoSizeGridColumns(QTableView* grid);
// The width a column needs for `text`: the text plus "AA".
int GridTextWidth(const QFontMetrics& metrics, const QString& text);
// Current column 0 and the selection across all columns of the row.
void SelectGridRow(QTableView* grid, int row);

} // namespace kelvaro
