#pragma once
#include "mbus/valuetable.h"

#include <QString>

namespace kelvaro::mbus {

// The bus fields of one meter of a port's meter table; the master's meter
// list adds its own fields around it.
struct MeterBusFields : MeterValues {
    QString MB_ID;        // secondary address (identification digits)
    qint32 MBBaud = 2400;
    quint8 MBComP = 1;    // COM port number
    QString MB_SelectSec; // stored selection frame as a hex list; empty: read by MB_ID or PrimAdr
    quint8 PrimAdr = 0;   // "MBAdr", the primary address
    bool hasPrimAdr = true; // false when "MBAdr" is Null or no address at all
};

} // namespace kelvaro::mbus
