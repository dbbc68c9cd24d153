#pragma once
#include <QAbstractTableModel>
#include <QStringList>

namespace kelvaro {

// A grid of texts with a caption row, as every table of the system shows one:
// the core fills it, a window puts a QTableView over it.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject* parent = nullptr);

    void setHeaders(const QStringList& headers);
    QStringList headers() const { return headers_; }
    // Row count without the caption row; every row gets one cell per column.
    void setRowCount(int rows);
    void clearRows() { setRowCount(0); }
    void insertRow(int row, const QStringList& cells);
    void appendRow(const QStringList& cells) { insertRow(rowCount(), cells); }
    void removeRowsFrom(int row);
    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString& text);
    void clearColumn(int column);
    QStringList rowCells(int row) const { return rows_.value(row); }
    // The whole grid, caption row first, as the clipboard takes it: columns
    // separated by tabs, every line ended by CR LF.
    QString tabText() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList headers_;
    QList<QStringList> rows_;
};

} // namespace kelvaro
