#pragma once
#include "mbus/wire/portdevice.h"

class QWidget;

namespace kelvaro {

// The serial console with its log window as one window that owns its core:
// deleting it deletes the log window, the console and the log model.
QWidget* CreateSerialConsoleWindow(mbus::PortDirectory ports);

} // namespace kelvaro
