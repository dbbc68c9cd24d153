#pragma once

class QComboBox;

namespace kelvaro::mbus {

// Fills a provider list with "MBus OLE V1", "MBus OLE V2", "MBus OVX" (item
// data 0, 1, 2) and selects the kind configured for the port; `kind` gets it.
void MB_ProviderListeLaden(QComboBox* list, int port, int& kind);
// The same for a kind already known.
void FillProviderList(QComboBox* list, int kind);

} // namespace kelvaro::mbus
