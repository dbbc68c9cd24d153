#include "foundation/gridmodel.h"

namespace kelvaro {

GridModel::GridModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void GridModel::setHeaders(const QStringList& headers)
{
    beginResetModel();
    headers_ = headers;
    for (QStringList& row : rows_)
        while (row.size() < headers_.size())
            row << QString();
    endResetModel();
}

void GridModel::setRowCount(int rows)
{
    rows = std::max(0, rows);
    if (rows == rows_.size())
        return;
    if (rows < rows_.size()) {
        beginRemoveRows({}, rows, static_cast<int>(rows_.size()) - 1);
        rows_.resize(rows);
        endRemoveRows();
    } else {
        beginInsertRows({}, static_cast<int>(rows_.size()), rows - 1);
        while (rows_.size() < rows) {
            QStringList row;
            for (int i = 0; i < headers_.size(); ++i)
                row << QString();
            rows_ << row;
        }
        endInsertRows();
    }
}

void GridModel::insertRow(int row, const QStringList& cells)
{
    row = std::clamp(row, 0, static_cast<int>(rows_.size()));
    QStringList r = cells;
    while (r.size() < headers_.size())
        r << QString();
    beginInsertRows({}, row, row);
    rows_.insert(row, r);
    endInsertRows();
}

void GridModel::removeRowsFrom(int row)
{
    if (row < rows_.size())
        setRowCount(row);
}

QString GridModel::cell(int row, int column) const
{
    return rows_.value(row).value(column);
}

void GridModel::setCell(int row, int column, const QString& text)
{
    if (row < 0 || row >= rows_.size() || column < 0)
        return;
    QStringList& r = rows_[row];
    while (r.size() <= column)
        r << QString();
    if (r[column] == text)
        return;
    r[column] = text;
    emit dataChanged(index(row, column), index(row, column));
}

QString GridModel::tabText() const
{
    QString text = headers_.join(QLatin1Char('\t')) + QStringLiteral("\r\n");
    for (const QStringList& row : rows_)
        text += row.join(QLatin1Char('\t')) + QStringLiteral("\r\n");
    return text;
}

void GridModel::clearColumn(int column)
{
    for (int row = 0; row < rows_.size(); ++row)
        setCell(row, column, QString());
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid())
        return {};
    return cell(index.row(), index.column());
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return headers_.value(section);
    return section + 1;
}

} // namespace kelvaro
