#pragma once
#include "overview/overviewsettings.h"

#include <QList>
#include <QStringList>
#include <array>

namespace kelvaro {
class GridModel;
class SqlConnection;
} // namespace kelvaro

namespace kelvaro::overview {

// One COM port of the overview: its meters, those per counted baud rate and
// the estimated cycle time (none while no meter has a counted rate).
struct PortRow {
    int port = 0;
    int meters = 0;
    std::array<int, 5> perBaud{}; // in kOverviewBauds order
    bool hasCycleTime = false;
    double cycleSeconds = 0;
};

// Every meter that has a port counts, whatever its level or source. Returns
// the number of ports, or -1 (last-error text set) when a query fails.
int MB_ComPortGetAnz(SqlConnection& db, const CycleTimes& times, QList<PortRow>& rows);

// Grid captions: "Com", "Anz Zähler", the five rates, "Zyk.Zeit [s]", "Status".
QStringList PortGridHeaders();
inline constexpr int kStatusColumn = 8;
// The eight cells of a port's row (the status column stays empty).
QStringList PortRowCells(const PortRow& row);

inline const QString kNoMetersMessage = QStringLiteral("Keine MBuszähler gefunden.");

} // namespace kelvaro::overview
