#pragma once
#include "foundation/gridmodel.h"
#include "logimport/logimport.h"
#include "logimport/ui/logimportenvironment.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <array>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

namespace kelvaro::logimport {

// "Import Log Datei": rebuilds the client's RB6 files from the daily M-Bus
// logs, shows one address's values day by day, and inspects single RB6 files.
//
// An import runs on the window's own thread and lets the events run from its
// progress callback: the program-wide state it shares with the window (the
// last-error text, the open-file count, the database connections) is not made
// for two threads. While it runs, only "Abbrechen" is enabled.
class FrmImportLogFile : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmImportLogFile(QWidget* parent = nullptr);
    ~FrmImportLogFile() override;

    // The form's load: the fields' defaults from the environment, "Bereit".
    void load(const LogImportEnvironment& environment);
    bool isRunning() const { return running_; }
    // How often the window looks whether a master cycle holds the RB6 directory.
    void setLockPollInterval(int ms);

    void cmdImport_Click();
    void cmdTageswerte_Click();
    void cmdDateiLesen_Click();
    void cmdDateiAnzeigen_Click();
    void cmdDatInfoLesen_Click();
    void cmdLesen_Click();
    void Command1_Click(); // SuchePos
    void cmdLeseTag_Click();
    void cmdErzeugeTestDatei_Click();
    // Import enabled unless a run is on or a master cycle holds the lock.
    void refreshLockState();

    // The texts of a waiting import and of the lock state.
    static QString waitingText() { return QStringLiteral(" Warte auf das Ende des Master-Zyklus (RB6-Verzeichnis gesperrt)"); }
    static QString lockedText() { return QStringLiteral("Ein Master-Zyklus schreibt RB6-Dateien: Import gesperrt"); }

    // Controls by their names, for the tests.
    std::array<QLineEdit*, 6> Text5{}; // 0/1 Lesen von/bis, 2 SuchePos, 3 Lese Tag, 4/5 Import von/bis
    QLineEdit* Text1 = nullptr;        // a log file
    QLineEdit* Text3 = nullptr;        // an RB6 file
    QLineEdit* Text4 = nullptr;        // meter key "LZNR[/Index]"
    QLineEdit* Text8 = nullptr;        // M-Bus address of the daily values
    QLabel* Label2 = nullptr;          // progress of the file being read
    QLabel* Label4_0 = nullptr;        // the client's database
    QLabel* Label5 = nullptr;          // progress text
    QLabel* LabelSperre = nullptr;     // shown while a master cycle holds the lock
    QLabel* Label6 = nullptr;          // result line of the RB6 tools
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* cmdImport = nullptr;
    QPushButton* cmdTageswerte = nullptr;
    QPushButton* cmdDateiLesen = nullptr;
    QPushButton* cmdDateiAnzeigen = nullptr;
    QPushButton* cmdAbbrechen = nullptr;
    QPushButton* cmdDatInfoLesen = nullptr;
    QPushButton* cmdLesen = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmdLeseTag = nullptr;
    QPushButton* cmdErzeugeTestDatei = nullptr;
    QTableView* MSFlexGrid1 = nullptr; // import summary or a log file's lines
    QTableView* MSFlexGrid2 = nullptr; // RB6 header
    QTableView* MSFlexGrid3 = nullptr; // RB6 values of a range
    QTableView* MSFlexGrid4 = nullptr; // RB6 day
    QTableView* MSFlexGrid5 = nullptr; // daily values

    GridModel importGrid, infoGrid, rangeGrid, dayGrid, dailyGrid;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildImport();
    QWidget* buildTools();
    void connectControls();
    bool beginRun();
    void endRun();
    bool onProgress(const ImportProgress& progress);
    void showSummary(const ImportSummary& summary, bool range);
    void showTextFile(const QString& file);
    QString rb6File() const;

    LogImportEnvironment environment_;
    QTimer* lockTimer_ = nullptr;
    bool running_ = false;
    bool cancel_ = false;
    bool closeWhenDone_ = false;
    bool sawWork_ = false;
    QDate shownDay_;
    ImportProgress lastProgress_;
    QElapsedTimer sinceShown_;
};

} // namespace kelvaro::logimport
