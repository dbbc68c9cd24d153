#pragma once
#include "data/dbconnection.h"
#include "editors/editordatabase.h"

#include <QString>

namespace kelvaro::migration {

// The client database a migration writes into, built completely before it
// counts. An SQLite file is copied first (so what the migration does not
// replace stays), the copy is written beside the old file and takes its name
// only when everything is in; the old file is locked against writers
// meanwhile. A server database gets one transaction over everything.
class MigrationTarget {
public:
    explicit MigrationTarget(const EditorDatabaseSettings& settings);
    ~MigrationTarget();
    MigrationTarget(const MigrationTarget&) = delete;
    MigrationTarget& operator=(const MigrationTarget&) = delete;

    // Opens (and copies), creates the station's missing tables and starts
    // the transaction. False with `error` when the database is out of reach.
    bool begin(QString& error);
    SqlConnection& connection() { return work_; }
    // Locks the tables against other writers until the end (PostgreSQL; the
    // SQLite file is locked whole in begin()).
    bool lockTables(const QStringList& tables, QString& error);
    // Commits and, for a file, puts the new file in place of the old one.
    bool commit(QString& error);
    // Leaves the database as it was (also done when it goes out of scope).
    void abandon();

    // The file that holds the database when finished (SQLite), for tests.
    QString fileName() const { return file_; }
    QString stagingFileName() const { return staging_; }

private:
    bool beginFile(QString& error);
    bool beginServer(QString& error);
    bool createSchema(QString& error);

    EditorDatabaseSettings settings_;
    SqlConnection work_;
    SqlConnection lock_; // the old SQLite file, held while the copy is written
    QString file_;
    QString staging_;
    bool active_ = false;
    QString oldJournalMode_; // restored when the old file stays
};

} // namespace kelvaro::migration
