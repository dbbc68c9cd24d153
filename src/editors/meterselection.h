#pragma once
#include "editors/editordatabase.h"
#include "foundation/gridmodel.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace kelvaro {

class SqlConnection;

// The list of the selection dialog (`ListGrid`): the result of a statement,
// numbers as "###,##0.00". After a load with data, columns 0 to 7 are
// left-aligned; the others align numbers right and texts left.
class SelectionListModel : public GridModel {
    Q_OBJECT
public:
    using GridModel::GridModel;
    void setLeftAlignedColumns(int count);
    QVariant data(const QModelIndex& index, int role) const override;

private:
    int leftAligned_ = 0;
};

// The edit grid (`EditGrid`): "<header> : " right-aligned in column 0, the
// value left-aligned in column 1, one row per list column after the key.
class SelectionEditModel : public GridModel {
    Q_OBJECT
public:
    using GridModel::GridModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

// A database value as the list shows it: floating-point numbers "###,##0.00"
// with German separators, whole numbers as they are, dates German.
QString SelectionCellText(const QVariant& value);
// "###,##0.00": 1234567.891 -> "1.234.567,89", -0.5 -> "-0,50".
QString FormatThousands2(double value);
// The column names of a statement's select list as written there (alias, or
// the name after the last "."), brackets removed; empty when the statement
// has no plain select list.
QStringList SelectListNames(const QString& sql);

// Writes the edit grid's fields into the record of `source` whose `keyField`
// equals `keyValue`, or into a new record when there is none. Field types
// come from the table: whole-number fields take Val of the text, floating
// fields ToDouble of it, all others the text. Returns 0 on success and
// non-zero on any failure (unknown table, key field or field name, refused
// statement); nothing is written then. A new record's key, when the database
// assigned one, is returned in `newKey`.
int Speichern(SqlConnection& db, const QString& source, const QString& keyField, double keyValue,
              const GridModel& edit, QVariant* newKey = nullptr);

// The core of `frmZaehlerselect`: list, search, edit rows, saving, result.
// Rows are model rows (0 = first data row).
class MeterSelection : public QObject {
    Q_OBJECT
public:
    enum class SaveResult { Saved, NoKeyField, Failed };

    explicit MeterSelection(EditorDatabaseSettings database, QObject* parent = nullptr);

    const EditorDatabaseSettings& database() const { return database_; }
    SelectionListModel& list() { return list_; }
    const SelectionListModel& list() const { return list_; }
    SelectionEditModel& edit() { return edit_; }
    const SelectionEditModel& edit() const { return edit_; }

    // Fills the list from the statement; key field name "BNr". False (list
    // left as it was, `lastError()` set) when the database refuses it.
    bool ListeLaden(const QString& sql);
    // Whether the last load has data to size and select (its first cell is
    // not empty).
    bool hasData() const { return list_.rowCount() > 0 && !list_.cell(0, 0).isEmpty(); }
    int rowCount() const { return list_.rowCount(); }
    QString lastError() const { return lastError_; }

    // Next row from `currentRow` on whose cells in `columns` contain `text`
    // (case-insensitive): after the current row, or from row 0 when the text
    // has one character. -1 when there is none.
    int find(const QString& text, int currentRow, const QList<int>& columns) const;

    // The edit grid for a list row (`InitEditGrid`).
    void InitEditGrid(int row);
    // Ändern: key value of the row, edit grid built.
    void beginEdit(int row);
    // A new empty row appended and opened like Ändern (mode "neu"); its row.
    int beginNewRow();
    // Abbrechen in the edit frame: a new row is removed again; mode cleared.
    void cancelEdit();
    // Speichern: the edit grid back into `row` of the list, then into the
    // database; the list keeps the edited values whatever the outcome.
    SaveResult save(int row);

    const QString& recordSource() const { return recordSource_; }
    void setRecordSource(const QString& table) { recordSource_ = table; }
    const QString& keyField() const { return keyField_; }
    void setKeyField(const QString& name) { keyField_ = name; }
    double keyValue() const { return keyValue_; }
    const QString& mode() const { return mode_; }
    void setMode(const QString& mode) { mode_ = mode; }
    bool changed() const { return changed_; }

    const QString& result() const { return result_; }
    // cmdOk: column 0 of the row; cmdWaehlenAbbrechen: "".
    void choose(int row) { result_ = list_.cell(row, 0); }
    void cancelChoice() { result_.clear(); }

private:
    double keyOf(int row) const;

    EditorDatabaseSettings database_;
    SelectionListModel list_;
    SelectionEditModel edit_;
    QString recordSource_;
    QString keyField_;
    double keyValue_ = 0;
    QString mode_;
    bool changed_ = false;
    QString result_;
    QString lastError_;
};

} // namespace kelvaro
