#pragma once
#include <QString>
#include <QTime>
#include <array>

namespace kelvaro::overview {

// The baud rates the overview counts, in the order of their grid columns.
inline constexpr std::array<int, 5> kOverviewBauds{300, 1200, 2400, 4800, 9600};

// The cycle-time estimate of a port: "MBTime" seconds per meter plus, once for
// every group of meters at one baud rate, that rate's time.
struct CycleTimes {
    double perMeter = 0.24;
    std::array<double, 5> perBaudGroup{2, 1, 0.27, 0.15, 0.075}; // in kOverviewBauds order
};

// The overview's keys of section client + "MBus": a value that reads as 0 is
// replaced by its default, which is written back; "RB6_StandardGroesse" keeps
// its default to itself.
struct OverviewSettings {
    CycleTimes cycleTimes;
    int rb6BlockCount = 6000;
};
OverviewSettings LoadOverviewSettings();

// The overview's three check boxes, kept in ".\OVX.INI" where the masters
// read them at each cycle.
struct OverviewSwitches {
    bool logValues = false;   // "MBSpeichern1" of "MB" + client: the masters' "... in MBuslog"
    QString restartAt;        // "NeustartUm" of client + "MBus", "hh:mm"; empty: no daily restart
    bool indexExport = false; // "MitIndexExport" of client + "MBus"
};
OverviewSwitches LoadOverviewSwitches();
// Each writes its key; false (last-error text set) when the file refused it.
bool SaveLogValues(bool on);
bool SaveIndexExport(bool on);
bool SaveRestartAt(const QString& time);
// "h:mm" or "hh:mm" (also "hh:mm:ss"); an invalid time for any other text.
QTime RestartTime(const QString& text);

// How the overview supervises its masters; read at the edge, handed down.
struct SupervisionSettings {
    int restartIntervalMs = 60'000; // at most one restart per port within this time
    int checkIntervalMs = 1'500;    // how often the ports are looked at
    int killAfterMs = 30'000;       // a master that has not ended this long after SIGTERM gets SIGKILL
};
// "NeustartIntervall" (seconds) in section client + "MBus"; missing or 0: 60.
// "NeustartWarten" (seconds, same section): the SIGKILL bound; missing or 0: 30.
SupervisionSettings LoadSupervisionSettings();

} // namespace kelvaro::overview
