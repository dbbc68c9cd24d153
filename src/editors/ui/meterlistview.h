#pragma once

class QTableView;

namespace kelvaro {

// Sizes the meter list's columns (widest text + "AA") and hides ZQUELLE and
// LZNR again, as the list shows after every load.
void SizeMeterListColumns(QTableView* grid);

} // namespace kelvaro
