#pragma once
#include "migration/jetfile.h"

#include <QIODevice>
#include <QStringList>

namespace kelvaro::migration {

// A Jet file read by a separate process, so that a damaged file that makes
// the library crash or run away becomes an error of the file, not of the
// program. The reading process sends the tables over a pipe as frames: a
// 32-bit little-endian length, a kind byte and a QDataStream payload.

// Rows read against rows the table definition counts.
struct JetTableCount {
    QString table;
    qint64 rowsRead = 0;
    qint64 rowsExpected = -1; // -1: the definition was not reached
};

struct JetReading {
    QString version;
    QList<JetTable> tables;
    QList<JetTableCount> counts; // every table begun, in order
    QString error;               // empty when every table was read whole
    bool ok() const { return error.isEmpty(); }
};

// The reading process's side: reads `jetFile` and writes the frames to `out`.
// Returns the process exit code (0 when everything was sent).
int SendJetFile(const QString& jetFile, QIODevice& out);

// Runs `program` with `arguments` (which make it call SendJetFile on the
// file and standard output) and collects what it sends. The child is
// stopped when it stays silent for `silenceMs`. A crash, a time-out, a frame
// that is out of bounds or a table whose rows differ from its definition's
// count give `error`.
JetReading ReadJetFileInChild(const QString& program, const QStringList& arguments, int silenceMs = 120000);

// The same reading in this process (for a build without a separate reader).
JetReading ReadJetFileHere(const QString& jetFile);

// The line that says which tables were not read whole, or empty.
QString CountMismatchText(const QList<JetTableCount>& counts);

} // namespace kelvaro::migration
