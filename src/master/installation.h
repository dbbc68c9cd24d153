#pragma once
#include <QList>
#include <QString>

namespace kelvaro {
class SqlConnection;
}

namespace kelvaro::master {

// A meter of a simulator bus file, as the station's meter table needs it.
struct BusMeter {
    int primary = 0;
    QString id;
    int baud = 2400;
    QString name;
    int groupNr = 2;
};

// The meters of an mbus-sim bus file; false and `error` on a bad file.
bool ReadBusMeters(const QString& busFile, QList<BusMeter>& meters, QString* error);

// Adds tariff groups (when missing) and one M-Bus meter row per bus meter at
// `port` to "zaehler" (level 1, source 'M-Bus', main reading index 1).
bool AddMBusMeters(SqlConnection& db, const QList<BusMeter>& meters, int port, QString* error);

// Lays out an installation in the current directory: OVX.INI (client, COM1 =
// device, read once, storing to database, M-Bus log and RB6 files), dnq.conf
// and DB<client>/basis.db with the bus file's meters on port 1.
bool CreateDemoInstallation(const QString& client, const QString& device, const QString& busFile, QString* error);

} // namespace kelvaro::master
