#pragma once
#include "editors/editordatabase.h"
#include "migration/tablewriter.h"

#include <functional>

namespace kelvaro::migration {

// The copy of a Windows installation directory into another directory.
struct CopyResult {
    qint64 filesCopied = 0;
    qint64 filesKept = 0; // there already: a station there may have written them since
    QString error;
};

// Copies every file and folder of `from` into `to` that `to` lacks, each file
// under a temporary name first so that none is ever left half-copied. `from`
// is only read. Refuses when one directory lies inside the other.
CopyResult CopyInstallation(const QString& from, const QString& to);

// Settings of the installation (written spelling, relative to the working
// directory, as OVX.INI gives them) that do not lead anywhere on this system,
// e.g. "C:\OVX\DB200\": one line each.
QStringList UnreachablePaths(const QString& dbPath, const QString& dataPath);

struct MigrationReport {
    QString jetFile;
    QString jetVersion;
    QString database; // where the tables went
    QList<TableResult> tables;
    QList<JetProblem> problems; // values not taken over
    bool failed = false;
    QString error;
};

using MigrationProgress = std::function<void(const QString& line)>;

// Reads every user table of the Jet file first (a file or table that cannot
// be read stops everything before the database is touched), then writes each
// table into the client database in a transaction of its own. The database
// gets the station's tables first where it lacks them.
MigrationReport MigrateJetFile(const QString& jetFile, const EditorDatabaseSettings& target,
                               const MigrationProgress& progress = {});

} // namespace kelvaro::migration
