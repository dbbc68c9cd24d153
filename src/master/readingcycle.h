#pragma once
#include "foundation/gridmodel.h"
#include "master/indexexport.h"
#include "master/rb6importgate.h"
#include "master/stationsettings.h"
#include "mbus/wire/meterreading.h"
#include "storage/rb6file.h"
#include "storage/readingtables.h"

#include <QObject>
#include <QSet>
#include <memory>
#include <optional>

class QEventLoop;

namespace kelvaro::mbus {
class BusPort;
class NativeProvider;
} // namespace kelvaro::mbus

namespace kelvaro::master {

class LogView;
class MeterTableModel;

// The next whole multiple of `interval` seconds after `now`; 0 for no interval.
qint64 NextStartFor(qint64 now, double interval);

// What one cycle runs with, taken at the tick that starts it. The settings
// are the station's own: a switch changed in the settings panel during the
// cycle counts from the next meter on.
struct CycleSetup {
    qint64 now = 0; // Unix seconds of the tick
    int port = 0;
    QString client;
    const StationSettings* settings = nullptr;
    bool testMeters = false; // TestZaehlerLaden has set the test meters
    bool stepMode = false;   // "TEST ": each meter waits for "Weiter"
    double meterPause = 0.1; // seconds before each meter
};

enum class CycleEnd {
    Done,    // both passes ran
    Stopped, // Stop or closing ended a pass: no end-of-pass or end-of-cycle step ran
};

// One reading cycle of the port: the meter list reloaded when the database
// switch is on, every meter read once, failed ones again in a repeat pass,
// each good reading stored. Runs on the caller's thread and waits in nested
// event loops, so Stop, "Weiter" and the settings panel work meanwhile.
class ReadingCycle : public QObject {
    Q_OBJECT
public:
    ReadingCycle(MeterTableModel& meters, LogView& log, mbus::BusPort& comm1, QObject* parent = nullptr);
    ~ReadingCycle() override;

    CycleEnd run(const CycleSetup& setup);
    // End of a cycle that another one follows: the sibling program when due.
    void launchKorvanisWhenDue(const CycleSetup& setup);

    // Stop: the pass ends after the meter being read. Start withdraws it.
    void stop();
    void resume();
    // Closing: no further meter is read, the line and the database are closed.
    void abort();
    // "Weiter" in step mode.
    void cmdWeiter();

    // Set by the cycle only.
    bool Busy = false;     // a cycle runs
    bool StepWait = false; // step mode waits for "Weiter"
    qint64 NextKorvanis = 0;
    GridModel durations; // MSFlexGrid3: the last three cycle times

signals:
    void status(const QString& text); // Label1
    void rowSelected(int meter);
    void stepWaiting(bool waiting);
    void message(const QString& text);

private:
    bool runPass(const CycleSetup& setup);
    mbus::MeterReadOutcome readMeter(int number, const CycleSetup& setup);
    void afterFailure(int number, mbus::MeterReadOutcome outcome, const CycleSetup& setup);
    // The line went away: said once, and the meters not yet read in this
    // cycle count as not read. Each following cycle tries the line at its
    // start (lineBack) and says once when it is back.
    void lineLost(const CycleSetup& setup);
    bool lineBack(const CycleSetup& setup);
    QString lineName(const CycleSetup& setup) const;
    void store(int number, const CycleSetup& setup);
    // False when the database was opened and has no meters for the port.
    bool openDatabase(const CycleSetup& setup);
    void closeDatabase();
    void supervise(const StationSettings& settings);
    void launchKorvanis(const CycleSetup& setup);
    // After a completed cycle, with the export on: the lines of its meters.
    void exportIndexes(const CycleSetup& setup);
    void waitForStep();
    void wake();
    // Each note at most once per cycle and meter.
    void note(QSet<int>& noted, int number, const QString& text);

    MeterTableModel& meters_;
    LogView& log_;
    mbus::BusPort& comm1_;
    std::unique_ptr<mbus::NativeProvider> provider_;
    std::optional<RB6ImportGate> rb6Gate_; // the cycle's hold on the RB6 directory
    RB6FileNames rb6Names_;                // listed afresh by each cycle
    ReadingTable values_;
    ReadingTable readings_;
    bool valuesOpen_ = false;
    bool readingsOpen_ = false;
    bool stopRequested_ = false;
    bool closing_ = false;
    QEventLoop* stepLoop_ = nullptr;
    QSet<int> addressingNoted_; // meters whose addressing the log told this cycle
    QSet<int> otherMeterNoted_;
    bool lineAway_ = false; // kept from cycle to cycle
    IndexExport indexExport_; // keeps the previous values from cycle to cycle
};

} // namespace kelvaro::master
