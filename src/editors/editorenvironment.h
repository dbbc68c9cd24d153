#pragma once
#include "editors/editordatabase.h"

#include <QString>

namespace kelvaro {

// What an editor window needs from the installation, read once at its start:
// the client, its paths and the database of its meters.
struct EditorEnvironment {
    QString client;
    QString dbPath;
    QString datenPath;
    EditorDatabaseSettings database;

    // The editors' load sequence: DBPATH := installation directory, the
    // client of the command line, else OVXMandant, else "200", the client's
    // paths from ".\ovx.ini", the server settings of dnq.conf.
    static EditorEnvironment load(const QString& commandLine);

    // The two labels of the editors: the database and the daily log files.
    QString databaseLabel() const { return database.displayName(); }
    QString logFileLabel() const { return datenPath + QStringLiteral("yymmddmb.txt"); }
};

} // namespace kelvaro
