#pragma once
// What the log import window needs from the installation, read once at its
// start, and the date texts its fields take. Headless.
#include "logimport/logimport.h"

#include <QDate>
#include <QString>

namespace kelvaro::logimport {

struct LogImportEnvironment {
    QString client;
    QString dbPath;
    QString databaseLabel; // the client's database (Label4(0))
    // What the imports run with. The window waits for masters' cycles without
    // a time limit: the operator sees the wait and can cancel it.
    LogImportSettings settings;

    // The load sequence of the form running on its own: DBPATH := installation
    // directory, the command line's client option, client "1320" when none,
    // the client's paths from ".\ovx.ini" (DatenPath := DBPATH), the database
    // settings of dnq.conf, RB6_StandardGroesse of section client + "MBus"
    // (it sizes only files created with a block count of 0; the import
    // creates files as the master's RB6Append does).
    static LogImportEnvironment load(const QString& commandLine);

    // The lock that masters' cycles hold on the client's RB6 directory.
    QString rb6LockFile() const;
};

// The date of a field typed as "dd.mm.yyyy" or "d.m.yyyy", also with a time
// after it ("17.9.2005 20:00"); invalid for anything else.
QDate ParseFormDate(const QString& text);
// A time of a field: "dd.mm.yyyy [hh:mm[:ss]]" as Unix seconds. A bare date
// means its first second, or with `endOfDay` its last. False when no date.
bool ParseFormTime(const QString& text, bool endOfDay, qint64& seconds);
// "dd.mm.yyyy".
QString FormDateText(const QDate& date);

} // namespace kelvaro::logimport
