#pragma once
#include "mbus/wire/linetransport.h"

#include <QHash>
#include <QString>

namespace kelvaro::mbus {

// The system's name of COM port number n when nothing else is configured:
// /dev/ttyS(n-1) on Linux, COMn on Windows.
QString DefaultPortDevice(int port);

// Which device each COM port number reaches: serial paths, "tcp://host:port"
// or "rfc2217://host:port". The installation's configuration is read at the
// edge (LoadPortDirectory) and handed down as this value.
class PortDirectory {
public:
    void set(int port, const QString& device) { devices_.insert(port, device); }
    // One device for every port number (a device given on the command line).
    void setForEveryPort(const QString& device) { everyPort_ = device; }
    static PortDirectory everyPortTo(const QString& device)
    {
        PortDirectory ports;
        ports.setForEveryPort(device);
        return ports;
    }
    QString deviceFor(int port) const;

private:
    QHash<int, QString> devices_;
    QString everyPort_;
};

} // namespace kelvaro::mbus
