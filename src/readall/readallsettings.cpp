#include "readall/readallsettings.h"

#include "foundation/ini.h"

namespace kelvaro::readall {

ReadAllFields LoadReadAllFields()
{
    ReadAllFields fields;
    fields.directory = ReadIniString(kMbSection, QStringLiteral("DatenPath"), kMbIni);
    if (fields.directory.isEmpty())
        fields.directory = kNoDirectory;
    fields.port = ReadIniString(kMbSection, QStringLiteral("ComPort"), kMbIni);
    fields.count = ReadIniString(kMbSection, QStringLiteral("Anzahl"), kMbIni);
    return fields;
}

bool SaveDirectory(const QString& directory)
{
    return WriteIniString(kMbSection, QStringLiteral("DatenPath"), directory, kMbIni);
}

bool SavePort(const QString& port)
{
    return WriteIniString(kMbSection, QStringLiteral("ComPort"), port, kMbIni);
}

bool SaveCount(const QString& count)
{
    return WriteIniString(kMbSection, QStringLiteral("Anzahl"), count, kMbIni);
}

} // namespace kelvaro::readall
