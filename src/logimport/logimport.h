#pragma once
// Rebuilding RB6 files from the daily M-Bus logs, and the daily values of one
// address. Headless: the window and kelvaro-cli are views over this.
#include "editors/editordatabase.h"
#include "logimport/skipreason.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

namespace kelvaro::logimport {

// What an import is run with; read at the edge (window, command line) and
// handed down.
struct LogImportSettings {
    QString dbPath;     // DBPATH of the client, e.g. ".\DB1320\"
    QString client;     // Mandant
    // The database of the meters: the one the master reads (client file, or
    // the server of client 1450). Empty: the client file in dbPath.
    EditorDatabaseSettings database;
    // How long an import waits for masters to finish their RB6 writes
    // (negative: no limit; the progress callback can still cancel).
    int lockWaitMs = 120000;

    // Client, paths and database as the master would use them (call after
    // the client resolution and LoadUserConfig). New RB6 files get the block
    // count of the master's RB6Append, whatever RB6_StandardGroesse says, so
    // that a rebuilt file equals the master's byte for byte.
    static LogImportSettings forClient(const QString& client, const QString& dbPath,
                                       const std::array<QString, 6>& dbConfig);
};

// Why a line was not imported: SkipReason (logimport/skipreason.h).

struct ImportProgress {
    QDate day;          // the day being read (invalid for a single file)
    QString file;
    qint64 lines = 0;   // lines of this file so far
    qint64 bytes = 0;   // bytes of this file so far
    qint64 fileBytes = 0;
    int dayNumber = 0;  // 0-based day of the range
    int dayCount = 1;
};

struct ImportSummary {
    qint64 filesRead = 0;
    qint64 filesMissing = 0;
    qint64 linesRead = 0;
    qint64 valuesWritten = 0;
    qint64 skipped[int(SkipReason::Count)] = {};
    QString backupDirectory; // where the old RB6 files went (range import only)
    bool cancelled = false;
    bool failed = false;     // a file or the database could not be read, an RB6 write failed
    QString error;
    qint64 skippedTotal() const;
};

// Called every few thousand lines and at every file; return false to cancel
// (the import stops between lines and leaves every RB6 file whole).
using ProgressFn = std::function<bool(const ImportProgress&)>;

class LogImport {
public:
    explicit LogImport(LogImportSettings settings);

    // The day's log file: dbPath + "MBusLog\" + yymmdd + "mb.log".
    QString logFileFor(const QDate& day) const;
    // The client's RB6 directory: dbPath + "Z" + client number + "\".
    QString rb6Directory() const;
    // Moves the client's RB6 files into a dated backup folder beside them,
    // then imports the logs of every day from `from` to `to`.
    ImportSummary importRange(const QDate& from, const QDate& to, const ProgressFn& progress = {});
    // One file, nothing moved away.
    ImportSummary importFile(const QString& file, const ProgressFn& progress = {});

private:
    LogImportSettings settings_;
};

// One row per day: the day's last time stamp of the address and the last
// value of each index 0..8 ("" where the day has none).
struct DailyValuesRow {
    QDate day;
    QString timeStamp;
    QStringList values; // 9 entries
};
QList<DailyValuesRow> DailyValues(const LogImportSettings& settings, const QDate& from, const QDate& to, int address,
                                  const ProgressFn& progress = {});

} // namespace kelvaro::logimport
