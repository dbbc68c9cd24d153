#include "migration/migration.h"

#include "data/dbconnection.h"
#include "foundation/paths.h"
#include "migration/migrationrecord.h"
#include "migration/migrationtarget.h"

namespace kelvaro::migration {

namespace {

QString targetOf(const JetTable& table)
{
    const QString schema = SchemaTableFor(table.name);
    return schema.isEmpty() ? table.name : schema;
}

} // namespace

QString WithDiskCause(const QString& error)
{
    if (error.contains(QLatin1String("disk is full"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("No space left"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("could not extend file"), Qt::CaseInsensitive))
        return QStringLiteral("Datenträger voll: ") + error;
    return error;
}

MigrationReport MigrateJetFile(const QString& jetFile, const EditorDatabaseSettings& target,
                               const MigrationOptions& options, const MigrationProgress& progress)
{
    MigrationReport report;
    report.jetFile = jetFile;
    report.database = target.isFile() ? SqliteFileFor(target.dataSource) : target.displayName();
    const auto say = [&progress](const QString& line) {
        if (progress)
            progress(line);
    };
    const auto fail = [&report](const QString& error) {
        for (TableResult& t : report.tables) { // rolled back with the rest
            t.written = false;
            t.rowsWritten = 0;
        }
        report.failed = true;
        report.error = WithDiskCause(error);
        return report;
    };

    const JetReading reading = options.readerProgram.isEmpty()
                                   ? ReadJetFileHere(jetFile)
                                   : ReadJetFileInChild(options.readerProgram, options.readerArguments);
    report.jetVersion = reading.version;
    report.counts = reading.counts;
    if (!reading.ok())
        return fail(reading.error);
    for (const JetTable& table : reading.tables)
        say(QStringLiteral("gelesen: %1 (%2 Zeilen)").arg(table.name).arg(table.rows.size()));

    MigrationTarget database(target);
    QString error;
    QStringList targets;
    for (const JetTable& table : reading.tables)
        targets << targetOf(table);
    if (!database.begin(error) || !database.lockTables(targets + QStringList{kMigrationRecordTable}, error))
        return fail(error);
    SqlConnection& c = database.connection();

    // What the tables hold now against what the last migration left.
    QHash<QString, TableFingerprint> record;
    if (!ReadMigrationRecord(c, record, error))
        return fail(error);
    QHash<QString, qint64> before;
    QStringList writtenSince;
    for (const QString& t : targets) {
        TableFingerprint now;
        if (!FingerprintTable(c, t, now, error))
            return fail(error);
        before.insert(t, now.rows);
        report.rowsReplaced += now.rows;
        if (now.rows > 0 && (!record.contains(t) || !(record.value(t) == now)))
            writtenSince << QStringLiteral("%1 (%2 Zeilen)").arg(t).arg(now.rows);
    }
    if (!writtenSince.isEmpty() && !options.replace) {
        report.refused = true;
        return fail(QStringLiteral("die Datenbank %1 enthält Daten, die %2: %3. Sie würden ersetzt; nichts "
                                   "geschrieben. Mit --replace werden sie durch die Jet-Datei ersetzt.")
                        .arg(report.database,
                             record.isEmpty() ? QStringLiteral("nicht aus einer Übernahme stammen")
                                              : QStringLiteral("seit der letzten Übernahme geschrieben wurden"),
                             writtenSince.join(QStringLiteral(", "))));
    }

    for (const JetTable& table : reading.tables) {
        report.problems += table.problems;
        TableResult result = WriteJetTableWithin(c, table, report.problems);
        result.rowsReplaced = before.value(result.target);
        report.tables.append(result);
        if (!result.written)
            return fail(QStringLiteral("Tabelle %1 nicht geschrieben, die Datenbank bleibt wie sie war: %2")
                            .arg(result.source, result.error));
        say(QStringLiteral("geschrieben: %1 -> %2 (%3 Zeilen)").arg(result.source, result.target).arg(result.rowsWritten));
    }

    QHash<QString, TableFingerprint> written;
    for (const QString& t : targets) {
        TableFingerprint now;
        if (!FingerprintTable(c, t, now, error))
            return fail(error);
        written.insert(t, now);
    }
    if (!WriteMigrationRecord(c, written, jetFile, error) || !database.commit(error))
        return fail(QStringLiteral("die Datenbank bleibt wie sie war: ") + error);
    return report;
}

} // namespace kelvaro::migration
