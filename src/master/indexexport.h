#pragma once
#include "master/meterrecord.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>

namespace kelvaro {
class SqlConnection;
}

namespace kelvaro::master {

// Where and how the index export writes; read from ".\OVX.INI" with the
// station's other keys at each cycle.
struct IndexExportSettings {
    bool on = false;            // "MitIndexExport" of section client + "MBus"
    QString target;             // "MBusExportIndexDatei" of the client's section; empty: DatenPath
    bool previousValue = false; // "VorWert" of the client's section reads as a number other than 0
};

// One exported index of a meter: a row of "MBusIndexListe".
struct ExportedIndex {
    qint32 lznr = 0;
    int mbIndex = 0;
    QString text;
};

// The value field of an index whose reading failed or did not carry it.
inline const QString kExportReadFailed = QStringLiteral("FehlerBeimLesen");

// The file a line with a reading of `time` goes to: the target itself, or,
// when it names a directory (an existing one, or a path ending in "\" or
// "/"), the day file "yymmddmb.txt" in it. The spelling of the INI value.
QString IndexExportFileName(const QString& target, const QDateTime& time);

// Every row of "MBusIndexListe" of the meters `lznrs`, by meter and index.
bool LoadExportedIndexes(SqlConnection& connection, const QList<qint32>& lznrs, QList<ExportedIndex>& out,
                         QString& error);

// The export of one master: after each completed cycle one line per exported
// index of its meters, appended to the export file. Fields, tab-separated:
// time stamp "dd.mm.yy hh:mm:ss" of the reading, LZNR, meter number (ZNAME of
// the meter list), index, the index's text, value (German number), unit; with
// the previous value on an eighth field: the value the previous line of that
// meter and index carried (empty for the first one since the master started).
// A reading that failed, or that did not carry the index, gives the value
// field kExportReadFailed, an empty unit and the cycle's time; it never
// becomes the previous value of a later line.
class IndexExport {
public:
    using Writer = std::function<bool(const QString& file, const QString& line)>;

    // The real writer: one whole line per write (Windows-1252, CR LF), the
    // day file's directory created when missing.
    IndexExport();
    explicit IndexExport(Writer writer) : writer_(std::move(writer)) {}

    // Appends the lines of `meters` (a meter counts as read when its last
    // reading of this cycle was good). Returns the number of lines that
    // could not be written; each is named in `failures`.
    int exportCycle(const IndexExportSettings& settings, const QList<ExportedIndex>& indexes,
                    const QList<const MeterRecord*>& meters, const QDateTime& cycleTime, QStringList* failures = nullptr);

private:
    struct Line {
        QDateTime time;
        QString text;
    };
    Line lineOf(const IndexExportSettings& settings, const ExportedIndex& index, const MeterRecord* meter,
                const QDateTime& cycleTime);

    Writer writer_;
    QHash<QString, double> previous_; // by LZNR and index
};

} // namespace kelvaro::master
