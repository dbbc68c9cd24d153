#pragma once
#include "editors/meterselection.h"

#include <QColor>
#include <QDialog>
#include <functional>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QTableView;

namespace kelvaro {

// The list-and-record dialog `frmZaehlerselect`: a view over MeterSelection.
// OK and Abbrechen hide it (exec() returns) and leave the result to be read.
class FrmZaehlerselect : public QDialog {
    Q_OBJECT
public:
    // The colour dialog of `CommonDialog1`: the chosen colour, nothing on cancel.
    using ColorChooser = std::function<std::optional<QColor>(const QColor& initial)>;

    FrmZaehlerselect(const EditorDatabaseSettings& database, QWidget* parent = nullptr);
    ~FrmZaehlerselect() override;

    // False: the message is shown and the list keeps what it showed.
    bool ListeLaden(const QString& sql);
    // The tag: column 0 of the chosen row, "" on cancel.
    QString result() const;
    // Modal choice: caption, list of `sql`, exec(), result(). "" on cancel, on
    // a termination signal or when the list cannot be loaded.
    static QString choose(QWidget* parent, const EditorDatabaseSettings& database, const QString& sql,
                          const QString& caption);

    MeterSelection& core() { return core_; }
    // The table `Speichern` writes into; the key field stays "BNr" unless set.
    void setRecordSource(const QString& table) { core_.setRecordSource(table); }
    void setKeyField(const QString& name) { core_.setKeyField(name); }
    bool changed() const { return core_.changed(); }
    const QString& mode() const { return core_.mode(); }

    // Appends an empty row and opens it for editing (mode "neu").
    void neueZeile();
    // The list as a table (headers and rows) on an accepted printer.
    void printList(QPrinter& printer);
    void setColorChooser(ColorChooser chooser) { chooseColor_ = std::move(chooser); }
    // The edit-grid cell under the text box.
    int editRow() const { return editRow_; }
    int editColumn() const { return editColumn_; }

    QGroupBox* fraliste = nullptr;
    QTableView* ListGrid = nullptr;
    QLabel* lblSuche = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* cmdweitersuchen = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdWaehlenAbbrechen = nullptr;
    QPushButton* cmddrucken = nullptr;
    QPushButton* cmdaendern = nullptr;
    QGroupBox* fraEdit = nullptr;
    QTableView* EditGrid = nullptr;
    QLineEdit* txtedit = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* cmdspeichern = nullptr;
    QPushButton* cmdabbrechen = nullptr;

public Q_SLOTS:
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildListFrame();
    void buildEditFrame();
    void Form_Resize();
    int currentListRow() const;
    QList<int> searchableColumns() const;
    void Text2_Change();
    void cmdweitersuchen_Click();
    void cmdOk_Click();
    void cmdWaehlenAbbrechen_Click();
    void cmddrucken_Click();
    void cmdaendern_Click();
    void openEditFrame(int row);
    void showListFrame();
    void cmdspeichern_Click();
    void cmdabbrechen_Click();
    void ListGrid_DblClick(const QModelIndex& index);
    void Label1_DblClick();
    void placeTextBox(int row, int column);
    bool txtedit_KeyDown(int key);

    MeterSelection core_;
    ColorChooser chooseColor_;
    QString busy_;  // "Arbeite" while the form is laid out
    int listRow_ = -1; // the list row the edit frame shows
    int editRow_ = 0;
    int editColumn_ = 1;
};

} // namespace kelvaro
