#include "foundation/ui/gridutil.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

namespace kelvaro {

void AutoSizeGridColumns(QTableView* grid)
{
    const QAbstractItemModel* model = grid ? grid->model() : nullptr;
    if (!model)
        return;
    const QFontMetrics metrics(grid->font());
    const QString extra = QStringLiteral("AA");
    for (int col = 0; col < model->columnCount(); ++col) {
        int width = metrics.horizontalAdvance(model->headerData(col, Qt::Horizontal).toString() + extra);
        for (int row = 0; row < model->rowCount(); ++row)
            width = std::max(width, metrics.horizontalAdvance(model->index(row, col).data().toString() + extra));
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
