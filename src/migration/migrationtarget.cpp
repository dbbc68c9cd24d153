#include "migration/migrationtarget.h"

#include "data/schema.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "migration/filecopy.h"
#include "migration/tablewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <filesystem>

namespace kelvaro::migration {

namespace {

std::filesystem::path pathOf(const QString& name) { return std::filesystem::path(QFile::encodeName(name).toStdString()); }

bool run(SqlConnection& c, const QString& sql, QString& error)
{
    QSqlQuery q(c.database());
    if (q.exec(sql))
        return true;
    error = q.lastError().text();
    return false;
}

bool openFile(SqlConnection& c, const QString& file, QString& error)
{
    if (c.openWith(QStringLiteral("QSQLITE"), SqlDialect::SQLite, file, [&](QSqlDatabase& db) {
            db.setDatabaseName(file);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
        }))
        return true;
    error = LastErrorText();
    return false;
}

} // namespace

MigrationTarget::MigrationTarget(const EditorDatabaseSettings& settings)
    : settings_(settings), work_(QStringLiteral("kelvaro.migration")), lock_(QStringLiteral("kelvaro.migration.lock"))
{
}

MigrationTarget::~MigrationTarget() { abandon(); }

bool MigrationTarget::begin(QString& error)
{
    active_ = true;
    const bool ok = settings_.isFile() ? beginFile(error) : beginServer(error);
    if (!ok)
        abandon();
    return ok;
}

bool MigrationTarget::beginFile(QString& error)
{
    file_ = QFileInfo(NativePath(SqliteFileFor(settings_.dataSource))).absoluteFilePath();
    staging_ = file_ + QStringLiteral(".kelvaro-part");
    QFile::remove(staging_); // left by a run that was killed
    QFile::remove(staging_ + QStringLiteral("-journal"));
    if (!QDir().mkpath(QFileInfo(file_).path())) {
        error = QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(QFileInfo(file_).path());
        return false;
    }
    if (QFileInfo::exists(file_)) {
        // Leaving write-ahead logging needs the file to itself: no station
        // or editor may have it open. The write lock then keeps others out
        // until the new file has taken its place.
        if (!openFile(lock_, file_, error))
            return false;
        QSqlQuery mode(lock_.database());
        if (mode.exec(QStringLiteral("PRAGMA journal_mode")) && mode.next())
            oldJournalMode_ = mode.value(0).toString();
        const bool alone = mode.exec(QStringLiteral("PRAGMA journal_mode=DELETE")) && mode.next()
                           && mode.value(0).toString().compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0;
        QString why = alone ? QString() : mode.lastError().text();
        mode = QSqlQuery();
        if (!alone || !run(lock_, QStringLiteral("BEGIN IMMEDIATE"), why)
            || !run(lock_, QStringLiteral("SELECT count(*) FROM sqlite_master"), why)) {
            error = QStringLiteral("Datenbank %1 ist in Gebrauch (Station und Editoren beenden)%2")
                        .arg(file_, why.trimmed().isEmpty() ? QString() : QStringLiteral(": ") + why);
            return false;
        }
        if (!CopyFileExactly(pathOf(file_), pathOf(staging_), error))
            return false;
    }
    if (!openFile(work_, staging_, error))
        return false;
    return work_.transaction() ? createSchema(error) : (error = LastErrorText(), false);
}

bool MigrationTarget::beginServer(QString& error)
{
    if (!OpenDBConnection(work_, settings_.kind, settings_.user, settings_.password, settings_.dataSource,
                          settings_.catalog)) {
        error = EditorDatabaseMessage(settings_, LastErrorText());
        return false;
    }
    if (!work_.transaction()) {
        error = LastErrorText();
        return false;
    }
    return createSchema(error);
}

bool MigrationTarget::createSchema(QString& error)
{
    for (const QString& statement : SchemaStatements(work_.dialect()))
        if (!run(work_, statement, error))
            return false;
    return true;
}

bool MigrationTarget::lockTables(const QStringList& tables, QString& error)
{
    if (work_.dialect() != SqlDialect::PostgreSQL)
        return true;
    QStringList existing;
    for (const QString& t : tables)
        if (work_.tableExists(t))
            existing << TargetTableSql(t, work_.dialect());
    return existing.isEmpty()
           || run(work_, QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(existing.join(QStringLiteral(", "))), error);
}

bool MigrationTarget::commit(QString& error)
{
    if (!work_.commit()) {
        error = QStringLiteral("Commit: ") + work_.database().lastError().text();
        return false;
    }
    work_.close();
    if (settings_.isFile()) {
        std::error_code ec;
        std::filesystem::rename(pathOf(staging_), pathOf(file_), ec);
        if (ec) {
            error = QStringLiteral("%1 kann %2 nicht ersetzen: %3")
                        .arg(staging_, file_, QString::fromStdString(ec.message()));
            return false;
        }
        SyncDirectory(pathOf(QFileInfo(file_).path()));
    }
    active_ = false;
    if (lock_.isOpen()) {
        QString ignored;
        run(lock_, QStringLiteral("ROLLBACK"), ignored);
        lock_.close();
    }
    return true;
}

void MigrationTarget::abandon()
{
    if (!active_)
        return;
    active_ = false;
    if (work_.isOpen()) {
        work_.rollback();
        work_.close();
    }
    if (!staging_.isEmpty()) {
        QFile::remove(staging_);
        QFile::remove(staging_ + QStringLiteral("-journal"));
    }
    if (lock_.isOpen()) {
        QString ignored;
        run(lock_, QStringLiteral("ROLLBACK"), ignored);
        if (!oldJournalMode_.isEmpty())
            run(lock_, QStringLiteral("PRAGMA journal_mode=") + oldJournalMode_, ignored);
        lock_.close();
    }
}

} // namespace kelvaro::migration
