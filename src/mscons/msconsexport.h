#pragma once
#include "mscons/msconssettings.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace kelvaro {
class SqlConnection;
}

namespace kelvaro::mscons {

// One exported index (a row of "MBusIndexListe") with its meter's location.
struct ExportIndex {
    qint64 lznr = 0;
    int mbIndex = 0;
    QString text;
    QString location; // zaehler.MSCONS_Lokation
    QString meterNumber; // zaehler.ZNr, for messages
};

// Every exported index of the meters in "zaehler", by meter and index.
bool LoadExportIndexes(SqlConnection& connection, QList<ExportIndex>& out, QString& error);

struct ExportRequest {
    MsconsSettings settings;
    QDate from, to;
    QString datenPath;       // where the RB6 files lie (client directory "Z" + client)
    QString outputDirectory; // created when missing
    QString counterFile;     // ReferenceCounterFile
    QDateTime now;           // UTC: creation time of the interchanges
    int rb6WaitMs = 60000;   // wait for a log import rebuilding the RB6 files
};

struct SkippedDay {
    qint64 lznr;
    int mbIndex;
    QDate day;
};

struct ExportReport {
    bool failed = false; // a file or the counter could not be read or written
    QString error;
    QStringList files;   // written, one per receiver
    QStringList references;
    QStringList warnings; // indexes and meters left out, and why
    QList<SkippedDay> skippedDays;
    int locations = 0;
    int registers = 0;
    int readings = 0;
    bool nothingToSend() const { return !failed && readings == 0; }
};

// Builds one interchange per receiver from the day-end readings of the RB6
// files and writes each as a new file of its own (complete or not at all).
// With no reading at all nothing is written and no reference is used.
ExportReport ExportMscons(const ExportRequest& request, const QList<ExportIndex>& indexes);

// "MSCONS_<sender>_<receiver>_<from yyyyMMdd>_<to yyyyMMdd>_<reference>.edi";
// characters of the ids other than letters, digits and "-" become "_".
QString MsconsFileName(const QString& sender, const QString& receiver, QDate from, QDate to,
                       const QString& reference);

} // namespace kelvaro::mscons
