#include "mscons/msconsexport.h"

#include "mscons/dayendreadings.h"
#include "mscons/msconsinterchange.h"
#include "mscons/obiscode.h"
#include "mscons/referencecounter.h"

#include "data/dbconnection.h"
#include "foundation/datafilenames.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/processlock.h"
#include "foundation/safefile.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace kelvaro::mscons {

bool LoadExportIndexes(SqlConnection& c, QList<ExportIndex>& out, QString& error)
{
    QSqlQuery q;
    if (!c.query(q, QStringLiteral("SELECT MBusIndexListe.lznr, MBusIndexListe.MBIndex, MBusIndexListe.text, "
                                   "zaehler.MSCONS_Lokation, zaehler.ZNr FROM MBusIndexListe INNER JOIN zaehler ON "
                                   "MBusIndexListe.lznr = zaehler.LZNR ORDER BY MBusIndexListe.lznr, "
                                   "MBusIndexListe.MBIndex"))) {
        error = LastErrorText();
        return false;
    }
    out.clear();
    while (q.next())
        out.append({q.value(0).toLongLong(), q.value(1).toInt(), q.value(2).toString(),
                    q.value(3).toString().trimmed(), q.value(4).toString()});
    return true;
}

QString MsconsFileName(const QString& sender, const QString& receiver, QDate from, QDate to,
                       const QString& reference)
{
    const auto safe = [](QString id) {
        for (QChar& c : id)
            if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('-'))
                c = QLatin1Char('_');
        return id;
    };
    return QStringLiteral("MSCONS_%1_%2_%3_%4_%5.edi")
        .arg(safe(sender), safe(receiver), from.toString(QStringLiteral("yyyyMMdd")),
             to.toString(QStringLiteral("yyyyMMdd")), reference);
}

namespace {

QString meterName(const ExportIndex& index)
{
    return index.meterNumber.isEmpty() ? QStringLiteral("Zähler %1").arg(index.lznr)
                                       : QStringLiteral("Zähler %1 (%2)").arg(index.lznr).arg(index.meterNumber);
}

ExportReport fail(ExportReport report, const QString& error)
{
    report.failed = true;
    report.error = error;
    return report;
}

// The locations with their registers and readings; false on a file error.
bool collect(const ExportRequest& r, const QList<ExportIndex>& indexes, QList<MsconsLocation>& locations,
             ExportReport& report)
{
    qint64 lastMeter = -1;
    qint64 groupMeter = -1;
    for (const ExportIndex& index : indexes) {
        const bool newMeter = index.lznr != lastMeter;
        lastMeter = index.lznr;
        if (index.location.isEmpty() || !FitsUnoc(index.location)) {
            if (newMeter)
                report.warnings << meterName(index)
                        + (index.location.isEmpty()
                               ? QStringLiteral(": keine MSCONS_Lokation, nicht gesendet")
                               : QStringLiteral(": MSCONS_Lokation \"%1\" ist nicht in ISO 8859-1 darstellbar, nicht "
                                                "gesendet")
                                     .arg(index.location));
            continue;
        }
        const QString obis = ObisCodeOfText(index.text);
        if (obis.isEmpty()) {
            report.warnings << meterName(index)
                    + QStringLiteral(" Index %1: Text \"%2\" ist keine OBIS-Kennzahl, nicht gesendet")
                          .arg(index.mbIndex)
                          .arg(index.text);
            continue;
        }
        const QString file = RB6FileName(r.datenPath, index.lznr, index.mbIndex);
        QList<DayReading> readings;
        bool missing = false;
        QString error;
        if (!ReadDayEndReadings(file, r.from, r.to, readings, missing, error)) {
            report.failed = true;
            report.error = error;
            return false;
        }
        if (missing)
            report.warnings << meterName(index)
                    + QStringLiteral(" Index %1: keine RB6-Datei %2").arg(index.mbIndex).arg(file);
        QList<DayReading> usable;
        for (const DayReading& reading : readings) {
            if (std::isfinite(reading.value))
                usable << reading;
            else
                report.warnings << meterName(index)
                        + QStringLiteral(" Index %1: Wert am %2 ist keine Zahl, nicht gesendet")
                              .arg(index.mbIndex)
                              .arg(reading.day.toString(QStringLiteral("dd.MM.yyyy")));
        }
        qsizetype next = 0;
        for (QDate day = r.from; day <= r.to; day = day.addDays(1)) {
            if (next < usable.size() && usable[next].day == day)
                ++next;
            else
                report.skippedDays.append({index.lznr, index.mbIndex, day});
        }
        if (usable.isEmpty())
            continue;
        // One location group per meter, in the order of the meters.
        if (index.lznr != groupMeter) {
            locations.append({index.location, {}});
            groupMeter = index.lznr;
        }
        locations.last().registers.append({obis, usable});
        ++report.registers;
        report.readings += int(usable.size());
    }
    report.locations = int(locations.size());
    return true;
}

} // namespace

ExportReport ExportMscons(const ExportRequest& r, const QList<ExportIndex>& indexes)
{
    ExportReport report;
    QList<MsconsLocation> locations;
    {
        // A log import rebuilding the RB6 files holds this lock exclusively.
        const QString rb6Directory = DirectoryOf(RB6FileName(r.datenPath, 0, 0));
        ProcessLock rb6Lock(RB6DirectoryLockFile(rb6Directory));
        if (QFileInfo(NativePath(rb6Directory)).isDir() && !rb6Lock.lock(ProcessLock::Mode::Shared, r.rb6WaitMs))
            return fail(report, rb6Lock.heldElsewhere()
                                    ? QStringLiteral("RB6-Dateien werden gerade neu aufgebaut (Import der Logdateien)")
                                    : QStringLiteral("RB6-Sperre: ") + rb6Lock.errorText());
        if (!collect(r, indexes, locations, report))
            return report;
    }
    if (report.readings == 0)
        return report;

    const qsizetype receivers = r.settings.receivers.size();
    ReferenceCounter counter(r.counterFile);
    const qint64 first = counter.reserve(int(receivers));
    if (first == 0)
        return fail(report, counter.errorText());
    const QString directory = NativePath(r.outputDirectory);
    if (!EnsureDirectory(directory) || !QFileInfo(directory).isDir())
        return fail(report, QStringLiteral("Ausgabeverzeichnis %1 kann nicht angelegt werden").arg(r.outputDirectory));

    for (qsizetype k = 0; k < receivers; ++k) {
        MsconsDocument document{r.settings.receivers[k], QString::number(first + k), r.now, locations};
        const QByteArray bytes = BuildMsconsInterchange(r.settings, document);
        if (bytes.isEmpty())
            return fail(report, QStringLiteral("Empfänger %1: nicht in ISO 8859-1 darstellbar").arg(document.receiver));
        const QString path = QDir(directory).filePath(MsconsFileName(r.settings.sender, document.receiver, r.from, r.to,
                                                                     document.reference));
        QString reason;
        switch (CreateWholeFile(path, bytes, &reason)) {
        case CreateResult::Created:
            report.files << path;
            report.references << document.reference;
            break;
        case CreateResult::Exists:
            return fail(report, QStringLiteral("%1 gibt es schon; nichts überschrieben").arg(path));
        case CreateResult::Failed:
            return fail(report, QStringLiteral("%1 nicht geschrieben: %2").arg(path, reason));
        }
    }
    return report;
}

} // namespace kelvaro::mscons
