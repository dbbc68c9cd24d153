#include "command.h"
#include "clientoptions.h"

#include "foundation/clientpaths.h"
#include "foundation/paths.h"
#include "foundation/userconfig.h"
#include "migration/migration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace {

using namespace kelvaro;
using namespace kelvaro::migration;

const QString kUsage = QStringLiteral("migrate WINDIR [--to DIR] [-M<client>] [--json]");

struct Options {
    QString windowsDir;
    QString targetDir;
    QStringList client;
};

bool parse(const QStringList& args, Options& o, QString& error)
{
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString& a = args[k];
        if (a.startsWith(QLatin1String("-M")) && a.size() > 2)
            o.client << a;
        else if (a == QLatin1String("--to") && k + 1 < args.size())
            o.targetDir = args[++k];
        else if (!a.startsWith('-') && o.windowsDir.isEmpty())
            o.windowsDir = a;
        else {
            error = QStringLiteral("unknown or incomplete option: ") + a;
            return false;
        }
    }
    if (o.windowsDir.isEmpty()) {
        error = QStringLiteral("the Windows installation directory is missing");
        return false;
    }
    return true;
}

bool hasOvxIni(const QString& dir)
{
    return !QDir(dir).entryList({QStringLiteral("ovx.ini")}, QDir::Files).isEmpty(); // case-insensitive
}

QJsonObject tableJson(const TableResult& t)
{
    QJsonObject o{{"source", t.source},          {"target", t.target},
                  {"stationTable", t.schemaTable}, {"rowsRead", t.rowsRead},
                  {"rowsWritten", t.rowsWritten},  {"written", t.written},
                  {"addedColumns", QJsonArray::fromStringList(t.addedColumns)}};
    if (!t.error.isEmpty())
        o.insert(QStringLiteral("error"), t.error);
    return o;
}

struct Outcome {
    QString installation;
    CopyResult copy;
    QStringList warnings;
    MigrationReport report;
};

QJsonObject outcomeJson(const Outcome& r)
{
    QJsonArray tables;
    for (const TableResult& t : r.report.tables)
        tables.append(tableJson(t));
    QJsonArray problems;
    for (const JetProblem& p : r.report.problems)
        problems.append(QJsonObject{{"table", p.table}, {"row", p.row}, {"column", p.column}, {"text", p.text}});
    return {{"installation", r.installation}, {"client", Mandant},
            {"jetFile", r.report.jetFile},     {"jetVersion", r.report.jetVersion},
            {"database", r.report.database},   {"filesCopied", r.copy.filesCopied},
            {"filesKept", r.copy.filesKept},   {"tables", tables},
            {"problems", problems},            {"warnings", QJsonArray::fromStringList(r.warnings)}};
}

void printOutcome(const Outcome& r)
{
    CliOut(QStringLiteral("Installation %1, Mandant %2").arg(r.installation, Mandant));
    if (r.copy.filesCopied + r.copy.filesKept > 0)
        CliOut(QStringLiteral("Dateien kopiert: %1, schon vorhanden und behalten: %2")
                   .arg(r.copy.filesCopied)
                   .arg(r.copy.filesKept));
    CliOut(QStringLiteral("%1 (%2) -> %3").arg(r.report.jetFile, r.report.jetVersion, r.report.database));
    CliOut(QStringLiteral("%1 %2 %3  %4")
               .arg(QStringLiteral("Tabelle"), -24)
               .arg(QStringLiteral("gelesen"), 8)
               .arg(QStringLiteral("geschrieben"), 12)
               .arg(QStringLiteral("nach")));
    for (const TableResult& t : r.report.tables) {
        QString line = QStringLiteral("%1 %2 %3  %4")
                           .arg(t.source, -24)
                           .arg(t.rowsRead, 8)
                           .arg(t.rowsWritten, 12)
                           .arg(t.target);
        if (!t.addedColumns.isEmpty())
            line += QStringLiteral(" (Spalten ergänzt: %1)").arg(t.addedColumns.join(QStringLiteral(", ")));
        if (!t.written)
            line += QStringLiteral(" FEHLER: ") + t.error;
        CliOut(line);
    }
    CliOut(QStringLiteral("Nicht übernommene Werte: %1").arg(r.report.problems.size()));
    for (const JetProblem& p : r.report.problems)
        CliOut(QStringLiteral("  %1, Zeile %2, Spalte %3: %4").arg(p.table).arg(p.row).arg(p.column, p.text));
    for (const QString& w : r.warnings)
        CliOut(QStringLiteral("Hinweis: ") + w);
}

int migrate(const QStringList& args)
{
    Options o;
    QString error;
    if (!parse(args, o, error))
        return CliFail(CliUsage, error + QStringLiteral("\nusage: ") + kUsage);
    if (!QFileInfo(o.windowsDir).isDir() || !hasOvxIni(o.windowsDir))
        return CliFail(CliConfiguration, QStringLiteral("%1 ist kein Installationsverzeichnis (OVX.INI fehlt)")
                                             .arg(o.windowsDir));
    Outcome r;
    r.installation = o.windowsDir;
    if (!o.targetDir.isEmpty()
        && QFileInfo(o.targetDir).canonicalFilePath() != QFileInfo(o.windowsDir).canonicalFilePath()) {
        r.installation = o.targetDir;
        r.copy = CopyInstallation(o.windowsDir, o.targetDir);
        if (!r.copy.error.isEmpty())
            return CliFail(CliDataFile, r.copy.error);
    }
    // From here on the installation is the working directory, as for every
    // program of the station.
    if (!QDir::setCurrent(r.installation))
        return CliFail(CliDataFile, QStringLiteral("%1 nicht erreichbar").arg(r.installation));
    ResetClient();
    StartClient(o.client.join(' '));
    if (Mandant.isEmpty())
        return CliFail(CliConfiguration, kNoClientText);
    // A missing dnq.conf means the defaults (the client file); none is written.
    if (QFile::exists(NativePath(UserConfigPath())) && !LoadUserConfig())
        return CliFail(CliDataFile, QStringLiteral("dnq.conf nicht lesbar"));
    r.warnings = UnreachablePaths(DBPATH, DatenPath);
    const QString jetFile = NativePath(DBPATH + QStringLiteral("basis.mdb"));
    if (!QFileInfo(jetFile).isFile())
        return CliFail(CliDataFile, QStringLiteral("%1basis.mdb fehlt%2").arg(DBPATH, r.warnings.isEmpty()
                                                                          ? QString()
                                                                          : QStringLiteral(" (") + r.warnings.join("; ") + ')'),
                       outcomeJson(r));
    r.report = MigrateJetFile(jetFile, EditorDatabaseSettings::forClient(Mandant, DBPATH, DBConfig),
                              [](const QString& line) { CliErr(line); });
    if (r.report.failed)
        return CliFail(CliDataFile, r.report.error, outcomeJson(r));
    if (CliJsonOutput())
        CliOutJson(outcomeJson(r));
    else
        printOutcome(r);
    return CliOk;
}

const CliRegistration reg(
    "migrate", "migrate WINDIR [--to DIR] [-M<client>] [--json]   take over a Windows installation",
    "Makes a copied Windows installation directory (OVX.INI, dnq.conf, DB<client>\\basis.mdb, the RB6\n"
    "files, MBusLog\\) a Kelvaro installation. Every table of basis.mdb (Jet 3 or Jet 4) is read and\n"
    "written into the client database: the SQLite file basis.db beside it, or the server dnq.conf\n"
    "names for client 1450. The station's own tables keep their columns (Jet columns matched by name,\n"
    "missing ones added); other tables are created anew. Each table is replaced in one transaction,\n"
    "so running it again gives the same database. INI files, RB6 files and logs are used as they are;\n"
    "with --to they are copied into DIR first (files DIR already has are kept), and WINDIR is only\n"
    "read. The report lists each table with rows read and written and every value that could not be\n"
    "taken over (table, row, column).\n",
    {CliOk, CliUsage, CliConfiguration, CliDataFile}, migrate);

} // namespace
