#pragma once
#include <functional>

class QString;

namespace kelvaro {
class SqlConnection;
}

namespace kelvaro::master {

class MeterTableModel;

inline constexpr int kMaxPortMeters = 254;

// Where the port's meter list goes, and where its lines and messages go.
struct MeterListTarget {
    MeterTableModel& meters;
    std::function<void(const QString&)> log;     // the log view
    std::function<void(const QString&)> message; // a message box of the caller
};

// Loads the meters of a port (level above 0, source 'M-Bus'), fastest baud
// rate first, with the store flags of their index lists, and the items of
// the index list chooser. Returns the count; 0 leaves the list as it was.
int BM_ZaehlerlisteLadenComPort(SqlConnection& db, int port, const MeterListTarget& target);

// "MBComP" of the first M-Bus meter, 0 when there is none.
int GetComPort(SqlConnection& db);

} // namespace kelvaro::master
