#include "logimport/logimport.h"

#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/processlock.h"
#include "foundation/programlog.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "logimport/logline.h"
#include "logimport/loglines.h"
#include "logimport/logmeters.h"
#include "storage/rb6appender.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <cmath>

namespace kelvaro::logimport {
namespace {

constexpr qint64 kProgressLines = 16384;

QString clientNumber(const QString& client)
{
    return QString::number(static_cast<qint64>(std::llround(Val(client))));
}

// "000007001.ovx": channel and slot as the master names an RB6 file.
QString rb6Name(qint64 lznr, int slot)
{
    return QStringLiteral("%1").arg(lznr, 6, 10, QLatin1Char('0')) + QStringLiteral("%1").arg(slot, 3, 10, QLatin1Char('0'))
        + QStringLiteral(".ovx");
}

EditorDatabaseSettings databaseOf(const LogImportSettings& s)
{
    if (!s.database.dataSource.isEmpty())
        return s.database;
    EditorDatabaseSettings file;
    file.dataSource = s.dbPath + QStringLiteral("basis.mdb");
    file.catalog = QStringLiteral("1");
    return file;
}

// One import run: the meters, the open RB6 files and the counts.
class ImportRun {
public:
    ImportRun(const QString& rb6Dir, ImportSummary& summary, const ProgressFn& progress)
        : rb6Dir_(rb6Dir), summary_(summary), progress_(progress), appender_(kRB6MasterBlockCount)
    {
    }

    LogMeters& meters() { return meters_; }

    // False when the run must stop (cancelled, or an RB6 write failed).
    bool importFile(const QString& file, ImportProgress progress)
    {
        const QString path = NativePath(file);
        if (!QFileInfo::exists(path)) {
            ++summary_.filesMissing;
            return report(progress);
        }
        LogLines lines;
        QString error;
        if (!lines.open(path, error))
            return fail(error, false);
        ++summary_.filesRead;
        progress.file = file;
        progress.fileBytes = lines.size();
        if (!report(progress))
            return false;
        std::string_view line;
        LogLines::Kind kind;
        qint64 count = 0;
        while (lines.next(line, kind)) {
            ++count;
            ++summary_.linesRead;
            if (!importLine(line, kind))
                return false;
            if (count % kProgressLines == 0) {
                progress.lines = count;
                progress.bytes = lines.bytesRead();
                if (!report(progress))
                    return false;
            }
        }
        if (!lines.error().isEmpty())
            fail(lines.error(), false);
        progress.lines = count;
        progress.bytes = lines.bytesRead();
        return report(progress);
    }

    // Writes what is still collected; every RB6 file is whole afterwards.
    void finish()
    {
        if (!appender_.flush())
            fail(LastErrorText(), true);
    }

    bool fail(const QString& error, bool stop)
    {
        summary_.failed = true;
        if (summary_.error.isEmpty())
            summary_.error = error;
        return !stop;
    }

    bool report(const ImportProgress& p)
    {
        if (progress_ && !progress_(p)) {
            summary_.cancelled = true;
            return false;
        }
        return true;
    }

private:
    void skip(SkipReason reason) { ++summary_.skipped[int(reason)]; }

    bool importLine(std::string_view line, LogLines::Kind kind)
    {
        if (kind == LogLines::Kind::TooLong) {
            skip(SkipReason::BadBytes);
            return true;
        }
        LogReading r;
        SkipReason reason;
        const bool reading = ParseLogLine(line, r, reason);
        if (kind == LogLines::Kind::Unterminated) {
            // The file ends inside this line: being written, or torn.
            skip(reason == SkipReason::Event || reason == SkipReason::Header ? reason : SkipReason::Cut);
            return true;
        }
        if (!reading) {
            skip(reason);
            return true;
        }
        LogMeter* meter = meters_.find(r, reason);
        if (!meter) {
            skip(reason);
            return true;
        }
        if (r.index > kMaxLogIndex || !meter->store.test(static_cast<std::size_t>(r.index))) {
            skip(SkipReason::NotStored);
            return true;
        }
        if (meter->rb6Handles.empty())
            meter->rb6Handles.assign(kMaxLogIndex + 1, -1);
        int& handle = meter->rb6Handles[static_cast<std::size_t>(r.index)];
        if (handle < 0) {
            handle = appender_.open(rb6Path(rb6Name(meter->lznr, r.index)));
            if (handle < 0)
                return fail(LastErrorText(), true);
        }
        RB6Appender::Outcome outcome;
        if (appender_.append(handle, r.time, r.value, &outcome) != RB6Ok)
            return fail(LastErrorText(), true);
        if (outcome == RB6Appender::Outcome::Dropped)
            skip(SkipReason::Older);
        else
            ++summary_.valuesWritten;
        return true;
    }

    // The file as the master finds it: an existing file whatever the case of
    // its name (NativePath, as RB6Append looks it up), else a new one in the
    // master's spelling. The directory is listed once, not for each new file.
    QString rb6Path(const QString& name)
    {
        if (!listed_) {
            nativeRb6Dir_ = NativePath(rb6Dir_);
            for (const QString& entry : QDir(nativeRb6Dir_).entryList(QDir::Files))
                existing_.insert(entry.toLower());
            listed_ = true;
        }
        if (existing_.contains(name.toLower()))
            return NativePath(rb6Dir_ + name);
        return nativeRb6Dir_ + QLatin1Char('/') + name;
    }

    QString rb6Dir_; // written spelling
    QString nativeRb6Dir_;
    QSet<QString> existing_; // lower-case names in the directory at the first file
    bool listed_ = false;
    ImportSummary& summary_;
    const ProgressFn& progress_;
    LogMeters meters_;
    RB6Appender appender_;
};

// Takes the client's RB6 directory for this process alone, waiting while
// masters write into it.
bool lockDirectory(ProcessLock& lock, const LogImportSettings& settings, ImportRun& run, ImportSummary& summary)
{
    ImportProgress waiting;
    waiting.dayCount = 0;
    const bool locked = lock.lock(ProcessLock::Mode::Exclusive, settings.lockWaitMs,
                                  [&run, &waiting] { return !run.report(waiting); });
    if (locked)
        return true;
    if (!summary.cancelled) {
        summary.failed = true;
        summary.error = lock.heldElsewhere() || lock.errorText().isEmpty()
            ? QStringLiteral("Die RB6-Dateien werden gerade von einem Master geschrieben (%1): Import abgebrochen")
                  .arg(lock.fileName())
            : QStringLiteral("Sperre %1: %2").arg(lock.fileName(), lock.errorText());
    }
    return false;
}

// Meters loaded, the RB6 directory there and taken: what every import needs
// before its first line.
bool prepare(ImportRun& run, ProcessLock& lock, const LogImportSettings& settings, const QString& rb6Dir,
             ImportSummary& summary)
{
    QString error;
    if (!run.meters().load(databaseOf(settings), error)) {
        run.fail(error, true);
        return false;
    }
    if (!EnsureDirectory(rb6Dir)) {
        run.fail(QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(rb6Dir), true);
        return false;
    }
    return lockDirectory(lock, settings, run, summary);
}

// Moves every RB6 file of the directory into a new dated folder beside them.
bool backUp(const QString& rb6Dir, ImportSummary& summary)
{
    QDir dir(NativePath(rb6Dir));
    const QStringList files = dir.entryList({QStringLiteral("*.ovx")}, QDir::Files);
    if (files.isEmpty())
        return true;
    const QString stamp = LocalNow().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString name = QStringLiteral("Sicherung-") + stamp;
    for (int n = 2; dir.exists(name); ++n)
        name = QStringLiteral("Sicherung-%1-%2").arg(stamp).arg(n);
    if (!dir.mkdir(name)) {
        summary.failed = true;
        summary.error = QStringLiteral("Sicherungsordner %1 kann nicht angelegt werden").arg(rb6Dir + name);
        return false;
    }
    summary.backupDirectory = rb6Dir + name + QStringLiteral("\\");
    int moved = 0;
    for (const QString& file : files) {
        if (!QFile::rename(dir.filePath(file), dir.filePath(name + QLatin1Char('/') + file))) {
            summary.failed = true;
            summary.error = QStringLiteral("%1 kann nicht nach %2 verschoben werden").arg(file, summary.backupDirectory);
            break;
        }
        ++moved;
    }
    WriteProgramLog(QStringLiteral("Import Log: %1 RB6-Dateien nach %2 gesichert").arg(moved).arg(summary.backupDirectory));
    return !summary.failed;
}

} // namespace

qint64 ImportSummary::skippedTotal() const
{
    qint64 total = 0;
    for (qint64 n : skipped)
        total += n;
    return total;
}

LogImportSettings LogImportSettings::forClient(const QString& client, const QString& dbPath,
                                               const std::array<QString, 6>& dbConfig)
{
    LogImportSettings s;
    s.client = client;
    s.dbPath = dbPath;
    s.database = EditorDatabaseSettings::forClient(client, dbPath, dbConfig);
    return s;
}

LogImport::LogImport(LogImportSettings settings) : settings_(std::move(settings)) {}

QString LogImport::logFileFor(const QDate& day) const
{
    return settings_.dbPath + QStringLiteral("MBusLog\\") + day.toString(QStringLiteral("yyMMdd"))
        + QStringLiteral("mb.log");
}

QString LogImport::rb6Directory() const
{
    return settings_.dbPath + QStringLiteral("Z") + clientNumber(settings_.client) + QStringLiteral("\\");
}

ImportSummary LogImport::importRange(const QDate& from, const QDate& to, const ProgressFn& progress)
{
    ImportSummary summary;
    if (!from.isValid() || !to.isValid() || from > to) {
        summary.failed = true;
        summary.error = QStringLiteral("Ungültiger Zeitraum");
        return summary;
    }
    const QString rb6Dir = rb6Directory();
    ImportRun run(rb6Dir, summary, progress);
    ProcessLock lock(RB6DirectoryLockFile(rb6Dir));
    if (!prepare(run, lock, settings_, rb6Dir, summary) || !backUp(rb6Dir, summary))
        return summary;
    const int dayCount = static_cast<int>(from.daysTo(to)) + 1;
    for (int k = 0; k < dayCount; ++k) {
        ImportProgress p;
        p.day = from.addDays(k);
        p.file = logFileFor(p.day);
        p.dayNumber = k;
        p.dayCount = dayCount;
        if (!run.importFile(p.file, p))
            break;
    }
    run.finish();
    WriteProgramLog(QStringLiteral("Import Log %1 - %2: %3 Zeilen, %4 Werte geschrieben%5")
                        .arg(from.toString(QStringLiteral("dd.MM.yyyy")), to.toString(QStringLiteral("dd.MM.yyyy")))
                        .arg(summary.linesRead)
                        .arg(summary.valuesWritten)
                        .arg(summary.cancelled ? QStringLiteral(", abgebrochen")
                                               : summary.failed ? QStringLiteral(", Fehler: ") + summary.error
                                                                : QString()));
    return summary;
}

ImportSummary LogImport::importFile(const QString& file, const ProgressFn& progress)
{
    ImportSummary summary;
    if (!QFileInfo(NativePath(file)).isFile()) {
        summary.failed = true;
        summary.filesMissing = 1;
        summary.error = QStringLiteral("Log-Datei %1 nicht gefunden").arg(file);
        return summary;
    }
    const QString rb6Dir = rb6Directory();
    ImportRun run(rb6Dir, summary, progress);
    ProcessLock lock(RB6DirectoryLockFile(rb6Dir));
    if (!prepare(run, lock, settings_, rb6Dir, summary))
        return summary;
    ImportProgress p;
    p.file = file;
    run.importFile(file, p);
    run.finish();
    return summary;
}

QList<DailyValuesRow> DailyValues(const LogImportSettings& settings, const QDate& from, const QDate& to, int address,
                                  const ProgressFn& progress)
{
    QList<DailyValuesRow> rows;
    if (!from.isValid() || !to.isValid() || from > to)
        return rows;
    const LogImport names(settings);
    const int dayCount = static_cast<int>(from.daysTo(to)) + 1;
    for (int k = 0; k < dayCount; ++k) {
        DailyValuesRow row;
        row.day = from.addDays(k);
        for (int i = 0; i < 9; ++i)
            row.values << QString();
        ImportProgress p;
        p.day = row.day;
        p.file = names.logFileFor(row.day);
        p.dayNumber = k;
        p.dayCount = dayCount;
        const QString path = NativePath(p.file);
        const QFileInfo info(path);
        LogLines lines;
        QString error;
        if (info.exists() && info.size() == 0) {
            QFile::remove(path);
        } else if (info.exists() && lines.open(path, error)) {
            p.fileBytes = lines.size();
            std::string_view line;
            LogLines::Kind kind;
            LogReading r;
            SkipReason reason;
            while (lines.next(line, kind)) {
                ++p.lines;
                if (kind == LogLines::Kind::Whole && ParseLogLine(line, r, reason) && r.address == address
                    && r.index >= 0 && r.index <= 8) {
                    row.values[r.index] = QString::fromLatin1(r.valueText.data(), qsizetype(r.valueText.size()));
                    row.timeStamp = QString::fromLatin1(r.timeText.data(), qsizetype(r.timeText.size()));
                }
                if (progress && p.lines % kProgressLines == 0) {
                    p.bytes = lines.bytesRead();
                    if (!progress(p)) {
                        rows << row;
                        return rows;
                    }
                }
            }
        }
        rows << row;
        p.bytes = lines.bytesRead();
        if (progress && !progress(p))
            return rows;
    }
    return rows;
}

} // namespace kelvaro::logimport
