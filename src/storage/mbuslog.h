#pragma once
#include <QDateTime>
#include <QString>

namespace kelvaro {

// Daily M-Bus log files: DBPATH + "MBusLog\" + "yymmdd" + file tail.
inline const QString kMBusLogTail = QStringLiteral("mb.log");
inline const QString kIndex1LogTail = QStringLiteral("Index1.txt");
inline const QString kMBusLogHeader = QStringLiteral("Zeitstempel;Zählernummer;Zählernummer;ComPort;PrimAdr;Wert;Einheit;");
inline const QString kIndex1LogHeader = QStringLiteral("Zeitstempel;Zählernummer;Zählername;Wert;Einheit;");

QString MBusLogDirectory();
QString MBusLogFileName(const QString& fileTail, const QDateTime& now);

// Appends "dd.mm.yy hh:mm:ss " + ";" + line to today's file with that tail,
// writing the header as the first line of a new file. A missing log directory
// is created. A line goes in whole or not at all, so that several processes
// may write one file and a full disk leaves no torn line. False (last-error
// text set, a program-log line written) when the line could not be written;
// the caller's work goes on.
bool WriteMBusLog(const QString& line, const QString& header, const QString& fileTail);
// A line of today's "mb.log" (with its header for a new file).
bool WriteMBusLogLine(const QString& line);
bool WriteMBusLogAt(const QDateTime& now, const QString& line, const QString& header, const QString& fileTail);

// True when the file's length can be read.
bool FileExists(const QString& fileName);

// Line texts of a stored reading (without time stamp), as the master writes
// them: identification (each "f" blanked, trimmed); meter number; port;
// primary address; value index; value (German number with every digit it
// needs to be read back exactly); unit trimmed; each
// followed by ";".
QString MBusReadingLogText(const QString& meterId, const QString& meterNumber, int port, int primaryAddress,
                           int valueIndex, double value, const QString& unit);
// The "Index1.txt" line: meter number; meter name; value; unit; each followed by ";".
QString Index1LogText(const QString& meterNumber, const QString& meterName, double value, const QString& unit);

} // namespace kelvaro
