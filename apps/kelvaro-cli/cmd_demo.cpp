#include "command.h"
#include "clientoptions.h"

#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/timeutil.h"
#include "master/installation.h"
#include "storage/mbuslog.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

using namespace kelvaro;

namespace {

// demo-setup DIR --device D --bus FILE [--client N]
int demoSetup(const QStringList& args)
{
    QString dir, device, busFile, client = QStringLiteral("1320");
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString* target = a == QLatin1String("--device") ? &device
                          : a == QLatin1String("--bus")  ? &busFile
                          : a == QLatin1String("--client") ? &client
                                                           : nullptr;
        if (target && i + 1 < args.size())
            *target = args[++i];
        else if (!target && !a.startsWith(QLatin1String("--")) && dir.isEmpty())
            dir = a;
        else
            return CliFail(CliUsage, QStringLiteral("demo-setup DIR --device D --bus FILE [--client 1320]"));
    }
    if (dir.isEmpty() || device.isEmpty() || busFile.isEmpty())
        return CliFail(CliUsage, QStringLiteral("demo-setup DIR --device D --bus FILE [--client 1320]"));
    busFile = QFileInfo(busFile).absoluteFilePath();
    if (!QDir().mkpath(dir) || !QDir::setCurrent(dir))
        return CliFail(CliDataFile, QStringLiteral("Verzeichnis nicht nutzbar: ") + dir);
    QString error;
    if (!master::CreateDemoInstallation(client, device, busFile, &error))
        return CliFail(CliDataFile, error);
    CliOut(QStringLiteral("Installation in ") + QDir::currentPath() + QStringLiteral(" angelegt, Datenbank ")
           + SqliteFileFor(DBPATH + QStringLiteral("basis.mdb")));
    return CliOk;
}

// demo-report [-M<client>]: what the station stored in the current installation.
int demoReport(const QStringList& args)
{
    if (const QString bad = FirstNonClientOption(args); !bad.isEmpty())
        return CliFail(CliUsage, QStringLiteral("unknown option: ") + bad);
    StartClient(args.join(' '));
    if (Mandant.isEmpty())
        return CliFail(CliConfiguration, kNoClientText);
    SqlConnection db(QStringLiteral("demo.report"));
    if (!OpenClientDatabase(db))
        return CliFail(CliDataFile, QStringLiteral("Datenbank nicht geöffnet: ") + LastErrorText());
    const int meters = db.scalar(QStringLiteral("SELECT Count(*) FROM zaehler WHERE ZQuelle = 'M-Bus'")).toInt();
    const QString logFile = NativePath(MBusLogFileName(kMBusLogTail, LocalNow()));
    QFile log(logFile);
    QStringList lines;
    if (log.open(QIODevice::ReadOnly))
        lines = FromWin1252(log.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QStringList failed;
    for (const QString& line : lines)
        if (line.contains(QLatin1String(";Lesefehler;")))
            failed << line.section(';', 1, 1);
    failed.removeDuplicates();
    CliOut(QStringLiteral("Zähler: %1, gelesen: %2, Lesefehler: %3 (Adresse %4)")
               .arg(meters)
               .arg(meters - failed.size())
               .arg(failed.size())
               .arg(failed.join(QStringLiteral(", "))));
    CliOut(QStringLiteral("Zeilen in MBusWerte: %1, in Zaehlerstaende: %2")
               .arg(db.scalar(QStringLiteral("SELECT Count(*) FROM MBusWerte")).toInt())
               .arg(db.scalar(QStringLiteral("SELECT Count(*) FROM Zaehlerstaende")).toInt()));
    QDirIterator rb6(NativePath(DatenPath), {QStringLiteral("*.ovx")}, QDir::Files, QDirIterator::Subdirectories);
    QStringList files;
    while (rb6.hasNext())
        files << rb6.next();
    files.sort();
    for (const QString& file : files.mid(0, 12)) {
        RB6Header header;
        if (RB6ReadHeader(file, header))
            CliOut(QStringLiteral("RB6 %1: %2 Elemente").arg(QDir::current().relativeFilePath(file))
                       .arg(static_cast<qint64>(header[1].Wert) - 9));
    }
    CliOut(QStringLiteral("RB6-Dateien: %1").arg(files.size()));
    CliOut(QStringLiteral("Erste Zeilen von ") + logFile + ':');
    for (const QString& line : lines.mid(0, 12))
        CliOut(QStringLiteral("  ") + line);
    return CliOk;
}

const CliRegistration regSetup("demo-setup",
                               "demo-setup DIR --device D --bus FILE [--client 1320]   lay out a demo installation",
                               "Lays out an installation in DIR (created when missing): OVX.INI with COM1 = D,\n"
                               "dnq.conf and DB<client>/basis.db with the meters of the simulator bus file FILE.\n",
                               {CliOk, CliUsage, CliDataFile}, demoSetup);
const CliRegistration regReport("demo-report",
                                "demo-report [-M<client>]   what the station stored (database, RB6, mb.log)",
                                "Counts what the station stored for the client of the working directory: meters\n"
                                "and reading errors, rows of MBusWerte and Zaehlerstaende, RB6 files, and the first\n"
                                "lines of today's M-Bus log.\n",
                                {CliOk, CliUsage, CliConfiguration, CliDataFile}, demoReport);

} // namespace
