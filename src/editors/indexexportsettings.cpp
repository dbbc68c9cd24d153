#include "editors/indexexportsettings.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/programlog.h"

namespace kelvaro {

const QString IndexExportSettings::kExportPathKey = QStringLiteral("MBusExportIndexDatei");
const QString IndexExportSettings::kVorWertKey = QStringLiteral("VorWert");

void IndexExportSettings::load(const QString& client, const QString& datenPath)
{
    client_ = client;
    exportPath_ = ReadIniString(client_, kExportPathKey, kOvxIni);
    if (exportPath_.isEmpty())
        exportPath_ = datenPath;
    vorWert_ = ReadIniString(client_, kVorWertKey, kOvxIni);
}

bool IndexExportSettings::setExportPath(const QString& text)
{
    exportPath_ = text;
    return write(kExportPathKey, text);
}

bool IndexExportSettings::setVorWert(const QString& text)
{
    vorWert_ = text;
    return write(kVorWertKey, text);
}

bool IndexExportSettings::write(const QString& key, const QString& text)
{
    if (WriteIniString(client_, key, text, kOvxIni)) {
        failing_ = false;
        return true;
    }
    if (!failing_)
        WriteProgramLog(QStringLiteral("Fehler beim Schreiben von ") + kOvxIni + QStringLiteral(" [") + client_
                        + QStringLiteral("] ") + key + QStringLiteral(" : ") + LastErrorText());
    failing_ = true;
    return false;
}

} // namespace kelvaro
