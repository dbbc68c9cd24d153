#include "foundation/ui/gridutil.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

namespace kelvaro {

int GridTextWidth(const QFontMetrics& metrics, const QString& text)
{
    return metrics.horizontalAdvance(text + QStringLiteral("AA"));
}

void AutoSizeGridColumns(QTableView* grid)
{
    const QAbstractItemModel* model = grid ? grid->model() : nullptr;
    if (!model)
        return;
    const QFontMetrics metrics(grid->font());
    for (int col = 0; col < model->columnCount(); ++col) {
        int width = GridTextWidth(metrics, model->headerData(col, Qt::Horizontal).toString());
        for (int row = 0; row < model->rowCount(); ++row)
            width = std::max(width, GridTextWidth(metrics, model->index(row, col).data().toString()));
        grid->setColumnWidth(col, width);
    }
}

void SelectGridRow(QTableView* grid, int row)
{
    const QAbstractItemModel* model = grid ? grid->model() : nullptr;
    if (!model || row < 0 || row >= model->rowCount() || model->columnCount() == 0)
        return;
    const QModelIndex first = model->index(row, 0);
    const QModelIndex last = model->index(row, model->columnCount() - 1);
    grid->setCurrentIndex(first);
    grid->selectionModel()->select(QItemSelection(first, last), QItemSelectionModel::ClearAndSelect);
}

} // namespace kelvaro
