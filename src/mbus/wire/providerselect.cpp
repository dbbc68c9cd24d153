#include "mbus/wire/providerselect.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/messages.h"
#include "foundation/textutil.h"

namespace kelvaro::mbus {
namespace {

QString providerSection(int port) { return ClientMBusSection() + QString::number(port); }

} // namespace

QStringList ProviderListLabels()
{
    return {QStringLiteral("MBus OLE V1"), QStringLiteral("MBus OLE V2"), QStringLiteral("MBus OVX")};
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

std::unique_ptr<NativeProvider> LoadMBusPovider(int kind)
{
    if (kind == ProviderOleV1 || kind == ProviderOleV2) {
        auto provider = std::make_unique<NativeProvider>();
        provider->LNGLanguage = 1;
        return provider;
    }
    if (kind != ProviderNone)
        ShowMessageBox(kNoProviderMessage);
    return nullptr;
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

void ApplyTimeoutSettings(NativeProvider& provider, const TimeoutSettings& settings)
{
    provider.COMTimeoutParam = 2;
    provider.COMTimeout = settings.timeout;
    provider.COMTimeoutOffset = settings.offset;
    provider.COMTimeoutByte = settings.byteTime;
    provider.COMDeadtime = settings.deadTime;
    provider.COMTimeoutNetwork = settings.network;
}

bool GetPortParameter(const QString& portField, const QString& baudField, QString& port, int& baud)
{
    double value = 0;
    if (!portField.trimmed().isEmpty() && IsNumericGerman(portField, &value))
        port = QStringLiteral("Com ") + QString::number(static_cast<int>(value));
    if (!baudField.trimmed().isEmpty() && IsNumericGerman(baudField, &value))
        baud = static_cast<int>(value);
    return true;
}

} // namespace kelvaro::mbus
