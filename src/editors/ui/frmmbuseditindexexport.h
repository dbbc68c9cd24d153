#pragma once
#include <QMainWindow>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace kelvaro {

struct EditorEnvironment;
class IndexExportEditor;
class IndexGridView;

// The index list editor "MBus Indexexport": a view over IndexExportEditor.
// The meter list stands on the left, the meter frame beside it (shown while a
// meter is open), the export settings and the two labels below both; the
// form keeps its size in either mode.
class FrmMBusEditIndexExport : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kFormWidth = 830;  // 12450 twips
    static constexpr int kFormHeight = 600; // 9000 twips

    explicit FrmMBusEditIndexExport(IndexExportEditor& editor, QWidget* parent = nullptr);
    ~FrmMBusEditIndexExport() override;

    // Form load under the hourglass; the first list row is selected.
    void load(const EditorEnvironment& environment);

    // Widgets by their names, for the tests.
    QTableView* MSFlexGrid1 = nullptr;
    QPushButton* cmdAendern = nullptr;
    QPushButton* cmdLoeschen = nullptr;
    QPushButton* cmdZwischen = nullptr;
    QPushButton* cmdClose = nullptr;
    QGroupBox* Frame2 = nullptr;
    std::array<QLineEdit*, 3> Text1{}; // ZNr, ZName, MBAdr
    IndexGridView* MSFlexGrid2 = nullptr;
    QPushButton* cmdNeu = nullptr;
    QPushButton* cmdSpeichern = nullptr;
    QPushButton* cmdAbbrechen = nullptr;
    QPushButton* cmdLoeschenausfuehren = nullptr;
    QLineEdit* Text3 = nullptr; // "Export-Pfad :"
    QLineEdit* Text4 = nullptr; // "Vor Wert :"
    std::array<QLabel*, 2> Label4{}; // database, daily log files

private:
    void buildList(QWidget* form);
    void buildMeterFrame(QWidget* form);
    void buildExportSettings(QWidget* form);
    void connectCore();
    void refresh();
    void openMeter(int listRow, bool withDelete);
    void listReloaded();
    void setWaitCursor(bool on);

    IndexExportEditor& editor_;
    bool waitCursor_ = false;
};

} // namespace kelvaro
