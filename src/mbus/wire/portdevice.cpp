#include "mbus/wire/portdevice.h"

namespace kelvaro::mbus {

QString DefaultPortDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM") + QString::number(port);
#else
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
#endif
}

QString PortDirectory::deviceFor(int port) const
{
    if (!everyPort_.isEmpty())
        return everyPort_;
    const QString configured = devices_.value(port);
    return configured.isEmpty() ? DefaultPortDevice(port) : configured;
}

} // namespace kelvaro::mbus
