#pragma once
#include "data/dbconnection.h"

#include <QString>
#include <array>

namespace kelvaro {

// Where the editors find the meters: the database the master reads them from.
// For every client but "1450" that is the client's file (DBPATH + "basis.mdb",
// i.e. "basis.db"); client "1450" with a server database in dnq.conf uses that
// server. Built at the program's edge and handed to the editors.
struct EditorDatabaseSettings {
    QString kind = QStringLiteral("1");
    QString user;
    QString password;
    QString dataSource;
    QString catalog;

    // From the client number, the client's DBPATH and the dnq.conf settings
    // (DBConfig, as LoadUserConfig left it).
    static EditorDatabaseSettings forClient(const QString& client, const QString& dbPath,
                                            const std::array<QString, 6>& dbConfig);
    // The database as the window's label shows it: the file, or
    // host/database on a server.
    QString displayName() const;
    bool isFile() const { return kind == QLatin1String("1"); }
};

// One editor operation's connection: opened when built, closed when it goes.
// An operation that finds it closed reports errorText() and changes nothing.
class EditorDatabase {
public:
    explicit EditorDatabase(const EditorDatabaseSettings& settings,
                            const QString& connectionName = QStringLiteral("kelvaro.editor"));
    ~EditorDatabase();
    EditorDatabase(const EditorDatabase&) = delete;
    EditorDatabase& operator=(const EditorDatabase&) = delete;

    bool isOpen() const { return connection_.isOpen(); }
    SqlConnection& connection() { return connection_; }
    // The reason of the last failure: open, statement or commit.
    QString errorText() const;

private:
    SqlConnection connection_;
};

// "Fehler in der Datenbank <name> :" + reason, the editors' message for a
// database that refused an operation.
QString EditorDatabaseMessage(const EditorDatabaseSettings& settings, const QString& reason);

} // namespace kelvaro
