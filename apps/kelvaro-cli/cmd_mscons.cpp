#include "command.h"
#include "clientoptions.h"
#include "msconsjob.h"

#include "foundation/programlog.h"
#include "mscons/msconsexport.h"

#include <QDate>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

using namespace kelvaro;
using namespace kelvaro::mscons;

const QString kUsage = QStringLiteral("mscons [-M<client>] --from dd.mm.yyyy --to dd.mm.yyyy [--out DIR] [--json]");

struct Options {
    QStringList client;
    QDate from;
    QDate to;
    QString out;
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
        } else if (a == QLatin1String("--out")) {
            o.out = value;
        } else {
            error = QStringLiteral("unknown option: ") + a;
            return false;
        }
    }
    if (!o.from.isValid() || !o.to.isValid()) {
        error = QStringLiteral("--from and --to are needed");
        return false;
    }
    if (o.from > o.to) {
        error = QStringLiteral("--from lies after --to");
        return false;
    }
    return true;
}

QString dayText(QDate day) { return day.toString(QStringLiteral("dd.MM.yyyy")); }

QJsonObject reportJson(const ExportReport& r, const MsconsSettings& s)
{
    QJsonArray files, skipped;
    for (qsizetype k = 0; k < r.files.size(); ++k)
        files << QJsonObject{{"file", r.files[k]}, {"receiver", s.receivers.value(k)}, {"reference", r.references[k]}};
    for (const SkippedDay& d : r.skippedDays)
        skipped << QJsonObject{{"lznr", d.lznr}, {"index", d.mbIndex}, {"day", dayText(d.day)}};
    return {{"files", files},
            {"locations", r.locations},
            {"registers", r.registers},
            {"readings", r.readings},
            {"skippedDays", skipped},
            {"warnings", QJsonArray::fromStringList(r.warnings)}};
}

void printReport(const ExportReport& r)
{
    for (const QString& warning : r.warnings)
        CliErr(QStringLiteral("Warnung: ") + warning);
    for (const SkippedDay& d : r.skippedDays)
        CliErr(QStringLiteral("Übersprungen: Zähler %1 Index %2 am %3: kein Zählerstand zum Tagesende")
                   .arg(d.lznr)
                   .arg(d.mbIndex)
                   .arg(dayText(d.day)));
    for (qsizetype k = 0; k < r.files.size(); ++k)
        CliOut(QStringLiteral("MSCONS %1 (Referenz %2)").arg(r.files[k], r.references[k]));
    CliOut(QStringLiteral("Lokationen = %1, Register = %2, Zählerstände = %3")
               .arg(r.locations)
               .arg(r.registers)
               .arg(r.readings));
}

int mscons(const QStringList& args)
{
    Options o;
    QString error;
    if (!parse(args, o, error))
        return CliFail(CliUsage, error + QStringLiteral("\nUsage: ") + kUsage);
    MsconsJob job;
    if (const int code = PrepareMsconsJob(o.client, job, error))
        return CliFail(code, error);
    ExportRequest& request = job.request;
    request.from = o.from;
    request.to = o.to;
    request.outputDirectory = o.out.isEmpty() ? job.baseDirectory : o.out;
    const ExportReport report = ExportMscons(request, job.indexes);
    const QString range = dayText(o.from) + QStringLiteral(" - ") + dayText(o.to);
    if (report.failed) {
        WriteProgramLog(QStringLiteral("MSCONS ") + range + QStringLiteral(" fehlgeschlagen: ") + report.error);
        return CliFail(CliDataFile, report.error, reportJson(report, request.settings));
    }
    if (report.nothingToSend()) {
        const QString text = QStringLiteral("MSCONS ") + range + QStringLiteral(": keine Zählerstände, nichts erzeugt");
        WriteProgramLog(text);
        if (!CliJsonOutput())
            printReport(report);
        return CliFail(CliNoAnswer, text, reportJson(report, request.settings));
    }
    WriteProgramLog(QStringLiteral("MSCONS ") + range + QStringLiteral(": ") + report.files.join(QStringLiteral(", ")));
    if (CliJsonOutput())
        CliOutJson(reportJson(report, request.settings));
    else
        printReport(report);
    return CliOk;
}

const CliRegistration reg(
    "mscons", "mscons [-M<client>] --from dd.mm.yyyy --to dd.mm.yyyy [--out DIR] [--json]   MSCONS meter readings",
    "Builds one MSCONS interchange per receiver (Empfaenger of [MSCONS<client>] in OVX.INI) with the\n"
    "reading of every exported index (MBusIndexListe) at the end of each day from --from to --to: the\n"
    "last element of its RB6 file after the day's start and at or before midnight. The index's text\n"
    "gives the OBIS code; the meter's column MSCONS_Lokation its location. Days without a reading,\n"
    "meters without location and texts that are no OBIS code are reported and left out. Files go to\n"
    "--out, else Ausgabepfad of [MSCONS<client>], else DatenPath + \"MSCONS\"; each is new and written\n"
    "whole or not at all. Exit code 1 when no reading was found (nothing written).\n",
    {CliOk, CliNoAnswer, CliUsage, CliConfiguration, CliDataFile}, mscons);

} // namespace
