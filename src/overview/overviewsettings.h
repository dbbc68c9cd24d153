#pragma once
#include <QString>
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

// How the overview supervises its masters; read at the edge, handed down.
struct SupervisionSettings {
    int restartIntervalMs = 60'000; // at most one restart per port within this time
    int checkIntervalMs = 1'500;    // how often the ports are looked at
};
// "NeustartIntervall" (seconds) in section client + "MBus"; missing or 0: 60.
SupervisionSettings LoadSupervisionSettings();

} // namespace kelvaro::overview
