#pragma once
#include <QList>
#include <QObject>
#include <vector>

class QEvent;
class QTableView;

namespace kelvaro::master {

// Keeps a grid's columns as wide as their widest text (caption included)
// plus "AA", as AutoSizeGridColumns makes them, but measures a cell's text
// only when it is new or changed: a grid that grows by a row or changes a
// cell costs one measurement per new cell, not one per cell of the grid.
// Follows the model the grid has when the fitter is made.
class GridColumnFitter : public QObject {
    Q_OBJECT
public:
    explicit GridColumnFitter(QTableView* grid);

    // Measures what changed since the last fit and sets the column widths.
    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void remeasureAll();
    void insertRows(int first, int last);
    void removeRows(int first, int last);
    void markChanged(int firstRow, int lastRow, int firstColumn, int lastColumn);

    QTableView* grid_;
    bool all_ = true;                     // nothing measured yet, or the model was reset
    std::vector<std::vector<int>> cells_; // per column the width of each row's text, -1 unmeasured
    std::vector<int> captions_;           // per column, -1 unmeasured
};

} // namespace kelvaro::master
