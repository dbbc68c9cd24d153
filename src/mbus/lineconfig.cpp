#include "mbus/lineconfig.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/textutil.h"

namespace kelvaro::mbus {
namespace {

QString providerSection(int port) { return ClientMBusSection() + QString::number(port); }

} // namespace

PortDirectory LoadPortDirectory()
{
    PortDirectory ports;
    const QString section = QStringLiteral("OVX");
    for (const QString& key : ReadIniKeys(section, kOvxIni)) {
        if (!key.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            continue;
        bool numeric = false;
        const int port = key.mid(3).toInt(&numeric);
        const QString device = ReadIniString(section, key, kOvxIni);
        if (numeric && port > 0 && !device.isEmpty())
            ports.set(port, device);
    }
    return ports;
}

int MB_ProviderListeLaden(int port)
{
    const int v = static_cast<int>(Val(ReadIniString(providerSection(port), QStringLiteral("OleProvider"), kOvxIni)));
    return v == 0 ? ProviderOleV2 : v;
}

void SaveProviderKind(int port, int kind)
{
    WriteIniString(providerSection(port), QStringLiteral("OleProvider"), QString::number(kind), kOvxIni);
}

TimeoutSettings LoadTimeoutSettings(const QString& section, const QString& deadTimeKey)
{
    const TimeoutSettings d;
    return {ReadIniNumberOrDefault(section, QStringLiteral("COMTimeout"), kOvxIni, d.timeout),
            ReadIniNumberOrDefault(section, QStringLiteral("COMTimeoutOffset"), kOvxIni, d.offset),
            ReadIniNumberOrDefault(section, QStringLiteral("COMTimeoutByte"), kOvxIni, d.byteTime),
            ReadIniNumberOrDefault(section, deadTimeKey, kOvxIni, d.deadTime),
            ReadIniNumberOrDefault(section, QStringLiteral("COMTimeoutNetwork"), kOvxIni, d.network)};
}

} // namespace kelvaro::mbus
