#include "migration/migrationrecord.h"

#include "data/dbconnection.h"
#include "migration/tablewriter.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtEndian>

namespace kelvaro::migration {

const QString kMigrationRecordTable = QStringLiteral("kelvaro_migration");

bool FingerprintTable(SqlConnection& c, const QString& table, TableFingerprint& out, QString& error)
{
    out = {};
    if (!c.tableExists(table))
        return true;
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    const QString tableSql = TargetTableSql(table, c.dialect());
    if (c.dialect() == SqlDialect::PostgreSQL) {
        // The server sums the rows' hashes itself: a table of millions of
        // readings does not travel to the client.
        if (!q.exec(QStringLiteral("SELECT COUNT(*), COALESCE(SUM(('x' || LEFT(MD5(t::text), 15))::bit(60)::bigint), 0)"
                                   "::text FROM %1 t").arg(tableSql))
            || !q.next()) {
            error = QStringLiteral("%1 nicht lesbar: %2").arg(table, q.lastError().text());
            return false;
        }
        out.rows = q.value(0).toLongLong();
        out.digest = q.value(1).toString();
        return true;
    }
    if (!q.exec(QStringLiteral("SELECT * FROM ") + tableSql)) {
        error = QStringLiteral("%1 nicht lesbar: %2").arg(table, q.lastError().text());
        return false;
    }
    quint64 sum = 0;
    QByteArray row;
    while (q.next()) {
        row.clear();
        const int columns = q.record().count();
        for (int k = 0; k < columns; ++k) {
            const QVariant v = q.value(k);
            if (v.isNull())
                row += '\x01';
            else
                row += v.typeId() == QMetaType::QByteArray ? v.toByteArray().toHex() : v.toString().toUtf8();
            row += '\x1f';
        }
        const QByteArray hash = QCryptographicHash::hash(row, QCryptographicHash::Sha256);
        sum += qFromLittleEndian<quint64>(hash.constData());
        ++out.rows;
    }
    out.digest = QString::number(sum, 16);
    return true;
}

namespace {

bool ensureRecordTable(SqlConnection& c, QString& error)
{
    QSqlQuery q(c.database());
    if (q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (tablename VARCHAR(255) NOT NULL, rowcount BIGINT, "
                              "fingerprint VARCHAR(64), migrated VARCHAR(19), jetfile VARCHAR(1024))")
                   .arg(kMigrationRecordTable)))
        return true;
    error = q.lastError().text();
    return false;
}

} // namespace

bool ReadMigrationRecord(SqlConnection& c, QHash<QString, TableFingerprint>& record, QString& error)
{
    record.clear();
    if (!c.tableExists(kMigrationRecordTable))
        return true;
    QSqlQuery q(c.database());
    if (!q.exec(QStringLiteral("SELECT tablename, rowcount, fingerprint FROM ") + kMigrationRecordTable)) {
        error = q.lastError().text();
        return false;
    }
    while (q.next())
        record.insert(q.value(0).toString(), {q.value(1).toLongLong(), q.value(2).toString()});
    return true;
}

bool WriteMigrationRecord(SqlConnection& c, const QHash<QString, TableFingerprint>& record, const QString& jetFile,
                          QString& error)
{
    if (!ensureRecordTable(c, error))
        return false;
    QSqlQuery q(c.database());
    if (!q.exec(QStringLiteral("DELETE FROM ") + kMigrationRecordTable)) {
        error = q.lastError().text();
        return false;
    }
    if (!q.prepare(QStringLiteral("INSERT INTO %1 (tablename, rowcount, fingerprint, migrated, jetfile) "
                                  "VALUES (?, ?, ?, ?, ?)").arg(kMigrationRecordTable))) {
        error = q.lastError().text();
        return false;
    }
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    for (auto it = record.begin(); it != record.end(); ++it) {
        q.bindValue(0, it.key());
        q.bindValue(1, it.value().rows);
        q.bindValue(2, it.value().digest);
        q.bindValue(3, now);
        q.bindValue(4, jetFile);
        if (!q.exec()) {
            error = q.lastError().text();
            return false;
        }
    }
    return true;
}

} // namespace kelvaro::migration
