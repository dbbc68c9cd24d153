#include "overview/overviewsettings.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/textutil.h"

namespace kelvaro::overview {
namespace {

// The German rules read "0.24" as 24 ("." groups thousands). A file written
// where the decimal point is "." holds such values, and these seconds never
// need a thousands group: a text with a point and no comma is a decimal.
double secondsValue(const QString& text)
{
    const QString t = text.trimmed();
    if (t.contains('.') && !t.contains(',')) {
        bool ok = false;
        const double value = t.toDouble(&ok);
        if (ok)
            return value;
    }
    return ToDouble(t);
}

double readSeconds(const QString& key, double defaultValue)
{
    const double value = secondsValue(ReadIniString(ClientMBusSection(), key, kOvxIni));
    if (value != 0)
        return value;
    // A failed write-back is no reason to refuse the default.
    WriteIniString(ClientMBusSection(), key, GermanNumber(defaultValue), kOvxIni);
    return defaultValue;
}

} // namespace

OverviewSettings LoadOverviewSettings()
{
    OverviewSettings s;
    s.cycleTimes.perMeter = readSeconds(QStringLiteral("MBTime"), s.cycleTimes.perMeter);
    for (size_t i = 0; i < kOverviewBauds.size(); ++i)
        s.cycleTimes.perBaudGroup[i] = readSeconds(QStringLiteral("Time%1").arg(kOverviewBauds[i]),
                                                   s.cycleTimes.perBaudGroup[i]);
    const double blocks = ToDouble(ReadIniString(ClientMBusSection(), QStringLiteral("RB6_StandardGroesse"), kOvxIni));
    if (blocks >= 1)
        s.rb6BlockCount = static_cast<int>(blocks);
    return s;
}

namespace {
const QString kLogValuesKey = QStringLiteral("MBSpeichern1");
const QString kRestartKey = QStringLiteral("NeustartUm");
const QString kIndexExportKey = QStringLiteral("MitIndexExport");
QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }
} // namespace

OverviewSwitches LoadOverviewSwitches()
{
    OverviewSwitches s;
    s.logValues = Val(ReadIniString(MBClientSection(), kLogValuesKey, kOvxIni)) != 0;
    s.restartAt = ReadIniString(ClientMBusSection(), kRestartKey, kOvxIni).trimmed();
    s.indexExport = Val(ReadIniString(ClientMBusSection(), kIndexExportKey, kOvxIni)) != 0;
    return s;
}

bool SaveLogValues(bool on) { return WriteIniString(MBClientSection(), kLogValuesKey, flag(on), kOvxIni); }
bool SaveIndexExport(bool on) { return WriteIniString(ClientMBusSection(), kIndexExportKey, flag(on), kOvxIni); }
bool SaveRestartAt(const QString& time) { return WriteIniString(ClientMBusSection(), kRestartKey, time, kOvxIni); }

QTime RestartTime(const QString& text)
{
    const QString t = text.trimmed();
    for (const char* format : {"h:mm", "hh:mm", "h:mm:ss", "hh:mm:ss"}) {
        const QTime time = QTime::fromString(t, QLatin1String(format));
        if (time.isValid())
            return time;
    }
    return {};
}

SupervisionSettings LoadSupervisionSettings()
{
    SupervisionSettings s;
    const double seconds = secondsValue(ReadIniString(ClientMBusSection(), QStringLiteral("NeustartIntervall"), kOvxIni));
    if (seconds > 0)
        s.restartIntervalMs = static_cast<int>(std::min(seconds, 86'400.0) * 1000);
    const double wait = secondsValue(ReadIniString(ClientMBusSection(), QStringLiteral("NeustartWarten"), kOvxIni));
    if (wait > 0)
        s.killAfterMs = static_cast<int>(std::min(wait, 3'600.0) * 1000);
    return s;
}

} // namespace kelvaro::overview
