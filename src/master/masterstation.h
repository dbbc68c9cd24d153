#pragma once
#include "foundation/processlock.h"
#include "master/buslock.h"
#include "master/logview.h"
#include "master/manualreading.h"
#include "master/mastercommandline.h"
#include "master/metertablemodel.h"
#include "master/readingcycle.h"
#include "master/stationsettings.h"
#include "mbus/wire/busport.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <memory>

namespace kelvaro::master {

// `Status` of the station: empty at load, "Start" after Start, "Stop" after Stop.
enum class RunStatus { None, Start, Stop };

// The reading station of one COM port without its window: start-up, the
// one-second timer, the handlers of the window's controls and the state the
// window shows. Its parts: the settings (StationSettings), the meter list
// (MeterTableModel), the log view (LogView), the cycle (ReadingCycle) and the
// manual readings (ManualReading), which share the line through a BusLock.
// The window (frmKelvaroV4) shows them and forwards its clicks; headless, the
// program drives the station alone. Messages for a box go out as message().
class MasterStation : public QObject {
    Q_OBJECT
public:
    using Clock = LogView::Clock;

    explicit MasterStation(QObject* parent = nullptr);
    ~MasterStation() override;

    // The wall clock (a naive local date-time, see timeutil.h); tests inject one.
    void setClock(Clock clock);
    qint64 nowSeconds() const;

    // Start-up: command line, client, port lock, database, meter list,
    // settings; then Start ("Auto") or Stop. While another master holds the
    // port's lock the start is refused: startRefused(), and nothing more.
    void load(const QString& commandLine);
    bool refused() const { return refused_; }

    // Handlers of the window's controls.
    void cmdStart();
    void cmdStop();
    void cmdWeiter();
    void timerTick();
    void text1Changed(const QString& text);
    void text4Changed(int index, const QString& text);
    void check1Clicked(int index, bool checked);
    void providerChosen(int kind);
    void mnuEinstellung();
    void cmdEinstellungenZurueck();
    void mnuLog();
    // The operator has confirmed "Sind sie sicher?": timer stopped, closeRequested().
    void mnuEnde();
    // Closing: readings broken off, databases closed, timer stopped.
    void formUnload();
    void cmdTestService();
    // Bus actions: each is refused with a log line while the cycle or another
    // of them uses the line. Meters are numbered from 1.
    void TestZaehlerLaden();
    void cmd_V2_MBLesenSecundaer(int meter);
    // Row event of the meter grid: reads the meter by hand into the index list
    // view; while the line is in use it shows the meter's last values.
    void meterRowChosen(int meter);
    void cmdSpeichernIndexliste(int item);
    void combo3Chosen(int item);

    QString windowCaption() const;
    int meterCount() const { return meters.meterCount(); }
    bool busFree() const { return bus_.isFree(); }

private:
    // Declared first: the parts below hold references to them.
    BusLock bus_;
    mbus::BusPort comm1_; // Comm1, the line of the stored-selection readings

public:
    // State of the station (names as the station's documents use them).
    MasterCommandLine commandLine;
    StationSettings settings;
    int Port = 0;
    qint64 NextStart = 0;
    qint64 StartTime = 0;
    RunStatus Status = RunStatus::None;
    bool Running = false;
    double MeterPause = 0.1;
    int TickCount = 0;
    int TickLimit = 300;
    bool TimerWasEnabled = false;
    bool testMeterFlag = false;
    QTimer Timer1;

    LogView log;            // MSFlexGrid4
    MeterTableModel meters; // MSFlexGrid1
    ReadingCycle cycle;     // its durations: MSFlexGrid3
    ManualReading manual;   // its values: MSFlexGrid2

    // What the window shows besides the grids.
    bool testFunctionsEnabled = false;
    bool logViewVisible = true;
    bool logGridHidden = false;
    bool settingsVisible = false;
    QString label1, label5, label6, label7, text1;
    bool cmdStartEnabled = true, cmdStopEnabled = false, cmdWeiterEnabled = false;

signals:
    void logLine(const QString& line);
    void label1Changed(const QString& text);
    void stateChanged();
    void rowSelected(int meter);
    void minimiseRequested(bool minimised);
    void closeRequested();
    // A message box for the caller to show (an empty title: the program's).
    void message(const QString& text, const QString& title);
    // Another master runs on the port: the program ends without opening the line.
    void startRefused(const QString& text);

private:
    void setLabel1(const QString& text);
    // The bus for a manual action, or a log line saying who has it.
    BusLock::Hold takeBus(BusUser user);
    void checkWritten(bool written);
    void loadMeterList();
    // Holds the port's lock for as long as the station lives; false (start
    // refused) while another master holds it.
    bool holdPortLock();
    QString dateTimeText(qint64 seconds) const;

    Clock clock_;
    bool closing_ = false;
    bool refused_ = false;
    std::unique_ptr<ProcessLock> portLock_;
};

} // namespace kelvaro::master
