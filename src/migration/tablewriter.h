#pragma once
#include "data/sqldialect.h"
#include "migration/jetfile.h"

#include <QStringList>

namespace kelvaro {
class SqlConnection;
}

namespace kelvaro::migration {

// What became of one Jet table in the client database.
struct TableResult {
    QString source;             // the Jet table
    QString target;             // the table written
    bool schemaTable = false;   // one of the station's own tables
    qint64 rowsRead = 0;
    qint64 rowsWritten = 0;
    qint64 rowsReplaced = 0;    // rows the table held before
    QStringList addedColumns;   // columns the station's table lacked and got
    bool written = false;
    QString error;              // why nothing was written
};

// The station's own table the Jet table stands for (matched by name without
// regard to case), or empty for any other table.
QString SchemaTableFor(const QString& jetTable);

// Replaces the table's rows by the Jet table's in one transaction (a failure
// leaves the table as it was). A station table keeps its columns; Jet columns
// are matched to them by name without regard to case, and a column it lacks
// is added with the nearest type. Any other table is created anew with the
// nearest column types. Values that cannot be converted are stored as NULL
// and added to `problems`.
TableResult WriteJetTable(SqlConnection& connection, const JetTable& table, QList<JetProblem>& problems);

// The same inside the caller's transaction: on failure the caller rolls back.
TableResult WriteJetTableWithin(SqlConnection& connection, const JetTable& table, QList<JetProblem>& problems);

// The table as SQL names it: the station's tables unquoted (PostgreSQL
// folded them), the others quoted.
QString TargetTableSql(const QString& target, SqlDialect dialect);

} // namespace kelvaro::migration
