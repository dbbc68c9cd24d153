#include "master/ui/gridcolumnfitter.h"
#include "foundation/ui/gridutil.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QFontMetrics>
#include <QTableView>
#include <algorithm>

namespace kelvaro::master {

GridColumnFitter::GridColumnFitter(QTableView* grid)
    : QObject(grid)
    , grid_(grid)
{
    const QAbstractItemModel* model = grid->model();
    const auto reset = [this] { all_ = true; };
    connect(model, &QAbstractItemModel::modelReset, this, reset);
    connect(model, &QAbstractItemModel::layoutChanged, this, reset);
    connect(model, &QAbstractItemModel::columnsInserted, this, reset);
    connect(model, &QAbstractItemModel::columnsRemoved, this, reset);
    connect(model, &QAbstractItemModel::rowsMoved, this, reset);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (!parent.isValid())
                    insertRows(first, last);
            });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (!parent.isValid())
                    removeRows(first, last);
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                markChanged(topLeft.row(), bottomRight.row(), topLeft.column(), bottomRight.column());
            });
    grid->installEventFilter(this);
    connect(model, &QAbstractItemModel::headerDataChanged, this,
            [this](Qt::Orientation orientation, int first, int last) {
                if (orientation != Qt::Horizontal)
                    return;
                for (int c = std::max(first, 0); c <= last && c < static_cast<int>(captions_.size()); ++c)
                    captions_[c] = -1;
            });
}

bool GridColumnFitter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        all_ = true;
    return QObject::eventFilter(watched, event);
}

void GridColumnFitter::remeasureAll()
{
    const QAbstractItemModel* model = grid_->model();
    const int columns = model->columnCount();
    const int rows = model->rowCount();
    captions_.assign(columns, -1);
    cells_.assign(columns, std::vector<int>(rows, -1));
    all_ = false;
}

void GridColumnFitter::insertRows(int first, int last)
{
    if (all_)
        return;
    for (std::vector<int>& column : cells_) {
        const auto at = column.begin() + std::clamp<std::ptrdiff_t>(first, 0, std::ssize(column));
        column.insert(at, std::size_t(last - first + 1), -1);
    }
}

void GridColumnFitter::removeRows(int first, int last)
{
    if (all_)
        return;
    for (std::vector<int>& column : cells_) {
        const auto from = std::clamp<std::ptrdiff_t>(first, 0, std::ssize(column));
        const auto to = std::clamp<std::ptrdiff_t>(last + 1, from, std::ssize(column));
        column.erase(column.begin() + from, column.begin() + to);
    }
}

void GridColumnFitter::markChanged(int firstRow, int lastRow, int firstColumn, int lastColumn)
{
    if (all_)
        return;
    for (int c = std::max(firstColumn, 0); c <= lastColumn && c < std::ssize(cells_); ++c) {
        std::vector<int>& column = cells_[c];
        for (int r = std::max(firstRow, 0); r <= lastRow && r < std::ssize(column); ++r)
            column[r] = -1;
    }
}

void GridColumnFitter::fit()
{
    const QAbstractItemModel* model = grid_->model();
    if (!model)
        return;
    if (all_ || std::ssize(cells_) != model->columnCount()
        || (!cells_.empty() && std::ssize(cells_.front()) != model->rowCount()))
        remeasureAll();
    const QFontMetrics metrics(grid_->font());
    const auto measure = [&metrics](const QString& text) { return GridTextWidth(metrics, text); };
    for (int c = 0; c < std::ssize(cells_); ++c) {
        if (captions_[c] < 0)
            captions_[c] = measure(model->headerData(c, Qt::Horizontal).toString());
        int width = captions_[c];
        std::vector<int>& column = cells_[c];
        for (int r = 0; r < std::ssize(column); ++r) {
            if (column[r] < 0)
                column[r] = measure(model->index(r, c).data().toString());
            width = std::max(width, column[r]);
        }
        if (grid_->columnWidth(c) != width)
            grid_->setColumnWidth(c, width);
    }
}

} // namespace kelvaro::master
