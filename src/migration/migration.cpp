#include "migration/migration.h"

#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace kelvaro::migration {

namespace {

bool isInside(const QString& inner, const QString& outer)
{
    return inner == outer || inner.startsWith(outer + '/');
}

bool copyFile(const QString& source, const QString& target, QString& error)
{
    const QString part = target + QStringLiteral(".kelvaro-part");
    QFile::remove(part);
    if (!QFile::copy(source, part)) {
        error = QStringLiteral("%1 nicht nach %2 kopiert").arg(source, part);
        QFile::remove(part);
        return false;
    }
    if (QFileInfo(part).size() != QFileInfo(source).size() || !QFile::rename(part, target)) {
        error = QStringLiteral("%1 nicht vollständig kopiert (Platte voll?)").arg(target);
        QFile::remove(part);
        return false;
    }
    return true;
}

} // namespace

CopyResult CopyInstallation(const QString& from, const QString& to)
{
    CopyResult result;
    const QString source = QFileInfo(from).canonicalFilePath();
    if (source.isEmpty() || !QFileInfo(source).isDir()) {
        result.error = QStringLiteral("Verzeichnis %1 fehlt").arg(from);
        return result;
    }
    if (!QDir().mkpath(to)) {
        result.error = QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(to);
        return result;
    }
    const QString target = QFileInfo(to).canonicalFilePath();
    if (isInside(target, source) || isInside(source, target)) {
        result.error = QStringLiteral("%1 und %2 liegen ineinander").arg(from, to);
        return result;
    }
    QDirIterator it(source, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        const QString copy = target + '/' + QDir(source).relativeFilePath(entry.filePath());
        if (entry.isDir() && !entry.isSymLink()) {
            if (!QDir().mkpath(copy)) {
                result.error = QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(copy);
                return result;
            }
            continue;
        }
        if (QFileInfo::exists(copy)) {
            ++result.filesKept;
            continue;
        }
        if (!copyFile(entry.filePath(), copy, result.error))
            return result;
        ++result.filesCopied;
    }
    return result;
}

QStringList UnreachablePaths(const QString& dbPath, const QString& dataPath)
{
    QStringList lines;
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:|^\\\\\\\\"));
    const auto check = [&lines](const QString& key, const QString& path) {
        if (path.isEmpty() || QFileInfo(NativePath(path)).isDir())
            return;
        lines << QStringLiteral("%1 = %2 %3").arg(key, path,
                                                   drive.match(path).hasMatch()
                                                       ? QStringLiteral("ist ein Windows-Laufwerk; in OVX.INI anpassen")
                                                       : QStringLiteral("fehlt"));
    };
    check(QStringLiteral("DBPATH"), dbPath);
    check(QStringLiteral("DatenPath"), dataPath);
    return lines;
}

MigrationReport MigrateJetFile(const QString& jetFile, const EditorDatabaseSettings& target,
                               const MigrationProgress& progress)
{
    MigrationReport report;
    report.jetFile = jetFile;
    report.database = target.isFile() ? SqliteFileFor(target.dataSource) : target.displayName();
    const auto say = [&progress](const QString& line) {
        if (progress)
            progress(line);
    };

    QString error;
    const std::unique_ptr<JetFile> file = JetFile::open(jetFile, error);
    if (!file) {
        report.failed = true;
        report.error = error;
        return report;
    }
    report.jetVersion = file->versionText();
    QList<JetTable> tables;
    for (const QString& name : file->tableNames()) {
        JetTable table;
        if (!file->readTable(name, table, error)) {
            report.failed = true;
            report.error = error;
            return report;
        }
        say(QStringLiteral("gelesen: %1 (%2 Zeilen)").arg(name).arg(table.rows.size()));
        tables.append(std::move(table));
    }

    if (target.isFile() && !CreateClientDatabase(target.dataSource)) {
        report.failed = true;
        report.error = QStringLiteral("Datenbank %1 kann nicht angelegt werden").arg(report.database);
        return report;
    }
    EditorDatabase database(target, QStringLiteral("kelvaro.migration"));
    if (!database.isOpen() || (!target.isFile() && !CreateSchema(database.connection()))) {
        report.failed = true;
        report.error = EditorDatabaseMessage(target, database.errorText());
        return report;
    }
    for (const JetTable& table : tables) {
        report.problems += table.problems;
        TableResult result = WriteJetTable(database.connection(), table, report.problems);
        say(result.written ? QStringLiteral("geschrieben: %1 -> %2 (%3 Zeilen)")
                                 .arg(result.source, result.target)
                                 .arg(result.rowsWritten)
                           : QStringLiteral("FEHLER: %1: %2").arg(result.source, result.error));
        if (!result.written && !report.failed) {
            report.failed = true;
            report.error = QStringLiteral("Tabelle %1 nicht geschrieben: %2").arg(result.source, result.error);
        }
        report.tables.append(result);
    }
    return report;
}

} // namespace kelvaro::migration
