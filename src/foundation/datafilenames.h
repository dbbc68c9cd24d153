#pragma once
#include <QString>

namespace kelvaro {

// Names of the data files of a meter (the storage reads and writes them; the
// meter records only name them).

// directory + "Z" + client number + "\" + channel "000000" + slot "000" + ".ovx"
QString RB6FileName(const QString& directory, qint64 channel, int slot);
// directory + channel "00000000" + ".15p" for slot -1, else + "." + slot "000"
QString QuarterHourFileName(const QString& directory, qint64 channel, int slot);
// datenPath + "\z" + station "00" + "a" + input "0000" + ".dat", or "a015p.dat"
// for the 15-minute variant.
QString StationFileName(const QString& datenPath, int station, qint64 input, bool quarterHour = false);
// By station: -1 the 15-minute name, -2 the RB6 name (with rb6Slot), else empty.
QString DataFileName(const QString& directory, qint64 channel, int slot, int station, int rb6Slot);

} // namespace kelvaro
