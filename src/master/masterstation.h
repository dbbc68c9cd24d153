#pragma once
#include "foundation/gridmodel.h"
#include "master/mastercommandline.h"
#include "master/meterrecord.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/providerselect.h"
#include "storage/readingtables.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <QVector>
#include <array>
#include <functional>
#include <memory>

namespace kelvaro::master {

// The reading station of one COM port without its window: start-up, the
// one-second timer and its reading cycle, storing, and the handlers of the
// window's controls. The window (frmKelvaroV4) shows the grids and labels
// and forwards its clicks; headless, the program drives it alone.
class MasterStation : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit MasterStation(QObject* parent = nullptr);
    ~MasterStation() override;

    // The wall clock (a naive local date-time, see timeutil.h); tests inject one.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    qint64 nowSeconds() const;
    static qint64 NextStartFor(qint64 now, double interval);

    // Start-up: command line, client, database, meter list, settings; then Start
    // ("Auto") or Stop.
    void load(const QString& commandLine);

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
    // "Sind sie sicher?"; true when the operator wants to end.
    bool mnuEnde();
    // Closing: databases closed, timer stopped.
    void formUnload();
    void cmdTestService();
    void TestZaehlerLaden();
    void cmd_V2_MBLesenSecundaer(int row);
    // Row event of the meter grid: reads the meter by hand into the index list view.
    void meterRowChosen(int row);
    void combo3Chosen(int item);
    void cmdSpeichernIndexliste(int item);
    // Manual reading of one meter (the index list view shows its values).
    int MB_ReadPrimAdr(int address, MeterRecord& meter);
    int MB_ReadPrimAdrRac(int address, MeterRecord& meter);

    QString windowCaption() const;
    int meterCount() const { return static_cast<int>(meters.size()) - 1; }

    // State of the station (names as the station's documents use them).
    MasterCommandLine commandLine;
    int Port = 0;
    double IntervallCom = 0;
    qint64 NextStart = 0;
    qint64 StartTime = 0;
    int Busy = 0;
    QString Status;
    bool Running = false;
    quint8 StepWait = 0;
    double MeterPause = 0.1;
    mbus::TimeoutSettings timeouts;
    mbus::PortDirectory ports; // the devices of the COM numbers, read at start-up
    QString TibboPort = QStringLiteral("65535");
    QString TibboIP;
    int KorvanisIntervall = 900;
    int KorvanisStartFenster = 6;
    qint64 NextKorvanis = 0;
    int TickCount = 0;
    int TickLimit = 300;
    bool TimerWasEnabled = false;
    std::array<bool, 4> Check1{false, false, true, true};
    int providerKind = mbus::ProviderOleV2;
    bool testMeterFlag = false;
    bool testFunctionsEnabled = false;
    bool logViewVisible = true;
    bool logGridHidden = false;
    bool settingsVisible = false;

    QVector<MeterRecord> meters{1}; // entry 0 unused; entry r = grid row r
    QStringList combo3;
    GridModel meterGrid;  // MSFlexGrid1
    GridModel logGrid;    // MSFlexGrid4, newest on top
    GridModel cycleGrid;  // MSFlexGrid3
    GridModel indexGrid;  // MSFlexGrid2
    QString label1, label5, label6, label7, text1;
    bool cmdStartEnabled = true, cmdStopEnabled = false, cmdWeiterEnabled = false;
    QTimer Timer1;

signals:
    void logLine(const QString& line);
    void label1Changed(const QString& text);
    void stateChanged();
    void rowSelected(int row);
    void minimiseRequested(bool minimised);
    void closeRequested();
    // "Weiter", Stop or closing: a step-mode wait ends.
    void stepReleased();

private:
    void setLabel1(const QString& text);
    void logView(const QString& text);
    void runCycle(qint64 now);
    bool runPass(int pass);
    int readMeter(int row);
    // A provider of `kind` for this station's ports; an unknown kind shows its message.
    std::unique_ptr<mbus::NativeProvider> createProvider(int kind) const;
    void afterFailure(int row, int rc);
    // False when the database was opened and has no meters for the port.
    bool openDatabaseForCycle();
    void closeDatabaseOfCycle();
    void supervise();
    void launchKorvanis();
    void readSettings();
    void showValues(const MeterRecord& meter, int address);
    bool waitForStep();
    QString mbusSection() const;
    QString portSection() const;
    QString mbSection() const;
    QString dateTimeText(qint64 seconds) const;

    Clock clock_;
    std::unique_ptr<mbus::NativeProvider> provider_;
    mbus::BusPort serial_; // Comm1
    ReadingTable values_;
    ReadingTable readings_;
    bool valuesOpen_ = false;
    bool readingsOpen_ = false;
    bool closing_ = false;
};

} // namespace kelvaro::master
