#pragma once
#include <QHash>
#include <QString>
#include <QStringList>

namespace kelvaro {
class SqlConnection;
}

namespace kelvaro::migration {

// What a table holds, independent of the rows' order: the row count and a
// sum of the rows' hashes. Equal fingerprints mean nothing was written in
// between.
struct TableFingerprint {
    qint64 rows = 0;
    QString digest; // empty for a missing table
    bool operator==(const TableFingerprint& o) const { return rows == o.rows && digest == o.digest; }
};

// The table's fingerprint as the connection sees it (in its transaction).
bool FingerprintTable(SqlConnection& connection, const QString& table, TableFingerprint& out, QString& error);

// Each migration leaves the fingerprints of the tables it wrote in the
// database ("kelvaro_migration"), so that a later run can tell whether the
// station wrote into them since.
bool ReadMigrationRecord(SqlConnection& connection, QHash<QString, TableFingerprint>& record, QString& error);
bool WriteMigrationRecord(SqlConnection& connection, const QHash<QString, TableFingerprint>& record,
                          const QString& jetFile, QString& error);

extern const QString kMigrationRecordTable;

} // namespace kelvaro::migration
