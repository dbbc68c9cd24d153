#include "foundation/clientpaths.h"

#include "foundation/ini.h"
#include "foundation/messages.h"
#include "foundation/programlog.h"
#include "foundation/textutil.h"

#include <QCoreApplication>
#include <cmath>

namespace kelvaro {

void ParseClientOption(const QString& commandLine)
{
    const int at = commandLine.indexOf(QLatin1String("-M"));
    if (at < 0)
        return;
    const QString padded = commandLine + ' ';
    const int blank = padded.indexOf(' ', at);
    const QString text = padded.mid(at + 2, blank - at - 2);
    const double number = std::round(Val(text));
    const qint64 n = static_cast<qint64>(number);
    Mandant = (n < 0 ? QStringLiteral("-") : QString()) + QString::number(std::llabs(n)).rightJustified(3, '0');
    WriteProgramLog(QStringLiteral("Suche Mandant ") + Mandant);
}

void ParseClientOption()
{
    ParseClientOption(QCoreApplication::arguments().mid(1).join(' '));
}

void ResolveClientPaths(const QString& iniFile)
{
    if (Mandant.isEmpty()) {
        Mandant = ReadIniString(QStringLiteral("OVX"), QStringLiteral("OVXMandant"), kOvxIni);
        if (Mandant.isEmpty())
            ShowMessageBox(kNoClientMessage);
    }
    HKZStromZ = ReadIniString(QStringLiteral("OVX"), QStringLiteral("HKZStromZ"), kOvxIni);

    DBPATH = ReadIniString(QStringLiteral("OVX"), QStringLiteral("DBPATH") + Mandant, iniFile);
    DBPATH = ReplaceAllRecursive(DBPATH, QStringLiteral("$MANDANT$"), Mandant);
    if (DBPATH.isEmpty())
        DBPATH = QStringLiteral(".\\DB") + Mandant;
    if (!DBPATH.endsWith('\\'))
        DBPATH += '\\';

    DatenPath = ReadIniString(Mandant, QStringLiteral("DatenPath"), kOvxIni);
    if (DatenPath.isEmpty()) {
        DatenPath = QStringLiteral(".\\");
        WriteProgramLog(QStringLiteral(" Keinen Eintrag gefunden : OVXDatenPATH = .\\"));
    } else {
        WriteProgramLog(QStringLiteral("OVXDatenPATH = ") + DatenPath);
    }
}

void StartClient(const QString& commandLine, const QString& defaultClient)
{
    // The installation directory is the working directory (the program's
    // directory when started normally); early log lines land there.
    DBPATH = QStringLiteral(".\\");
    ParseClientOption(commandLine);
    if (Mandant.isEmpty() && !defaultClient.isEmpty())
        Mandant = defaultClient;
    ResolveClientPaths();
}

void StartClientOr(const QString& commandLine, const QString& lastResort)
{
    DBPATH = QStringLiteral(".\\");
    ParseClientOption(commandLine);
    if (Mandant.isEmpty())
        Mandant = ReadIniString(QStringLiteral("OVX"), QStringLiteral("OVXMandant"), kOvxIni);
    if (Mandant.isEmpty())
        Mandant = lastResort;
    ResolveClientPaths();
}

QString ClientSection() { return Mandant; }
QString ClientMBusSection() { return Mandant + QStringLiteral("MBus"); }
QString MBClientSection() { return QStringLiteral("MB") + Mandant; }

void ResetClient()
{
    Mandant.clear();
    DBPATH.clear();
    DatenPath.clear();
    HKZStromZ.clear();
}

} // namespace kelvaro
