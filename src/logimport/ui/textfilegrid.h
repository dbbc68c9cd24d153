#pragma once
// A text file shown as a grid, split into columns at a separator. Headless:
// it fills a GridModel that a window puts a table over.
#include <QString>

namespace kelvaro {
class GridModel;
}

namespace kelvaro::logimport {

struct TextFileGridResult {
    bool ok = false;        // false: the file could not be read (last-error text set)
    int rows = 0;
    bool truncated = false; // stopped at the row limit
};

// Reads `file` (Windows-1252) line by line: with `skipFirstLine` its first
// line is passed over as a header; double quotes are removed, and tabs too
// unless the separator is a tab; blank lines are skipped; every other line
// becomes a row split at the separator (a separator closing the line ends the
// last field, it opens no empty one). The first data line sets the number of
// columns, captioned "Feld 0", "Feld 1", ...; a later, longer line widens the
// grid so that nothing of it is hidden.
TextFileGridResult FillFlexGrid_MBusLog(GridModel& grid, const QString& file, const QString& separator = QStringLiteral(";"),
                                        bool skipFirstLine = true, int maxRows = 200000);

} // namespace kelvaro::logimport
