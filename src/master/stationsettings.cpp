#include "master/stationsettings.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/textutil.h"
#include "mbus/lineconfig.h"
#include "storage/rb6file.h"

#include <algorithm>

namespace kelvaro::master {
namespace {

const QString kDeadTimeKey = QStringLiteral("COMTimeoutDeadTime");

QString portSection(int port) { return ClientMBusSection() + QString::number(port); }
QString intervalKey(int port) { return QStringLiteral("IntervallCom") + QString::number(port); }
QString storeKey(StoreSwitch s) { return QStringLiteral("MBSpeichern") + QString::number(static_cast<int>(s)); }

QString timeoutKey(TimeoutField field)
{
    switch (field) {
    case TimeoutField::Timeout: return QStringLiteral("COMTimeout");
    case TimeoutField::Offset: return QStringLiteral("COMTimeoutOffset");
    case TimeoutField::ByteTime: return QStringLiteral("COMTimeoutByte");
    case TimeoutField::DeadTime: break;
    }
    return kDeadTimeKey;
}

} // namespace

std::optional<StoreSwitch> StoreSwitchAt(int index)
{
    if (index < 0 || index > 3)
        return std::nullopt;
    return static_cast<StoreSwitch>(index);
}

std::optional<TimeoutField> TimeoutFieldAt(int index)
{
    if (index < 0 || index > 3)
        return std::nullopt;
    return static_cast<TimeoutField>(index);
}

StationSettings StationSettings::load(int port)
{
    StationSettings s;
    const QString a = ClientMBusSection();
    s.KorvanisIntervall = ReadIniNumberOrDefault(a, QStringLiteral("KorvanisIntervall"), kOvxIni, 900);
    s.KorvanisStartFenster = ReadIniNumberOrDefault(a, QStringLiteral("KorvanisStartFenster"), kOvxIni, 6);
    s.korvanisProgram = ReadIniString(a, QStringLiteral("KorvanisProgramm"), kOvxIni);
    ReadRB6StandardGroesse();
    s.IntervallCom = Val(ReadIniString(a, intervalKey(port), kOvxIni));
    s.timeouts = mbus::LoadTimeoutSettings(portSection(port), kDeadTimeKey);
    s.ports = mbus::LoadPortDirectory();

    const QString tibboKey = QStringLiteral("TibboIP") + QString::number(port);
    s.TibboIP = ReadIniString(portSection(port), tibboKey, kOvxIni);
    if (s.TibboIP.isEmpty()) {
        // Site addresses of device servers may be given once in [OVX]; otherwise none.
        s.TibboIP = ReadIniString(QStringLiteral("OVX"), tibboKey, kOvxIni);
        WriteIniString(portSection(port), tibboKey, s.TibboIP, kOvxIni);
    }
    const QString service = ReadIniString(QStringLiteral("OVX"), QStringLiteral("OrmundService"), kOvxIni);
    if (!service.isEmpty())
        s.serviceName = service;

    for (int i = 0; i < 4; ++i) {
        const StoreSwitch sw = static_cast<StoreSwitch>(i);
        const QString text = ReadIniString(MBClientSection(), storeKey(sw), kOvxIni);
        if (!text.isEmpty())
            s.store.set(sw, Val(text) != 0);
    }
    s.logSwitchText = ReadIniString(MBClientSection(), storeKey(StoreSwitch::MBusLog), kOvxIni);
    s.reloadCycleKeys();
    s.providerKind = mbus::MB_ProviderListeLaden(port);
    const QString wait = ReadIniString(a, QStringLiteral("RB6ImportWarten"), kOvxIni);
    if (!wait.isEmpty())
        s.rb6ImportWaitMs = static_cast<int>(std::clamp(ToDouble(wait), 0.0, 3600.0) * 1000);
    return s;
}

void StationSettings::reloadCycleKeys()
{
    const QString logSwitch = ReadIniString(MBClientSection(), storeKey(StoreSwitch::MBusLog), kOvxIni);
    if (logSwitch != logSwitchText) {
        logSwitchText = logSwitch;
        if (!logSwitch.isEmpty())
            store.set(StoreSwitch::MBusLog, Val(logSwitch) != 0);
    }
    indexExport.on = Val(ReadIniString(ClientMBusSection(), QStringLiteral("MitIndexExport"), kOvxIni)) != 0;
    indexExport.target = ReadIniString(ClientSection(), QStringLiteral("MBusExportIndexDatei"), kOvxIni).trimmed();
    if (indexExport.target.isEmpty())
        indexExport.target = DatenPath;
    indexExport.previousValue = Val(ReadIniString(ClientSection(), QStringLiteral("VorWert"), kOvxIni)) != 0;
}

int StationSettings::rb6ImportWaitBoundMs() const
{
    constexpr int kLongestMs = 5 * 60 * 1000;
    if (rb6ImportWaitMs >= 0)
        return rb6ImportWaitMs;
    if (IntervallCom <= 0)
        return kLongestMs;
    return static_cast<int>(std::min<double>(IntervallCom * 1000, kLongestMs));
}

int StationSettings::timeout(TimeoutField field) const
{
    switch (field) {
    case TimeoutField::Timeout: return timeouts.timeout;
    case TimeoutField::Offset: return timeouts.offset;
    case TimeoutField::ByteTime: return timeouts.byteTime;
    case TimeoutField::DeadTime: break;
    }
    return timeouts.deadTime;
}

void StationSettings::setTimeout(TimeoutField field, int value)
{
    switch (field) {
    case TimeoutField::Timeout: timeouts.timeout = value; return;
    case TimeoutField::Offset: timeouts.offset = value; return;
    case TimeoutField::ByteTime: timeouts.byteTime = value; return;
    case TimeoutField::DeadTime: timeouts.deadTime = value; return;
    }
}

bool StationSettings::saveIntervallCom(int port) const
{
    return WriteIniString(ClientMBusSection(), intervalKey(port), GermanNumber(IntervallCom), kOvxIni);
}

bool StationSettings::saveTimeout(TimeoutField field, int port) const
{
    return WriteIniString(portSection(port), timeoutKey(field), QString::number(timeout(field)), kOvxIni);
}

bool StationSettings::saveStoreSwitch(StoreSwitch s) const
{
    return WriteIniString(MBClientSection(), storeKey(s), store[s] ? QStringLiteral("1") : QStringLiteral("0"), kOvxIni);
}

void StationSettings::saveProviderKind(int port) const { mbus::SaveProviderKind(port, providerKind); }

} // namespace kelvaro::master
