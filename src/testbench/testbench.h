#pragma once
#include "foundation/gridmodel.h"
#include "mbus/wire/meterreading.h"
#include "mbus/wire/providerselect.h"
#include "testbench/primarysearch.h"
#include "testbench/secondarysearch.h"
#include "testbench/testbenchsettings.h"

#include <QObject>
#include <QStringList>
#include <array>
#include <memory>

namespace kelvaro::testbench {

// The test bench of one M-Bus line without its window (frmTarvolin): the
// settings fields, the found-meter and result grids as models, the labels,
// and a handler per button. The window shows this state and forwards clicks
// and edits; tests drive it headless.
//
// Bus actions (reading, searches, speed test, index import of all meters,
// modem) wait with the event loop running, so the window stays usable while
// one runs. Only one runs at a time: a handler called while another bus
// action is under way (a click that arrives inside its waits) does nothing.
// The stop buttons set their flag and break the running exchange, so a run
// ends within one exchange; only the primary search's "Stop" lets the
// exchange under way finish, so that an answer already on the wire is kept.
class TestBench : public QObject {
    Q_OBJECT
public:
    static constexpr int kBaudBoxes = SecondarySearch::kBaudBoxes;
    static const QString kAccessWord; // "qvxnk"

    explicit TestBench(QObject* parent = nullptr);
    ~TestBench() override;

    // Form load: access word, client, fields, provider lists, time-outs,
    // position list, grid headers.
    void load(const QString& commandLine);
    bool fullSize() const { return fullSize_; }

    // Edits of the settings fields: each writes its key at once.
    void setPrimAdr(const QString& text);
    void setComPort(const QString& text);
    void setBaud(const QString& text);
    void setReadTimeout(int field, const QString& text);
    void setSearchTimeout(int field, const QString& text);
    void providerChosen(int kind);
    // Position list entry k: start mask of k zeros, the rest "f".
    void positionChosen(int entry);
    // Copies address, first baud rate and identification of a found-meter row.
    void foundRowDoubleClicked(int row);

    // Reading frame.
    void cmdLesenPrim();         // "&M-Bus lesen Prim"
    void cmdSekLesen();          // "Sekundär lesen"
    void cmdTestTelegramm();     // the built-in telegram
    // Primary search frame and speed test.
    void cmdPrimSuchen();        // "&Primär Suchen"
    void cmdPrimStop();          // its "Stop"
    void cmdSpeedLesen();        // "Lesen" in "Geschwindigkeitstest"
    void cmdSpeedStop();         // its "Stop"
    // Secondary search.
    void cmdSekSuchen();         // "Sekundär Adressen suchen"
    void cmdSekAbbrechen();      // "Abbrechen"
    // Lists and imports.
    void cmdSpeichern();               // "&Speichern"
    QString clipboardText() const;     // what "&Zwischenabl." copies
    void cmdListeLesen();              // "Liste Lesen (txt)"
    void testFileChosen(const QString& name); // entry of the "*testcom*.txt" list
    void refreshTestFiles();
    void cmdImportIndex();             // "Import Inde&x"
    void cmdImportListe();             // "&Import Liste in DB"
    void cmdInDBSpeichern();           // "In DB Speichern"
    void cmdImportAlleIndex();         // "Import &Alle Index"
    void cmdImportAbbrechen();         // "&Abbrechen"
    QString importIndexFile() const;   // "MBusImportIndex.txt" in the installation directory
    // Modem frame.
    void cmdWaehlen();
    void cmdModemSuchen();
    void cmdAuflegen();

    // Closing: every running action is told to stop, a modem line hung up.
    void stopAll();
    bool busy() const { return busy_; }

    // Settings fields.
    TestBenchFields fields;
    QString idField;
    QString vonField = QStringLiteral("0");
    QString bisField = QStringLiteral("250");
    std::array<bool, kBaudBoxes> baudBoxes{false, false, true, false, false, false};
    int providerKind = mbus::ProviderOleV2;
    int positionEntry = 0;
    QString startMask = QStringLiteral("ffffffff");
    QString modemInit = QStringLiteral("ATX1L3");
    QString modemDial = QStringLiteral("ATDT0");
    // Guard time around "+++" of the modem (Hayes default 1 s).
    int modemGuardMs = 1000;

    // Grids.
    GridModel foundGrid;  // 251 rows after a primary search, one per meter after a secondary one
    GridModel resultGrid; // "Prim/[Index]", "Medium", "Meßart", "Wert", "Einh."

    // What the window shows.
    mbus::ReadingHeader header; // header fields of the last reading
    QString rawData;            // raw-data box
    std::array<QString, kBaudBoxes> statusLabels;
    QString elapsedLabel;
    QString maskLabel;
    QString resultLabel;   // " Zähler gefunden" and the summary of the secondary search
    QString baudLabel;     // baud rate of the running secondary search
    QString speedCount;    // "Anz. gelesen"
    QString speedSeconds;  // "in Sec"
    QString modemStatus;
    QString importStatus;
    QStringList importReport;
    QStringList testFiles;
    QString chosenTestFile; // the list the found grid was loaded from; a search forgets it
    int progressValue = 0;
    int progressMaximum = 0;

    // Enabled state of the buttons that change with a run.
    bool primStopEnabled = false;
    bool speedStopEnabled = false;
    bool sekSuchenEnabled = true;
    bool sekAbbrechenEnabled = false;
    bool importAbbrechenEnabled = false;
    bool timeoutFieldsEnabled = true; // only for provider kind 1

    int telStatus() const;

signals:
    // Labels, fields or button states changed.
    void changed();
    void progressChanged(int value, int maximum);
    void busyChanged(bool busy);
    // The modem search wants the busy pointer.
    void waitCursor(bool on);

private:
    class BusAction;

    void setProgress(int value, int maximum);
    void resetFoundGrid(int rows);
    void setResultHeaders();
    // The result grid anew: its headers, then these rows.
    void showResultRows(const QList<QStringList>& rows);
    void showTelegram(const mbus::MBusProvider& provider);
    void showHeader(const mbus::MBusProvider& provider);
    mbus::NativeProvider* slotProvider();
    std::unique_ptr<mbus::NativeProvider> newProvider() const;
    int portField() const;
    int baudField() const;
    mbus::TimeoutSettings readTimeouts() const;
    mbus::TimeoutSettings searchTimeouts() const;
    QList<int> tickedBauds() const;
    QList<QStringList> foundRows() const;
    QList<QStringList> resultRows() const;
    void loadList(const QString& file);
    void importList(int port);
    void runSecondarySearch(mbus::NativeProvider& provider, const QList<int>& bauds, bool wholeRun);
    void hangUpNow();

    bool fullSize_ = false;
    bool busy_ = false;
    mbus::PortDirectory ports_;
    std::unique_ptr<mbus::NativeProvider> provider_;       // the provider slot of the reading frame
    std::unique_ptr<mbus::NativeProvider> modemProvider_;  // from "Wählen" to "Auflegen"
    mbus::NativeProvider* running_ = nullptr;              // provider of the running bus action
    PrimarySearch primary_;
    SecondarySearch secondary_;
    bool speedStop_ = false;
    bool importStop_ = false;
    bool hangUpPending_ = false;
    bool dialing_ = false; // TELInit or TELMakeCall under way
    int modemPort_ = 0;
    int modemBaud_ = 0;
};

} // namespace kelvaro::testbench
