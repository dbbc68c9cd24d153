#include "editors/ui/indexgridview.h"

#include "editors/typedinput.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace kelvaro {
namespace {

constexpr int kTwipsPerPixel = 15;

class IndexCellDelegate : public QStyledItemDelegate {
public:
    explicit IndexCellDelegate(IndexGridView* view)
        : QStyledItemDelegate(view)
        , view_(view)
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(ColumnWidths::ExportText);
        return editor;
    }

protected:
    bool eventFilter(QObject* editor, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier))
                return QStyledItemDelegate::eventFilter(editor, event);
            switch (key->key()) {
            case Qt::Key_Up:
                view_->moveCurrent(IndexMove::Up);
                return true;
            case Qt::Key_Down:
            case Qt::Key_Return:
            case Qt::Key_Enter:
                view_->moveCurrent(IndexMove::Down);
                return true;
            case Qt::Key_Left:
                view_->moveCurrent(IndexMove::Left);
                return true;
            case Qt::Key_Right:
            case Qt::Key_Tab:
                view_->moveCurrent(IndexMove::Right);
                return true;
            default:
                break;
            }
        }
        return QStyledItemDelegate::eventFilter(editor, event);
    }

private:
    IndexGridView* view_;
};

} // namespace

IndexGridView::IndexGridView(IndexGrid* grid, QWidget* parent)
    : QTableView(parent)
    , grid_(grid)
{
    setModel(grid);
    setItemDelegate(new IndexCellDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked
                    | QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(false);
    verticalHeader()->setDefaultSectionSize(18);
    verticalHeader()->setVisible(false);
    applyColumnWidths();
    // A reset (a meter loaded) shows the grid's widths again.
    connect(grid, &QAbstractItemModel::modelReset, this, &IndexGridView::applyColumnWidths);
}

void IndexGridView::applyColumnWidths()
{
    for (int column = 0; column < IndexGrid::ColumnCount; ++column)
        setColumnWidth(column, IndexGrid::kColumnTwips[column] / kTwipsPerPixel);
    setColumnHidden(IndexGrid::ColLznr, true);
}

void IndexGridView::editCell(IndexCell cell)
{
    const QModelIndex index = grid_->index(cell.row, cell.column);
    if (!index.isValid())
        return;
    if (currentIndex() != index)
        setCurrentIndex(index);
    if (state() != QAbstractItemView::EditingState)
        edit(index);
    if (QWidget* editor = openEditor())
        editor->setFocus();
}

IndexCell IndexGridView::currentCell() const { return {currentIndex().row(), currentIndex().column()}; }

QWidget* IndexGridView::openEditor() const
{
    return state() == QAbstractItemView::EditingState ? indexWidget(currentIndex()) : nullptr;
}

void IndexGridView::commitEdit()
{
    if (QWidget* editor = openEditor())
        itemDelegate()->setModelData(editor, grid_, currentIndex());
}

void IndexGridView::moveCurrent(IndexMove move)
{
    const IndexCell from = currentCell();
    const IndexCell to = MoveIndexCell(from, move, grid_->rowCount());
    // Changing the current cell writes the editor back and opens the next one.
    if (!(to == from))
        editCell(to);
}

} // namespace kelvaro
