#include "editors/ui/indexgridediting.h"

#include "editors/meterindexgrid.h"
#include "editors/typedinput.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>

namespace kelvaro {

int IndexCellLength(int column)
{
    switch (column) {
    case MeterIndexGrid::ColArt:
        return ColumnWidths::Art;
    case MeterIndexGrid::ColEinheit:
        return ColumnWidths::Einheit;
    default:
        return 32; // a number or True/False
    }
}

IndexGridEditing::IndexGridEditing(QTableView* view, MeterIndexGrid* grid)
    : QStyledItemDelegate(view)
    , view_(view)
    , grid_(grid)
{
    view->setItemDelegate(this);
    view->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked
                          | QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed);
    connect(view, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.column() == MeterIndexGrid::ColAnzeigen)
            grid_->toggleShown(index.row());
    });
}

QWidget* IndexGridEditing::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (line)
        line->setMaxLength(IndexCellLength(index.column()));
    if (line)
        connect(line, &QLineEdit::textEdited, this, [this, line] {
            const_cast<IndexGridEditing*>(this)->commitData(line);
        });
    return editor;
}

void IndexGridEditing::enterCell(int row, int column)
{
    if (row < 0 || row >= grid_->rowCount())
        return;
    const QModelIndex target = grid_->index(row, column);
    if (view_->currentIndex() == target) {
        if (!grid_->isReadOnly(column))
            view_->edit(target);
        return;
    }
    view_->setCurrentIndex(target);
}

bool IndexGridEditing::moveFrom(const QModelIndex& current, int key, int caret, int textLength)
{
    const int row = current.row();
    const int column = current.column();
    const int last = grid_->rowCount() - 1;
    const auto visible = [this](int c) { return !view_->isColumnHidden(c) && view_->columnWidth(c) > 0; };
    switch (key) {
    case Qt::Key_PageUp:
        enterCell(0, column);
        return true;
    case Qt::Key_PageDown:
        enterCell(last, column);
        return true;
    case Qt::Key_Down:
        if (row < last)
            enterCell(row + 1, column);
        return true;
    case Qt::Key_Up:
        if (row > 0)
            enterCell(row - 1, column);
        return true;
    case Qt::Key_Left:
        if (caret != 0)
            return false;
        enterCell(row, NeighbourIndexColumn(*grid_, column, -1, visible));
        return true;
    case Qt::Key_Right:
        if (caret != textLength)
            return false;
        enterCell(row, NeighbourIndexColumn(*grid_, column, +1, visible));
        return true;
    default:
        return false;
    }
}

bool IndexGridEditing::eventFilter(QObject* editor, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* line = qobject_cast<QLineEdit*>(editor);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (line && moveFrom(view_->currentIndex(), key->key(), line->cursorPosition(),
                             static_cast<int>(line->text().size())))
            return true;
    }
    return QStyledItemDelegate::eventFilter(editor, event);
}

} // namespace kelvaro
