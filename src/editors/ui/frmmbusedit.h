#pragma once
#include "editors/editorenvironment.h"
#include "editors/meterinput.h"

#include <QWidget>
#include <array>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace kelvaro {

class IndexGridEditing;
class MeterEditor;

// The meter list editor "MBus-Zähler bearbeiten": a view over MeterEditor.
// List mode shows the meter list (368 pixels wide); edit mode widens the form
// to 941 pixels for the edit frame with the meter's fields and index grid.
class FrmMBusEdit : public QWidget {
    Q_OBJECT
public:
    static constexpr int kListWidth = 368;  // 5520 twips
    static constexpr int kEditWidth = 941;  // 14115 twips
    static constexpr int kHeight = 589;     // 8835 twips

    FrmMBusEdit(MeterEditor& editor, const EditorEnvironment& environment, QWidget* parent = nullptr);

    // The load sequence: labels, the list, row 1 selected.
    void load();

    // Chooses the target of a copy: the selection dialog unless a test
    // replaces it. "" means no choice.
    std::function<QString()> chooseCopyTarget;

    // Widgets by their names, for the tests.
    QLabel* Label4_0 = nullptr; // the database
    QLabel* Label4_1 = nullptr; // the daily log files
    QTableView* MSFlexGrid1 = nullptr;
    QPushButton* cmdAendern = nullptr;
    QPushButton* cmdNeu = nullptr;
    QPushButton* cmdLoeschen = nullptr;
    QPushButton* cmdZwischen = nullptr;
    QPushButton* cmdClose = nullptr;
    QGroupBox* Frame2 = nullptr;
    std::array<QLineEdit*, MeterFieldCount> Text1{}; // numbered as MeterField; 7 is MB_ID, 8 the location
    QCheckBox* Check1 = nullptr;
    QTableView* EditGrid = nullptr;
    QPushButton* cmdSpeichern = nullptr;
    QPushButton* cmdAbbrechen = nullptr;
    QPushButton* cmdListeKopieren = nullptr;
    QPushButton* cmdLoeschenausfuehren = nullptr;

private:
    void buildList();
    void buildEditFrame();
    void openMeter();
    void newMeter();
    void save();
    void showMode(bool editing);
    void showFields();
    void takeFields();
    void copyIndexList();
    void deleteMeter();
    void refreshList();

    MeterEditor& editor_;
    EditorEnvironment environment_;
    IndexGridEditing* editing_ = nullptr;
};

} // namespace kelvaro
