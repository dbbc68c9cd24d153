#include "command.h"

#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
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
    if (args.isEmpty()) {
        CliErr(QStringLiteral("demo-setup DIR --device D --bus FILE [--client 1320]"));
        return 2;
    }
    const auto value = [&](const QString& option, const QString& fallback) {
        const qsizetype at = args.indexOf(option);
        return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
    };
    const QString busFile = QFileInfo(value("--bus", {})).absoluteFilePath();
    if (!QDir().mkpath(args[0]) || !QDir::setCurrent(args[0])) {
        CliErr(QStringLiteral("Verzeichnis nicht nutzbar: ") + args[0]);
        return 1;
    }
    QString error;
    if (!master::CreateDemoInstallation(value("--client", "1320"), value("--device", {}), busFile, &error)) {
        CliErr(error);
        return 1;
    }
    CliOut(QStringLiteral("Installation in ") + QDir::currentPath() + QStringLiteral(" angelegt, Datenbank ")
           + SqliteFileFor(DBPATH + QStringLiteral("basis.mdb")));
    return 0;
}

// demo-report [-M<client>]: what the station stored in the current installation.
int demoReport(const QStringList& args)
{
    StartClient(args.join(' '));
    SqlConnection db(QStringLiteral("demo.report"));
    if (!OpenClientDatabase(db)) {
        CliErr(QStringLiteral("Datenbank nicht geöffnet"));
        return 1;
    }
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
    return 0;
}

const CliRegistration regSetup("demo-setup", "demo-setup DIR --device D --bus FILE [--client 1320]   lay out a demo installation", demoSetup);
const CliRegistration regReport("demo-report", "demo-report [-M<client>]   what the station stored (database, RB6, mb.log)", demoReport);

} // namespace
