#pragma once
// The meters a log line can belong to, as the master knows them.
#include "editors/editordatabase.h"
#include "logimport/logline.h"

#include <QString>
#include <bitset>
#include <string>
#include <vector>

namespace kelvaro::logimport {

inline constexpr int kMaxLogIndex = 999;

struct LogMeter {
    qint64 lznr = 0;
    int port = 0;
    int address = 0;   // MBAdr; 0 when empty, as the master logs it
    int mainIndex = 0; // MBIndex
    std::string id;    // MB_ID as the master logs it (each "f" blanked, trimmed), Windows-1252
    std::string name;  // zname, Windows-1252
    std::bitset<kMaxLogIndex + 1> store; // "Speichern" of the index list
    std::vector<int> rb6Handles;         // per index, once opened (-1: not yet)
};

class LogMeters {
public:
    // The M-Bus meters the master reads (level above 0, source 'M-Bus') with
    // the store flags of their index lists. False and `error` when the
    // database cannot be read.
    bool load(const EditorDatabaseSettings& database, QString& error);
    // Builds the lookup from meters given directly.
    void setMeters(std::vector<LogMeter> meters);

    // The meter of a reading: full layout by port, primary address and
    // identification (the name decides between equal ones); short layout by
    // primary address and main index. Null with `reason` NoMeter or Ambiguous.
    LogMeter* find(const LogReading& reading, SkipReason& reason);

    std::vector<LogMeter>& meters() { return meters_; }

private:
    std::vector<LogMeter> meters_;
    std::vector<int> byPortAddress_; // first meter of port * 256 + address, -1 none
    std::vector<int> byAddress_;     // first meter of an address (any port)
    std::vector<int> nextSamePortAddress_;
    std::vector<int> nextSameAddress_;
};

} // namespace kelvaro::logimport
