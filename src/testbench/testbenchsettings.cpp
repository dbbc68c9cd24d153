#include "testbench/testbenchsettings.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/textutil.h"
#include "mbus/lineconfig.h"

namespace kelvaro::testbench {
namespace {

QString fieldOrDefault(const QString& key, const QString& defaultValue)
{
    const QString value = ReadIniString(TarvolinSection(), key, kOvxIni);
    return Val(value) == 0 ? defaultValue : value;
}

int numberOr(const QString& text, int defaultValue)
{
    const int value = static_cast<int>(Val(text));
    return value > 0 ? value : defaultValue;
}

} // namespace

const std::array<QString, kTimeoutFields>& TimeoutKeys()
{
    static const std::array<QString, kTimeoutFields> keys{QStringLiteral("COMTimeout"), QStringLiteral("COMTimeoutOffset"),
                                                          QStringLiteral("COMTimeoutByte"), QStringLiteral("COMDeadtime")};
    return keys;
}

const std::array<QString, kTimeoutFields>& TimeoutCaptions()
{
    static const std::array<QString, kTimeoutFields> captions{QStringLiteral("bittime :"), QStringLiteral("offset :"),
                                                              QStringLiteral("bit :"), QStringLiteral("dead :")};
    return captions;
}

QString TimeoutToolTip(int field)
{
    const mbus::TimeoutSettings d;
    const int defaults[kTimeoutFields] = {d.timeout, d.offset, d.byteTime, d.deadTime};
    return QStringLiteral("Default : ") + QString::number(defaults[std::clamp(field, 0, kTimeoutFields - 1)]);
}

void ResolveTestBenchClient(const QString& commandLine)
{
    DBPATH = QStringLiteral(".\\");
    ParseClientOption(commandLine);
    if (Mandant.isEmpty())
        Mandant = ReadIniString(QStringLiteral("OVX"), QStringLiteral("OVXMandant"), kOvxIni);
    if (Mandant.isEmpty())
        Mandant = QStringLiteral("200");
    ResolveClientPaths();
}

QString TarvolinSection() { return QStringLiteral("Tarvolin") + Mandant; }

TestBenchFields LoadTestBenchFields()
{
    TestBenchFields f;
    f.primAdr = fieldOrDefault(QStringLiteral("PrimAdr"), f.primAdr);
    f.comPort = fieldOrDefault(QStringLiteral("ComPort"), f.comPort);
    f.baud = fieldOrDefault(QStringLiteral("Baud"), f.baud);
    const mbus::TimeoutSettings t = mbus::LoadTimeoutSettings(ClientMBusSection(), TimeoutKeys()[3]);
    f.readTimeouts = {QString::number(t.timeout), QString::number(t.offset), QString::number(t.byteTime),
                      QString::number(t.deadTime)};
    f.searchTimeouts = f.readTimeouts;
    f.network = t.network;
    return f;
}

bool WritePrimAdr(const QString& text) { return WriteIniString(TarvolinSection(), QStringLiteral("PrimAdr"), text, kOvxIni); }
bool WriteComPort(const QString& text) { return WriteIniString(TarvolinSection(), QStringLiteral("ComPort"), text, kOvxIni); }
bool WriteBaud(const QString& text) { return WriteIniString(TarvolinSection(), QStringLiteral("Baud"), text, kOvxIni); }

bool WriteTimeoutField(int field, const QString& text)
{
    if (field < 0 || field >= kTimeoutFields)
        return false;
    return WriteIniString(ClientMBusSection(), TimeoutKeys()[field], text, kOvxIni);
}

mbus::TimeoutSettings TimeoutsOf(const std::array<QString, kTimeoutFields>& fields, int network)
{
    const mbus::TimeoutSettings d;
    return {numberOr(fields[0], d.timeout), numberOr(fields[1], d.offset), numberOr(fields[2], d.byteTime),
            numberOr(fields[3], d.deadTime), network};
}

} // namespace kelvaro::testbench
