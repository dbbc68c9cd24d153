#include "command.h"
#include "clientoptions.h"

#include "foundation/clientpaths.h"
#include "foundation/userconfig.h"
#include "logimport/logimport.h"

#include <QDate>
#include <QElapsedTimer>
#include <QJsonObject>

namespace {

using namespace kelvaro;
using namespace kelvaro::logimport;

const QString kUsage =
    QStringLiteral("import-log [-M<client>] --from dd.mm.yyyy --to dd.mm.yyyy [--json] | import-log [-M<client>] "
                   "--file F [--json]");

struct Options {
    QStringList client;
    QDate from;
    QDate to;
    QString file;
};

bool parse(const QStringList& args, Options& o, QString& error)
{
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString& a = args[k];
        if (a.startsWith(QLatin1String("-M")) && a.size() > 2) {
            o.client << a;
            continue;
        }
        if (k + 1 >= args.size()) {
            error = QStringLiteral("unknown or incomplete option: ") + a;
            return false;
        }
        const QString& value = args[++k];
        if (a == QLatin1String("--from") || a == QLatin1String("--to")) {
            if (!ReadDayOption(value, a == QLatin1String("--from") ? o.from : o.to, error))
                return false;
        } else if (a == QLatin1String("--file")) {
            o.file = value;
        } else {
            error = QStringLiteral("unknown option: ") + a;
            return false;
        }
    }
    if (o.file.isEmpty() && (!o.from.isValid() || !o.to.isValid())) {
        error = QStringLiteral("--from and --to, or --file, are needed");
        return false;
    }
    if (o.file.isEmpty() && o.from > o.to) {
        error = QStringLiteral("--from lies after --to");
        return false;
    }
    return true;
}

QJsonObject summaryJson(const ImportSummary& s)
{
    QJsonObject skipped;
    for (int r = 0; r < int(SkipReason::Count); ++r)
        skipped.insert(SkipReasonText(SkipReason(r)), s.skipped[r]);
    return {{"filesRead", s.filesRead},     {"filesMissing", s.filesMissing}, {"linesRead", s.linesRead},
            {"valuesWritten", s.valuesWritten}, {"linesSkipped", s.skippedTotal()}, {"skipped", skipped},
            {"backupDirectory", s.backupDirectory}, {"cancelled", s.cancelled}};
}

void printSummary(const ImportSummary& s)
{
    if (!s.backupDirectory.isEmpty())
        CliOut(QStringLiteral("Alte RB6-Dateien gesichert in ") + s.backupDirectory);
    CliOut(QStringLiteral("Dateien gelesen   = %1 (%2 fehlen)").arg(s.filesRead).arg(s.filesMissing));
    CliOut(QStringLiteral("Zeilen gelesen    = %1").arg(s.linesRead));
    CliOut(QStringLiteral("Werte geschrieben = %1").arg(s.valuesWritten));
    CliOut(QStringLiteral("Zeilen übersprungen = %1").arg(s.skippedTotal()));
    for (int r = 0; r < int(SkipReason::Count); ++r)
        if (s.skipped[r] > 0)
            CliOut(QStringLiteral("  %1: %2").arg(SkipReasonText(SkipReason(r))).arg(s.skipped[r]));
}

int importLog(const QStringList& args)
{
    Options o;
    QString error;
    if (!parse(args, o, error))
        return CliFail(CliUsage, error + QStringLiteral("\nUsage: ") + kUsage);
    StartClient(o.client.join(' '));
    if (Mandant.isEmpty())
        return CliFail(CliConfiguration, kNoClientText);
    LoadUserConfig();
    LogImport import(LogImportSettings::forClient(Mandant, DBPATH, DBConfig));

    QElapsedTimer shown;
    QString lastFile;
    const ProgressFn progress = [&shown, &lastFile](const ImportProgress& p) {
        // One line per file and then about one a second on standard error.
        if (p.file == lastFile && shown.isValid() && shown.elapsed() < 1000)
            return true;
        shown.start();
        lastFile = p.file;
        if (p.file.isEmpty()) {
            CliErr(QStringLiteral("warte auf die RB6-Sperre ..."));
            return true;
        }
        const qint64 percent = p.fileBytes > 0 ? p.bytes * 100 / p.fileBytes : 100;
        CliErr(QStringLiteral("Tag %1/%2 %3: %4 Zeilen (%5%)")
                   .arg(p.dayNumber + 1)
                   .arg(p.dayCount)
                   .arg(p.file)
                   .arg(p.lines)
                   .arg(percent));
        return true;
    };
    const ImportSummary s = o.file.isEmpty() ? import.importRange(o.from, o.to, progress)
                                             : import.importFile(o.file, progress);
    if (s.failed)
        return CliFail(CliDataFile, s.error, summaryJson(s));
    if (CliJsonOutput())
        CliOutJson(summaryJson(s));
    else
        printSummary(s);
    return CliOk;
}

const CliRegistration reg(
    "import-log",
    "import-log [-M<client>] --from dd.mm.yyyy --to dd.mm.yyyy | --file F [--json]   rebuild RB6 files from M-Bus logs",
    "Rebuilds the client's RB6 files from its daily M-Bus logs (DBPATH + \"MBusLog\\yymmddmb.log\"), every\n"
    "value the master stored into an RB6 file with the time of its reading. With --from/--to the old\n"
    "RB6 files are first moved into a dated folder \"Sicherung-yyyyMMdd-hhmmss\" in the RB6 directory;\n"
    "--file imports one log file into the RB6 files as they are (a file that does not exist fails\n"
    "with exit code 5). New RB6 files are laid out as the master creates them. Lines that are no\n"
    "readings, cut or broken lines (also a cut line with the next one glued to it) and lines of\n"
    "unknown meters are skipped and counted by reason. The import waits\n"
    "while masters write RB6 files. Progress goes to standard error.\n",
    {CliOk, CliUsage, CliConfiguration, CliDataFile}, importLog);

} // namespace
