#include "command.h"
#include "clientoptions.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/paths.h"
#include "foundation/userconfig.h"
#include "migration/migration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace {

using namespace kelvaro;
using namespace kelvaro::migration;

const QString kUsage = QStringLiteral("migrate WINDIR [--to DIR] [--replace] [-M<client>] [--json]");
// The hidden sub-command of the process that reads the Jet file.
const QString kReadJet = QStringLiteral("--read-jet");

struct Options {
    QString windowsDir;
    QString targetDir;
    QStringList client;
    bool replace = false;
};

bool parse(const QStringList& args, Options& o, QString& error)
{
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString& a = args[k];
        if (a.startsWith(QLatin1String("-M")) && a.size() > 2)
            o.client << a;
        else if (a == QLatin1String("--to") && k + 1 < args.size())
            o.targetDir = args[++k];
        else if (a == QLatin1String("--replace"))
            o.replace = true;
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

// basis.mdb is always read from the Windows copy: DBPATH, as the
// installation resolves it, taken relative to WINDIR (an absolute one as it
// is). A copy that --to made earlier may be out of date.
QString jetFileIn(const QString& windowsDir, const QString& dbPath)
{
    const QString cwd = QDir::currentPath();
    if (!QDir::setCurrent(windowsDir))
        return {};
    const QString file = QFileInfo(NativePath(dbPath + QStringLiteral("basis.mdb"))).absoluteFilePath();
    QDir::setCurrent(cwd);
    return file;
}

QJsonObject tableJson(const TableResult& t)
{
    QJsonObject o{{"source", t.source},          {"target", t.target},
                  {"stationTable", t.schemaTable}, {"rowsRead", t.rowsRead},
                  {"rowsWritten", t.rowsWritten},  {"rowsReplaced", t.rowsReplaced},
                  {"written", t.written},          {"addedColumns", QJsonArray::fromStringList(t.addedColumns)}};
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
    QJsonArray counts;
    for (const JetTableCount& c : r.report.counts)
        counts.append(QJsonObject{{"table", c.table}, {"rowsRead", c.rowsRead}, {"rowsExpected", c.rowsExpected}});
    QJsonArray problems;
    for (const JetProblem& p : r.report.problems)
        problems.append(QJsonObject{{"table", p.table}, {"row", p.row}, {"column", p.column}, {"text", p.text}});
    return {{"installation", r.installation},
            {"client", Mandant},
            {"jetFile", r.report.jetFile},
            {"jetVersion", r.report.jetVersion},
            {"database", r.report.database},
            {"filesCopied", r.copy.filesCopied},
            {"filesKept", r.copy.filesKept},
            {"settingsDiffering", QJsonArray::fromStringList(r.copy.settingsDiffering)},
            {"namesNotUtf8", QJsonArray::fromStringList(r.copy.namesNotUtf8)},
            {"tables", tables},
            {"counts", counts},
            {"rowsReplaced", r.report.rowsReplaced},
            {"refused", r.report.refused},
            {"problems", problems},
            {"warnings", QJsonArray::fromStringList(r.warnings)}};
}

void printCounts(const MigrationReport& report)
{
    CliOut(QStringLiteral("%1 %2 %3").arg(QStringLiteral("Tabelle"), -24).arg(QStringLiteral("gelesen"), 8)
               .arg(QStringLiteral("laut Definition"), 16));
    for (const JetTableCount& c : report.counts)
        CliOut(QStringLiteral("%1 %2 %3%4")
                   .arg(c.table, -24)
                   .arg(c.rowsRead, 8)
                   .arg(c.rowsExpected < 0 ? QStringLiteral("?") : QString::number(c.rowsExpected), 16)
                   .arg(c.rowsRead == c.rowsExpected ? QString() : QStringLiteral("  beschädigt")));
}

void printOutcome(const Outcome& r)
{
    CliOut(QStringLiteral("Installation %1, Mandant %2").arg(r.installation, Mandant));
    if (r.copy.filesCopied + r.copy.filesKept > 0)
        CliOut(QStringLiteral("Dateien kopiert: %1, schon vorhanden und behalten: %2")
                   .arg(r.copy.filesCopied)
                   .arg(r.copy.filesKept));
    CliOut(QStringLiteral("%1 (%2) -> %3").arg(r.report.jetFile, r.report.jetVersion, r.report.database));
    CliOut(QStringLiteral("%1 %2 %3 %4  %5")
               .arg(QStringLiteral("Tabelle"), -24)
               .arg(QStringLiteral("gelesen"), 8)
               .arg(QStringLiteral("geschrieben"), 12)
               .arg(QStringLiteral("ersetzt"), 8)
               .arg(QStringLiteral("nach")));
    for (const TableResult& t : r.report.tables) {
        QString line = QStringLiteral("%1 %2 %3 %4  %5")
                           .arg(t.source, -24)
                           .arg(t.rowsRead, 8)
                           .arg(t.rowsWritten, 12)
                           .arg(t.rowsReplaced, 8)
                           .arg(t.target);
        if (!t.addedColumns.isEmpty())
            line += QStringLiteral(" (Spalten ergänzt: %1)").arg(t.addedColumns.join(QStringLiteral(", ")));
        CliOut(line);
    }
    if (r.report.rowsReplaced > 0)
        CliOut(QStringLiteral("Ersetzte Zeilen: %1").arg(r.report.rowsReplaced));
    CliOut(QStringLiteral("Nicht übernommene Werte: %1").arg(r.report.problems.size()));
    for (const JetProblem& p : r.report.problems)
        CliOut(QStringLiteral("  %1, Zeile %2, Spalte %3: %4").arg(p.table).arg(p.row).arg(p.column, p.text));
    for (const QString& w : r.warnings)
        CliOut(QStringLiteral("Hinweis: ") + w);
}

QStringList copyWarnings(const CopyResult& copy)
{
    QStringList lines;
    for (const QString& f : copy.settingsDiffering)
        lines << QStringLiteral("%1 weicht von der Windows-Kopie ab; die vorhandene Datei bleibt, bitte vergleichen").arg(f);
    for (const QString& f : copy.namesNotUtf8)
        lines << QStringLiteral("Dateiname %1 ist kein UTF-8 (Windows-Zeichensatz?); unverändert kopiert").arg(f);
    return lines;
}

QList<PathSetting> pathSettings()
{
    const QString mbIni = QStringLiteral(".\\MB.INI");
    return {{QStringLiteral("OVX.INI"), QStringLiteral("DBPATH") + Mandant, DBPATH, false},
            {QStringLiteral("OVX.INI"), QStringLiteral("DatenPath"), DatenPath, false},
            {QStringLiteral("OVX.INI"), QStringLiteral("MBusExportIndexDatei"),
             ReadIniString(ClientSection(), QStringLiteral("MBusExportIndexDatei"), kOvxIni), true},
            {QStringLiteral("MB.INI"), QStringLiteral("DatenPath"),
             QFile::exists(NativePath(mbIni)) ? ReadIniString(QStringLiteral("MB"), QStringLiteral("DatenPath"), mbIni)
                                              : QString(),
             false}};
}

int readJet(const QStringList& args)
{
    QFile out;
    if (args.size() != 2 || !out.open(1, QIODevice::WriteOnly | QIODevice::Unbuffered)) // standard output
        return CliUsage;
    return SendJetFile(args[1], out);
}

int migrate(const QStringList& args)
{
    if (!args.isEmpty() && args.first() == kReadJet)
        return readJet(args);
    Options o;
    QString error;
    if (!parse(args, o, error))
        return CliFail(CliUsage, error + QStringLiteral("\nUsage: ") + kUsage);
    if (!QFileInfo(o.windowsDir).isDir() || !hasOvxIni(o.windowsDir))
        return CliFail(CliConfiguration, QStringLiteral("%1 ist kein Installationsverzeichnis (OVX.INI fehlt)")
                                             .arg(o.windowsDir));
    const QString windowsDir = QFileInfo(o.windowsDir).absoluteFilePath();
    Outcome r;
    r.installation = o.windowsDir;
    if (!o.targetDir.isEmpty()
        && QFileInfo(o.targetDir).canonicalFilePath() != QFileInfo(o.windowsDir).canonicalFilePath()) {
        r.installation = o.targetDir;
        const QString refusal = CopyRefusal(o.windowsDir, o.targetDir);
        if (!refusal.isEmpty())
            return CliFail(CliDataFile, refusal);
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
    r.warnings = copyWarnings(r.copy) + UnreachablePaths(pathSettings());
    const QString jetFile = jetFileIn(windowsDir, DBPATH);
    if (!QFileInfo(jetFile).isFile())
        return CliFail(CliDataFile, QStringLiteral("%1basis.mdb fehlt%2").arg(DBPATH, r.warnings.isEmpty()
                                                                          ? QString()
                                                                          : QStringLiteral(" (") + r.warnings.join("; ") + ')'),
                       outcomeJson(r));
    MigrationOptions options;
    options.replace = o.replace;
    options.readerProgram = QCoreApplication::applicationFilePath();
    options.readerArguments = {QStringLiteral("migrate"), kReadJet, jetFile};
    r.report = MigrateJetFile(jetFile, EditorDatabaseSettings::forClient(Mandant, DBPATH, DBConfig), options,
                              [](const QString& line) { CliErr(line); });
    if (r.report.failed) {
        const bool damaged = !CountMismatchText(r.report.counts).isEmpty();
        if (damaged && !CliJsonOutput())
            printCounts(r.report);
        return CliFail(CliDataFile, r.report.error, outcomeJson(r));
    }
    if (CliJsonOutput())
        CliOutJson(outcomeJson(r));
    else
        printOutcome(r);
    return CliOk;
}

const CliRegistration reg(
    "migrate", "migrate WINDIR [--to DIR] [--replace] [-M<client>] [--json]   take over a Windows installation",
    "Makes a copied Windows installation directory (OVX.INI, dnq.conf, DB<client>\\basis.mdb, the RB6\n"
    "files, MBusLog\\) a Kelvaro installation. Every table of basis.mdb (Jet 3 or Jet 4) is read, in a\n"
    "process of its own, and checked against the row counts of its table definitions; a damaged file\n"
    "stops it before anything is written. The tables then go into the client database: the SQLite\n"
    "file basis.db beside it (built as a new file that replaces the old one at the end), or the server\n"
    "dnq.conf names for client 1450 (one transaction). The station's own tables keep their columns\n"
    "(Jet columns matched by name, missing ones added); other tables are created anew. Running it\n"
    "again gives the same database as long as nothing was written into those tables since; when the\n"
    "station or an editor wrote into them, it refuses (exit code 5) unless --replace is given, and then\n"
    "reports the rows it replaced. basis.mdb is always read from WINDIR. With --to, INI files, RB6\n"
    "files and logs are copied into DIR first (files DIR already has are kept; INI files that differ\n"
    "from WINDIR's are reported), and WINDIR is only read. The report lists each table with rows\n"
    "read, written and replaced and every value that could not be taken over (table, row, column).\n",
    {CliOk, CliUsage, CliConfiguration, CliDataFile}, migrate);

} // namespace
