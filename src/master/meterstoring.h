#pragma once
#include "master/meterrecord.h"
#include "master/stationsettings.h"

#include "data/indexlist.h"

#include <QList>
#include <functional>

namespace kelvaro {
class RB6FileNames;
class ReadingTable;
}

namespace kelvaro::master {

// Everything the storing of one reading depends on besides the meter.
struct StoreContext {
    StoreSwitches switches;
    ReadingTable* values = nullptr;   // "MBusWerte", when open for this cycle
    ReadingTable* readings = nullptr; // "Zaehlerstaende", when open for this cycle
    RB6FileNames* rb6Names = nullptr; // the cycle's listing of the RB6 directory
    QString client;
    int port = 0;
    bool testMeter = false;
    std::function<void(const QString&)> log; // the master's log view
};

// Stores the values of a successful reading by the four switches: index-list
// upkeep, "mb.log" and "Index1.txt" lines, "MBusWerte", RB6 files, and the
// main reading into the 15-minute file and "Zaehlerstaende". Each store is
// independent: a failure is logged and the others go on.
void MBusZaehlerSpeichern(StoreContext& context, MeterRecord& meter);

// The meter's last reading as the values of a new index list.
QList<IndexListValue> IndexListValues(const MeterRecord& meter);

} // namespace kelvaro::master
