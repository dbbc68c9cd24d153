#pragma once
#include <QStyledItemDelegate>

class QTableView;

namespace kelvaro {

class MeterIndexGrid;

// The most characters the cell editor of a column takes: the width of its
// column in MB_IndexListe.
int IndexCellLength(int column);

// In-place editing of the meter list editor's index grid: every key stroke
// goes into the cell at once; Page Up/Down go to the first/last row, Up/Down
// one row, Left/Right at the text's ends to the neighbouring editable column,
// each time opening the editor in the new cell. A click on Anzeigen toggles it.
class IndexGridEditing : public QStyledItemDelegate {
    Q_OBJECT
public:
    IndexGridEditing(QTableView* view, MeterIndexGrid* grid);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Makes a cell current and opens its editor unless it is read-only.
    void enterCell(int row, int column);

protected:
    bool eventFilter(QObject* editor, QEvent* event) override;

private:
    bool moveFrom(const QModelIndex& current, int key, int caret, int textLength);
    QTableView* view_;
    MeterIndexGrid* grid_;
};

} // namespace kelvaro
