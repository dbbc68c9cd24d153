#include "consoles/logwindowmodel.h"

namespace kelvaro {

void LogWindowModel::LogAddItem(const QString& text, int row)
{
    if (row < 0 || row > rows_.size())
        row = int(rows_.size());
    rows_.insert(row, text);
    Q_EMIT rowInserted(row, text);
}

void LogWindowModel::clear()
{
    rows_.clear();
    Q_EMIT cleared();
}

int LogWindowModel::GridWidthFor(int windowWidth, int gridLeft, int margin)
{
    const int width = windowWidth - gridLeft - margin;
    return width > 0 ? width : -1;
}

} // namespace kelvaro
