#pragma once
#include "master/indexexport.h"
#include "mbus/wire/portdevice.h"
#include "mbus/wire/providerselect.h"

#include <QString>
#include <array>
#include <optional>

namespace kelvaro::master {

// The four storage switches Check1(0) .. Check1(3).
enum class StoreSwitch { Database, MBusLog, RB6Files, Korvanis };

struct StoreSwitches {
    std::array<bool, 4> on{false, false, true, true}; // the defaults of "MBSpeichern0" .. "MBSpeichern3"
    bool operator[](StoreSwitch s) const { return on[static_cast<std::size_t>(s)]; }
    void set(StoreSwitch s, bool value) { on[static_cast<std::size_t>(s)] = value; }
};
// The switch of Check1(index); none for other indexes.
std::optional<StoreSwitch> StoreSwitchAt(int index);

// The time-out fields Text4(0) .. Text4(3).
enum class TimeoutField { Timeout, Offset, ByteTime, DeadTime };
std::optional<TimeoutField> TimeoutFieldAt(int index);

// Every setting of the station in ".\OVX.INI": sections client + "MBus",
// client + "MBus" + port, "MB" + client and "OVX". Read at start-up by load();
// the settings handlers change a field and write it back with its save
// function. No other code of the station reads or writes these keys.
struct StationSettings {
    int KorvanisIntervall = 900;
    int KorvanisStartFenster = 6;
    QString korvanisProgram; // "KorvanisProgramm"; empty: Korvanis(.exe) in the installation directory
    double IntervallCom = 0;
    mbus::TimeoutSettings timeouts;
    mbus::PortDirectory ports; // the devices of the COM numbers
    QString TibboIP;
    QString TibboPort = QStringLiteral("65535");
    QString serviceName = QStringLiteral("ormund.service"); // the installation's service, [OVX] "OrmundService"
    StoreSwitches store;
    IndexExportSettings indexExport;
    int providerKind = mbus::ProviderOleV2;
    // How long a cycle waits in all for a log import that rebuilds the RB6
    // files: "RB6ImportWarten" seconds in section A; negative when not set.
    int rb6ImportWaitMs = -1;

    // The bound of that wait: the setting, else the read interval, at most
    // five minutes (five minutes for single runs).
    int rb6ImportWaitBoundMs() const;

    // Reads the keys of `port`, writing back the defaults that are written
    // back when missing; also sets the global RB6_StandardGroesse.
    static StationSettings load(int port);
    // The keys another program may change while the station runs (the
    // overview's "MBSpeichern1" and the index export), read again at the
    // start of each cycle. "MBSpeichern1" counts only when its text has
    // changed since it was last read: a switch set here and not yet written
    // (the file refused it) stays as set.
    void reloadCycleKeys();
    QString logSwitchText; // "MBSpeichern1" as last read

    int timeout(TimeoutField field) const;
    void setTimeout(TimeoutField field, int value);

    // Each writes one key from the field; false (last-error text set) when
    // the file could not be written.
    bool saveIntervallCom(int port) const;
    bool saveTimeout(TimeoutField field, int port) const;
    bool saveStoreSwitch(StoreSwitch s) const;
    // "OleProvider", written by the line configuration.
    void saveProviderKind(int port) const;
};

} // namespace kelvaro::master
