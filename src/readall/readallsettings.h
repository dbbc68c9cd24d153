#pragma once
#include <QString>

namespace kelvaro::readall {

inline const QString kMbIni = QStringLiteral(".\\MB.INI");
inline const QString kMbSection = QStringLiteral("MB");
// Shown in the directory field while no directory is kept.
inline const QString kNoDirectory = QStringLiteral("Slave.dat");

// The three fields of the read-all form, as texts; kept in section "MB" of ".\MB.INI".
struct ReadAllFields {
    QString port;      // "ComPort"
    QString directory; // "DatenPath", with its final separator
    QString count;     // "Anzahl"
};

ReadAllFields LoadReadAllFields();
// Each writes its key at once; false (last-error text set) when the write failed.
bool SaveDirectory(const QString& directory);
bool SavePort(const QString& port);
bool SaveCount(const QString& count);

} // namespace kelvaro::readall
