#include "mbus/wire/providerselect.h"

#include "foundation/textutil.h"

namespace kelvaro::mbus {
QStringList ProviderListLabels()
{
    return {QStringLiteral("MBus OLE V1"), QStringLiteral("MBus OLE V2"), QStringLiteral("MBus OVX")};
}

std::unique_ptr<NativeProvider> LoadMBusPovider(int kind, const PortDirectory& ports, QString* error)
{
    if (kind == ProviderOleV1 || kind == ProviderOleV2) {
        auto provider = std::make_unique<NativeProvider>();
        provider->LNGLanguage = 1;
        provider->setPortDirectory(ports);
        return provider;
    }
    if (kind != ProviderNone && error)
        *error = kNoProviderMessage;
    return nullptr;
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
