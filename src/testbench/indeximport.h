#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

namespace kelvaro {
class SqlConnection;
}
namespace kelvaro::mbus {
struct PrimaryReading;
}

namespace kelvaro::testbench {

// "Import Inde&x" and "Import &Alle Index": a meter's result grid becomes its
// index list in "MB_IndexListe".
//
// Result rows are the data rows of the result grid, without its header row:
// cell 0 "<address> [<record number>]", 1 medium, 2 measurement text ("Art"),
// 3 value, 4 unit text ("Einheit"). A row whose first cell is empty or holds no
// number in brackets (the " Fehler : " line of a failed telegram) is skipped.
//
// Each meter's list is replaced in one transaction (delete, then insert every
// row): a database error rolls that meter back, so it keeps its old list,
// while meters imported before it in the same run keep their new lists.

// One meter of the port as the meter query returns it.
struct PortMeter {
    qint64 lznr = 0;
    QVariant address; // MBAdr; null when the meter has none
    int baud = 0;
    QString znr;
    QString name;
};

// The meter query of the imports: M-Bus meters of `port`, and of primary
// address `address` when it is 0 or more, sorted by address (none first), then
// LZNR. False on a database error (last-error text set).
bool QueryPortMeters(SqlConnection& db, int port, int address, QList<PortMeter>& meters);

enum class IndexImportOutcome {
    Imported,      // the list was replaced (possibly by no rows)
    NotStarted,    // port 0, empty identification or address 353: nothing done, no message
    MeterNotFound, // not exactly one meter: "Zähler nicht gefunden", nothing changed
    DatabaseError, // rolled back: the meter keeps its old list
};

struct IndexImportResult {
    IndexImportOutcome outcome = IndexImportOutcome::NotStarted;
    qint64 lznr = 0;
    int rowsWritten = 0;
    QString message; // text for a message box; empty when there is nothing to show
};

// The index list column the record number goes into: "Index" for client "2500", else "MBIndex".
QString IndexColumnForClient(const QString& client);

// "Import Inde&x" for the meter at `primaryAddress` on `port`. `id` is the ID
// field of the window; it only has to be non-empty.
IndexImportResult ImportIndex(SqlConnection& db, const QString& client, int port, int primaryAddress, const QString& id,
                              const QList<QStringList>& resultRows);

// Replaces the index list of meter `lznr` by the result rows (the steps after
// the meter query). Returns Imported or DatabaseError.
IndexImportResult WriteIndexList(SqlConnection& db, const QString& client, qint64 lznr,
                                 const QList<QStringList>& resultRows);

// What the provider callable of "Import &Alle Index" hands back for one address.
struct MeterRows {
    bool read = false;        // the meter answered with at least one telegram
    QList<QStringList> rows;  // result rows as above
    QString error;            // why not, when read is false
    bool lineLost = false;    // the line went away during the reading (error: why)
};

// The rows of a test-bench reading (M_Bus_AuslesenRac) in that form.
MeterRows RowsOfReading(const mbus::PrimaryReading& reading);

struct AllIndexCallbacks {
    // Reads the meter at one primary address (the window: M_Bus_AuslesenRac). Required.
    std::function<MeterRows(int address)> readMeter;
    // Asked before each meter ("&Abbrechen"); true ends the run. Optional.
    std::function<bool()> stopRequested;
    // After each meter: meters done, meters of the port, the report line. Optional.
    std::function<void(int done, int total, const QString& line)> progress;
};

struct AllIndexResult {
    int meters = 0;     // M-Bus meters of the port
    int imported = 0;
    int failed = 0;
    bool cancelled = false;
    bool databaseError = false; // the run ended on a database error
    QVariant lineLostAt;        // the address whose reading the line's loss cut; null when it did not
    QStringList report; // one line per meter handled
    QString message;    // text for a message box; empty when there is nothing to show
};

// "Import &Alle Index": every M-Bus meter of `port`, in the order of
// QueryPortMeters, is read by primary address and its index list written.
// Port 0 does nothing; a port without meters gives "Zähler nicht gefunden".
// Report lines:
//   "Imp Idx Adr 5 LZNR 12 ZNr 12345678: 7 Werte"
//   "Fehler Adr 5 LZNR 12 ZNr 12345678: <reason>"
//   "Abgebrochen Adr 5 LZNR 12 ZNr 12345678"
//   "Leitung verloren Adr 5 LZNR 12 ZNr 12345678: <reason>"
// A meter without address, sharing its address with another meter of the
// port, or not answering is reported with "Fehler" and the run goes on; a
// database error ends the run (meters already imported keep their lists).
// A stop asked for while a meter is read ends the run at that meter: it is
// reported as "Abgebrochen", keeps its list and counts as neither imported
// nor failed. A line that goes away during a reading ends the run the same
// way, reported as "Leitung verloren".
AllIndexResult ImportAllIndex(SqlConnection& db, const QString& client, int port, const AllIndexCallbacks& callbacks);

} // namespace kelvaro::testbench
