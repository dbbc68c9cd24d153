#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace kelvaro::testbench {

// The found-meter list files of the test bench ("&Speichern", "Liste Lesen (txt)").
//
// A row is the found-meter grid's ten cells: "Pri", "ID", "Herst.", "Vers.",
// "Medium", "AnzDat.", "Baudrate", "ID Long", "Medium Long", "Herst.Int"
// (rows of the secondary search carry eight cells; missing cells count as empty).
//
// Both files are Windows-1252 text with CRLF line ends and ";" between cells.
//
// "MBTestCom" + yymmddhhnn + ".txt", the list itself (read back by ReadFoundMeterList):
//   line 1: the ten headers;
//   then one line per meter row, always ten cells. A cell that holds ";" or a
//   double quote (the baud cell "2400;300;") is written in double quotes with
//   inner quotes doubled, as spreadsheets read ";"-separated files.
//
// "MBZählerliste" + yymmddhhnn + ".txt", the same meters in the columns of the
// meter table, for the installation's meter list:
//   line 1: "MBAdr;ZNr;ZName;Hersteller;MB_Version;MB_Medium;MBBaud";
//   then per meter row: address; identification; identification + "_" +
//   manufacturer (the name the list import gives a new meter); manufacturer;
//   version; medium; first baud rate of the baud cell.

inline constexpr int kFoundMeterCells = 10;

// The ten headers of the found-meter grid.
const QStringList& FoundMeterHeaders();

// Whether a grid row describes a meter: some cell after the address is filled.
// The primary search writes the address into every row it tried; such rows are
// not written to the files.
bool IsMeterRow(const QStringList& row);

struct ListSaveResult {
    bool ok = false;
    QString fileName;       // "MBTestCom2405171430.txt" (name only, without directory)
    QString meterListName;  // "MBZählerliste2405171430.txt"
    QString message;        // "\Tabelle wurde gespeichert : " + fileName, or the reason of the failure
};

// Writes both files into `directory` (native or with "\"; created if missing),
// named after `now`. Only meter rows (IsMeterRow) are written. A file of that
// name is never replaced: when the minute's names are taken, both files get
// the first free suffix "_2", "_3" ... ("MBTestCom2405171430_2.txt"). Each
// file appears whole or not at all; when the second file fails, the first is
// removed again, so a failed save leaves no new file. Sets the last-error
// text on failure.
ListSaveResult SaveFoundMeterList(const QList<QStringList>& rows, const QString& directory, const QDateTime& now);

struct ListReadResult {
    bool ok = false;
    QList<QStringList> rows; // ten cells each, in file order
    QString error;
};

// Reads a "MBTestCom" list back. Tolerates blank lines, a header line (first
// cell "Pri"), lines without a meter (nothing after the address), missing
// trailing cells, and unquoted baud cells of older files (a line of more than
// ten cells gives its surplus to the baud cell).
ListReadResult ReadFoundMeterList(const QString& file);

// File names (not paths) in `directory` matching "*testcom*.txt" in any case,
// sorted by name.
QStringList TestFiles(const QString& directory);

// The port in a test file's name: the number between the letter "O" of "Com"
// (the last "o" of the name, any case, the letters after it skipped) and the
// following "." -- 3 for "MBTestCom3.txt" or "testcom3.txt". A name without
// such an "o", or whose text there is no plain number, gives 0. The date stamp
// of a saved list ("MBTestCom2405171430.txt") is no port: numbers above 255
// give 0 as well.
int PortFromTestFileName(const QString& name);

} // namespace kelvaro::testbench
