#pragma once
#include <QString>
#include <QStringList>

namespace kelvaro {

// Program-wide client variables, filled by the client resolution at start-up.
inline QString Mandant;   // client number as text ("200"); empty until resolved
inline QString DBPATH;    // client database directory, ends in "\" once resolved
inline QString DatenPath; // client data directory (RB6 files)
inline QString HKZStromZ; // read at resolution, used by no one further

inline const QString kOvxIni = QStringLiteral(".\\OVX.INI");

// The text of the message shown when no client is configured.
inline const QString kNoClientMessage =
    QStringLiteral("Keinen Mandanten in der ovx.ini gefunden.([OVX]  OVXMandant=200) ");

// Reads "-M<client>" from a command line (arguments without the program name,
// joined by blanks). Sets Mandant and logs "Suche Mandant <client>".
void ParseClientOption(const QString& commandLine);
// The same for the running program's own command line.
void ParseClientOption();

// Fills Mandant (if still empty), HKZStromZ, DBPATH and DatenPath.
void ResolveClientPaths(const QString& iniFile = QStringLiteral(".\\ovx.ini"));

// The whole calling order of a form's load handler: DBPATH := installation
// directory, client option, optional default client, resolution.
void StartClient(const QString& commandLine, const QString& defaultClient = {});

// The same for a program that has a client of its own to fall back on: the
// client is "-M", else OVXMandant of ".\OVX.INI", else `lastResort`.
void StartClientOr(const QString& commandLine, const QString& lastResort);

// Section names built from the client number.
QString ClientSection();      // "200"
QString ClientMBusSection();  // "200MBus"
QString MBClientSection();    // "MB200"

// Forget every client variable (for tests and a fresh resolution).
void ResetClient();

} // namespace kelvaro
