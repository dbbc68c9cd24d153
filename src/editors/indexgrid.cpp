#include "editors/indexgrid.h"

#include <QRegularExpression>

namespace kelvaro {

IndexGrid::IndexGrid(QObject* parent)
    : GridModel(parent)
{
    InitGridIndex();
}

void IndexGrid::InitGridIndex()
{
    clearRows();
    setHeaders({QString(), QStringLiteral("Index"), QStringLiteral("Text")});
    appendEmptyRow();
}

Qt::ItemFlags IndexGrid::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = GridModel::flags(index);
    if (index.isValid() && index.column() != ColLznr)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant IndexGrid::data(const QModelIndex& index, int role) const
{
    return GridModel::data(index, role == Qt::EditRole ? int(Qt::DisplayRole) : role);
}

bool IndexGrid::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() == ColLznr)
        return false;
    setCell(index.row(), index.column(), value.toString());
    return true;
}

IndexCell MoveIndexCell(IndexCell from, IndexMove move, int rowCount)
{
    const int last = rowCount - 1;
    IndexCell to = from;
    switch (move) {
    case IndexMove::Up:
        if (from.row > 0)
            --to.row;
        break;
    case IndexMove::Down:
        if (from.row < last)
            ++to.row;
        break;
    case IndexMove::Left:
        if (from.column > IndexGrid::ColIndex)
            --to.column;
        else if (from.row > 0)
            to = {from.row - 1, IndexGrid::ColText};
        break;
    case IndexMove::Right:
        if (from.column < IndexGrid::ColText)
            ++to.column;
        else if (from.row < last)
            to = {from.row + 1, IndexGrid::ColIndex};
        break;
    }
    return to;
}

bool IsIndexNumber(const QString& text, int* value)
{
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = text.trimmed();
    if (!digits.match(trimmed).hasMatch())
        return false;
    bool ok = false;
    const int number = trimmed.toInt(&ok);
    if (ok && value)
        *value = number;
    return ok;
}

} // namespace kelvaro
