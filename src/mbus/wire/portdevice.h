#pragma once
#include "mbus/wire/linetransport.h"

#include <QString>

namespace kelvaro::mbus {

// The device behind COM port number n: key "COM" + n in section "OVX" of
// ".\OVX.INI", else /dev/ttyS(n-1) (COMn on Windows). "tcp://host:port"
// names a serial-to-Ethernet device server.
QString PortDeviceName(int port);

} // namespace kelvaro::mbus
