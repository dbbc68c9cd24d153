#include "mbus/wire/portdevice.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"

namespace kelvaro::mbus {

QString PortDeviceName(int port)
{
    const QString configured = ReadIniString(QStringLiteral("OVX"), QStringLiteral("COM") + QString::number(port), kOvxIni);
    if (!configured.isEmpty())
        return configured;
#ifdef Q_OS_WIN
    return QStringLiteral("COM") + QString::number(port);
#else
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
#endif
}

} // namespace kelvaro::mbus
