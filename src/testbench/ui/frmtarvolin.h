#pragma once
#include <QMainWindow>
#include <QPointer>
#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace kelvaro::testbench {

class TestBench;

// The test bench window "Tarvolin V4.3": a view over TestBench. The controls
// sit at fixed places on a form larger than the window; without the access
// word the window shows its first 741 x 611 pixels (the reading, search and
// grid part), with it the whole form (time-outs of the search, speed test,
// list import and modem frames).
class FrmTarvolin : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kSmallWidth = 741;  // 11115 twips
    static constexpr int kSmallHeight = 611; // 9165 twips

    explicit FrmTarvolin(TestBench& bench, QWidget* parent = nullptr);
    ~FrmTarvolin() override;

    // Sizes the window after the core's load (access word or not).
    void applyFormSize();

    // Widgets by their names, for the tests.
    QLineEdit* Text1 = nullptr; // primary address
    QLineEdit* Text2 = nullptr; // COM port
    QLineEdit* Text3 = nullptr; // baud rate
    QLineEdit* TextID = nullptr;
    std::array<QLineEdit*, 4> Text4{}; // time-outs of the reading frame
    std::array<QLineEdit*, 4> Text5{}; // time-outs of the search frame
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    std::array<QLineEdit*, 6> HeaderField{}; // Herst., Herst.Nr, Vers., ID, ID dez., Medium
    QPushButton* cmdLesenPrim = nullptr;
    QPushButton* cmdSekLesen = nullptr;
    QPushButton* cmdTestTelegramm = nullptr;
    std::array<QCheckBox*, 6> Check1{};
    std::array<QLabel*, 6> LabelStatus{};
    QLineEdit* TextVon = nullptr;
    QLineEdit* TextBis = nullptr;
    QPushButton* cmdPrimSuchen = nullptr;
    QPushButton* cmdPrimStop = nullptr;
    QLabel* LabelElapsed = nullptr;
    QComboBox* ComboPosition = nullptr;
    QLabel* LabelMask = nullptr;
    QLabel* LabelBaud = nullptr;
    QLabel* LabelResult = nullptr;
    QPushButton* cmdSekSuchen = nullptr;
    QPushButton* cmdSekAbbrechen = nullptr;
    QTableView* MSFlexGrid1 = nullptr; // found meters
    QTableView* MSFlexGrid2 = nullptr; // result grid
    QPlainTextEdit* TextRaw = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* cmdSpeichern = nullptr;
    QPushButton* cmdZwischenablage = nullptr;
    QPushButton* cmdSchliessen = nullptr;
    QGroupBox* FrameSpeed = nullptr;
    QPushButton* cmdSpeedLesen = nullptr;
    QPushButton* cmdSpeedStop = nullptr;
    QLabel* LabelSpeedCount = nullptr;
    QLabel* LabelSpeedSeconds = nullptr;
    QGroupBox* FrameImport = nullptr;
    QListWidget* File1 = nullptr; // "*testcom*.txt"
    QPushButton* cmdListeLesen = nullptr;
    QPushButton* cmdImportListe = nullptr;
    QPushButton* cmdInDBSpeichern = nullptr;
    QPushButton* cmdImportIndex = nullptr;
    QPushButton* cmdImportAlleIndex = nullptr;
    QPushButton* cmdImportAbbrechen = nullptr;
    QLabel* LabelImport = nullptr;
    QPlainTextEdit* ImportReport = nullptr;
    QGroupBox* FrameModem = nullptr;
    QLineEdit* TextModemInit = nullptr;
    QLineEdit* TextModemDial = nullptr;
    QPushButton* cmdWaehlen = nullptr;
    QPushButton* cmdModemSuchen = nullptr;
    QPushButton* cmdAuflegen = nullptr;
    QLabel* LabelModem = nullptr;
    QAction* mnuImportIni = nullptr;
    QAction* mnuEnde = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildReadingFrame(QWidget* form);
    void buildHeaderFrame(QWidget* form);
    void buildSearchFrames(QWidget* form);
    void buildGrids(QWidget* form);
    void buildTechnicianFrames(QWidget* form);
    void connectCore();
    void refresh();
    void busyChanged(bool busy);
    void setWaitCursor(bool on);
    void openImportIni();

    TestBench& bench_;
    QWidget* form_ = nullptr;
    bool refreshing_ = false;
    bool waitCursor_ = false;
    QPointer<QWidget> focusBeforeBusy_; // where the focus was when a bus action began
};

} // namespace kelvaro::testbench
