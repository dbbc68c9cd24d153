#pragma once
#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace kelvaro::overview {

class Overview;

// The multi-port overview window: a view over Overview. Choosing a row starts
// that port's master; the menu starts the sibling programs.
class FrmKelvaroV4Alle : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmKelvaroV4Alle(Overview& overview, QWidget* parent = nullptr);

    // Widgets by their names, for the tests.
    QTableView* MSFlexGrid1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* lblDatenbank = nullptr;
    QLabel* lblDaten = nullptr;
    QLabel* lblPfad = nullptr;
    QCheckBox* chkwerteprotokoll = nullptr;
    QCheckBox* Check1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QCheckBox* Check2 = nullptr;
    QAction* mnuEnde = nullptr;
    QAction* MnuZaehler = nullptr;
    QAction* mnuImportLogFile = nullptr;
    QAction* mnuTarvolin = nullptr;

private:
    void showLoaded();
    // Check1 with Text2: a time that is no time switches the restart off.
    void restartChanged();

    Overview& overview_;
};

} // namespace kelvaro::overview
