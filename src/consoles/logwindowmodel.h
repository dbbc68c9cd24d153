#pragma once
#include <QObject>
#include <QStringList>

namespace kelvaro {

// The rows of the log window: one text per entry, appended by the serial console.
class LogWindowModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Inserts `text` as a new row at `row`; a row outside the list appends.
    void LogAddItem(const QString& text, int row);
    void add(const QString& text) { LogAddItem(text, int(rows_.size())); }
    void clear();
    const QStringList& rows() const { return rows_; }

    // Width of the grid for a window of `windowWidth`: the window less the
    // grid's left offset and a margin. Nullopt-like -1 when too narrow: the
    // grid then keeps its width.
    static int GridWidthFor(int windowWidth, int gridLeft, int margin);

Q_SIGNALS:
    void rowInserted(int row, const QString& text);
    void cleared();

private:
    QStringList rows_;
};

} // namespace kelvaro
