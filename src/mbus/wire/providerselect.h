#pragma once
#include "mbus/wire/nativeprovider.h"

#include <QStringList>
#include <memory>

namespace kelvaro::mbus {

// Which provider reads the bus: 0 "MBus OLE V1", 1 "MBus OLE V2", 2 "MBus OVX"
// (none). Kinds 0 and 1 both get the station's native provider.
enum ProviderKind : quint8 { ProviderOleV1 = 0, ProviderOleV2 = 1, ProviderNone = 2 };

QStringList ProviderListLabels();
inline const QString kNoProviderMessage = QStringLiteral("Kein OleProvider ausgewählt");

// Creates the provider of a kind for the ports of `ports`: kinds 0 and 1 the
// native provider with LNGLanguage = 1, kind 2 none. Any other kind gives none
// and sets `error` to "Kein OleProvider ausgewählt", for the caller to show.
std::unique_ptr<NativeProvider> LoadMBusPovider(int kind, const PortDirectory& ports = {}, QString* error = nullptr);

// The four time-out settings of a port or of the test bench.
struct TimeoutSettings {
    int timeout = 330;
    int offset = 50;
    int byteTime = 4;
    int deadTime = 11;
    int network = 250; // allowance of network lines, ms
};
// COMTimeoutParam = 2, then the four values, in that order, and the network allowance.
void ApplyTimeoutSettings(NativeProvider& provider, const TimeoutSettings& settings);

// Port and baud from the test bench's fields: port becomes "Com " + number,
// baud the number; each only when its field is non-empty and numeric.
bool GetPortParameter(const QString& portField, const QString& baudField, QString& port, int& baud);

} // namespace kelvaro::mbus
