#pragma once
#include "mbus/wire/portdevice.h"
#include "mbus/wire/providerselect.h"

#include <QString>

namespace kelvaro::mbus {

// Line settings as the installation keeps them in ".\OVX.INI": read here, at
// the edge, and handed to the wire layer as values.

// Every "COM" + n key of section "OVX".
PortDirectory LoadPortDirectory();

// The configured provider kind of a port ("OleProvider" in section client +
// "MBus" + port; missing or 0 gives 1). The test bench uses port 0.
int MB_ProviderListeLaden(int port);
// Choosing an entry writes it back for the next start.
void SaveProviderKind(int port, int kind);

// Reads the four time-out keys of `section` and "COMTimeoutNetwork",
// replacing 0 or missing values by their defaults and writing those back. The
// dead-time key is "COMDeadtime" on the test bench and "COMTimeoutDeadTime" in
// the master's port sections.
TimeoutSettings LoadTimeoutSettings(const QString& section, const QString& deadTimeKey = QStringLiteral("COMDeadtime"));

} // namespace kelvaro::mbus
