#pragma once
#include "master/meterrecord.h"

#include <QStringList>
#include <QVector>
#include <functional>

namespace kelvaro {
class GridModel;
class SqlConnection;
}

namespace kelvaro::master {

inline constexpr int kMaxPortMeters = 254;

// Where the port's meter list goes: the meter grid (7 columns), the meter
// table (index = grid row from 1; entry 0 unused), the items of the index list
// chooser and the log view.
struct MeterListTarget {
    GridModel& grid;
    QVector<MeterRecord>& meters;
    QStringList& chooserItems;
    std::function<void(const QString&)> log;
};

// Loads the meters of a port (level above 0, source 'M-Bus'), fastest baud
// rate first, with the store flags of their index lists. Returns the count.
int BM_ZählerlisteLadenComPort(SqlConnection& db, int port, MeterListTarget target);

// "MBComP" of the first M-Bus meter, 0 when there is none.
int GetComPort(SqlConnection& db);

} // namespace kelvaro::master
