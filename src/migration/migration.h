#pragma once
#include "editors/editordatabase.h"
#include "migration/installation.h"
#include "migration/jetstream.h"
#include "migration/tablewriter.h"

#include <functional>

namespace kelvaro::migration {

struct MigrationReport {
    QString jetFile;
    QString jetVersion;
    QString database; // where the tables went
    QList<TableResult> tables;
    QList<JetTableCount> counts; // rows read against the table definitions
    QList<JetProblem> problems;  // values not taken over
    qint64 rowsReplaced = 0;     // rows the replaced tables held before
    bool failed = false;
    bool refused = false; // the database holds rows written since the last migration
    QString error;
};

struct MigrationOptions {
    // Replace tables even when the station wrote into them since.
    bool replace = false;
    // The program (and its arguments, the Jet file among them) that reads
    // the Jet file in a process of its own; empty: read in this process.
    QString readerProgram;
    QStringList readerArguments;
};

using MigrationProgress = std::function<void(const QString& line)>;

// Reads every user table of the Jet file first (a file or table that cannot
// be read whole stops everything before the database is touched), then
// builds the client database completely: the station's missing tables and
// every Jet table, in one transaction (a file database as a new file that
// takes the old one's place at the end). Tables the station wrote into since
// the last migration (or, before any, that hold rows at all) are only
// replaced with `replace`; otherwise nothing is written and `refused` is set.
MigrationReport MigrateJetFile(const QString& jetFile, const EditorDatabaseSettings& target,
                               const MigrationOptions& options = {}, const MigrationProgress& progress = {});

// A database error with its cause in words where the disk is full.
QString WithDiskCause(const QString& error);

} // namespace kelvaro::migration
