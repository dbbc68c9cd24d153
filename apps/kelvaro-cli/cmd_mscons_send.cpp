#include "command.h"
#include "clientoptions.h"
#include "msconsjob.h"

#include "foundation/clientpaths.h"
#include "foundation/paths.h"
#include "foundation/processlock.h"
#include "foundation/programlog.h"
#include "mail/maildispatch.h"
#include "mail/mailsettings.h"
#include "mscons/msconsexport.h"
#include "mscons/msconsoutbox.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

using namespace kelvaro;
using namespace kelvaro::mscons;

const QString kUsage = QStringLiteral("mscons-send [-M<client>] [--date dd.mm.yyyy] [--again] [--json]");
constexpr int kMailTimeoutSeconds = 300;  // per mail, as AUTOSEND waits
constexpr int kRunLockWaitMs = 10 * 60000; // a run started meanwhile usually ends within this

struct Options {
    QStringList client;
    QDate day = QDate::currentDate().addDays(-1); // the last complete day
    bool again = false;
};

bool parse(const QStringList& args, Options& o, QString& error)
{
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString& a = args[k];
        if (a.startsWith(QLatin1String("-M")) && a.size() > 2) {
            o.client << a;
        } else if (a == QLatin1String("--again")) {
            o.again = true;
        } else if (a == QLatin1String("--date") && k + 1 < args.size()) {
            if (!ReadDayOption(args[++k], o.day, error))
                return false;
        } else {
            error = QStringLiteral("unknown or incomplete option: ") + a;
            return false;
        }
    }
    return true;
}

QString dayText(QDate day) { return day.toString(QStringLiteral("dd.MM.yyyy")); }

// What one run did; every failure is also in the program log.
struct SendRun {
    QString prefix; // "MSCONS-Versand dd.mm.yyyy"
    bool fileFailed = false;
    bool mailFailed = false;
    QStringList built, sent, left, problems, warnings;

    void failed(bool& flag, const QString& text)
    {
        flag = true;
        problems << text;
        WriteProgramLog(prefix + QStringLiteral(": ") + text);
        if (!CliJsonOutput())
            CliErr(text);
    }
    int exitCode() const
    {
        if (fileFailed)
            return CliDataFile;
        if (mailFailed)
            return CliMailNotSent;
        return sent.isEmpty() ? CliNoAnswer : CliOk;
    }
    QJsonObject json(QDate day) const
    {
        return {{"day", dayText(day)},
                {"built", QJsonArray::fromStringList(built)},
                {"sent", QJsonArray::fromStringList(sent)},
                {"left", QJsonArray::fromStringList(left)},
                {"problems", QJsonArray::fromStringList(problems)},
                {"warnings", QJsonArray::fromStringList(warnings)}};
    }
};

// Builds the day's interchange for every receiver that has none of that day
// in the outbox or among the sent files (all receivers with --again).
void build(MsconsJob& job, const Options& o, const MsconsMailFolders& folders, SendRun& run)
{
    ExportRequest& request = job.request;
    if (!o.again) {
        const QStringList done = ReceiversWithInterchangeOf(folders, request.settings.sender,
                                                            request.settings.receivers, o.day);
        for (const QString& receiver : done)
            request.settings.receivers.removeAll(receiver);
        if (request.settings.receivers.isEmpty()) {
            const QString text = QStringLiteral("schon erzeugt (Ausgang oder Gesendet), nichts neu erzeugt");
            WriteProgramLog(run.prefix + QStringLiteral(": ") + text);
            if (!CliJsonOutput())
                CliErr(text + QStringLiteral("; --again erzeugt neu"));
            return;
        }
    }
    request.from = request.to = o.day;
    request.outputDirectory = folders.outbox;
    const ExportReport report = ExportMscons(request, job.indexes);
    run.built = report.files;
    run.warnings = report.warnings;
    for (const QString& file : report.files)
        WriteProgramLog(run.prefix + QStringLiteral(": erzeugt ") + file);
    if (report.failed)
        run.failed(run.fileFailed, QStringLiteral("MSCONS nicht erzeugt: ") + report.error);
    else if (report.nothingToSend()) {
        const QString text = QStringLiteral("keine Zählerstände, nichts erzeugt");
        WriteProgramLog(run.prefix + QStringLiteral(": ") + text);
        if (!CliJsonOutput())
            CliErr(text);
    }
}

// Mails every file of the outbox, one mail each; a file moves to the sent
// folder only after the server accepted it.
void mailOutbox(const MsconsMailFolders& folders, SendRun& run)
{
    for (const QString& file : OutboxFiles(folders.outbox)) {
        QString explanation;
        if (!SendAttachmentUnattended(MailSettingsFile(), file, kMailTimeoutSeconds, explanation)) {
            run.left << file;
            run.failed(run.mailFailed, QStringLiteral("%1 nicht versandt, bleibt im Ausgang: Fehler beim Senden: %2")
                                           .arg(file, explanation));
            continue;
        }
        QString error;
        if (!MoveToSent(file, folders.sent, error)) {
            run.left << file;
            run.failed(run.fileFailed, QStringLiteral("%1 versandt, aber nicht nach Gesendet verschoben: %2")
                                           .arg(file, error));
            continue;
        }
        const QString sentFile = QDir(folders.sent).filePath(QFileInfo(file).fileName());
        run.sent << sentFile;
        WriteProgramLog(run.prefix + QStringLiteral(": versandt ") + sentFile);
    }
}

int msconsSend(const QStringList& args)
{
    Options o;
    QString error;
    if (!parse(args, o, error))
        return CliFail(CliUsage, error + QStringLiteral("\nUsage: ") + kUsage);
    SendRun run;
    run.prefix = QStringLiteral("MSCONS-Versand ") + dayText(o.day);
    MsconsJob job;
    const int prepared = PrepareMsconsJob(o.client, job, error);
    if (prepared != CliOk) {
        // Without its settings the run cannot even find the outbox.
        if (!job.settingsRead) {
            WriteProgramLog(run.prefix + QStringLiteral(": ") + error);
            return CliFail(prepared, error);
        }
        run.failed(run.fileFailed, error); // the outbox is mailed all the same
    }
    const MsconsMailFolders folders = MailFoldersOf(job.baseDirectory);

    // One run at a time: two would build the day twice and mail a file twice.
    ProcessLock lock(NativePath(DBPATH + QStringLiteral("MSCONS-Versand-M%1.lock").arg(Mandant)));
    if (!lock.lock(ProcessLock::Mode::Exclusive, kRunLockWaitMs)) {
        const QString text = lock.heldElsewhere() ? QStringLiteral("ein anderer MSCONS-Versand läuft noch")
                                                  : QStringLiteral("Sperre: ") + lock.errorText();
        WriteProgramLog(run.prefix + QStringLiteral(": ") + text);
        return CliFail(CliDataFile, text);
    }
    if (prepared == CliOk)
        build(job, o, folders, run);
    mailOutbox(folders, run);

    const int code = run.exitCode();
    const QString nothing = QStringLiteral("nichts zu versenden");
    if (code == CliNoAnswer)
        WriteProgramLog(run.prefix + QStringLiteral(": ") + nothing);
    if (CliJsonOutput()) {
        if (code != CliOk)
            return CliFail(code, run.problems.isEmpty() ? nothing : run.problems.join('\n'), run.json(o.day));
        CliOutJson(run.json(o.day));
    } else {
        for (const QString& warning : run.warnings)
            CliErr(QStringLiteral("Warnung: ") + warning);
        for (const QString& file : run.sent)
            CliOut(QStringLiteral("versandt: ") + file);
        for (const QString& file : run.left)
            CliOut(QStringLiteral("im Ausgang: ") + file);
        if (code == CliNoAnswer)
            CliErr(nothing);
    }
    return code;
}

const CliRegistration reg(
    "mscons-send",
    "mscons-send [-M<client>] [--date dd.mm.yyyy] [--again] [--json]   build the day's MSCONS and mail it",
    "The unattended MSCONS run: builds the interchanges of one day (--date, default yesterday) as\n"
    "\"mscons\" does into the outbox <Ausgabepfad>\\Ausgang, then mails every file of the outbox, the\n"
    "new ones and those left by earlier runs, one mail each with the settings of SendMail.INI as\n"
    "\"mbus-sendmail AUTOSEND -F<file>\" does, and moves each file the server accepted into\n"
    "<Ausgabepfad>\\Gesendet. A receiver whose interchange of the day lies in Ausgang or Gesendet\n"
    "gets none again unless --again (a new one with a new reference). Every failure goes to the\n"
    "program log. Exit code 1: nothing built and nothing left to mail; 6: a mail was not sent\n"
    "(the file stays in the outbox for the next run).\n",
    {CliOk, CliNoAnswer, CliUsage, CliConfiguration, CliDataFile, CliMailNotSent}, msconsSend);

} // namespace
