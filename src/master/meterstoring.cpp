#include "master/meterstoring.h"

#include "data/indexlist.h"
#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "mbus/valuetable.h"
#include "storage/mbuslog.h"
#include "storage/quarterhourfile.h"
#include "storage/rb6file.h"
#include "storage/readingtables.h"

#include <array>

namespace kelvaro::master {
namespace {

bool isOpen(const ReadingTable* table) { return table && table->isOpen(); }

// Each store starts with an empty program-wide error text and takes its own
// cause right after it failed: the mb.log line that reports the failure may
// fail as well (a full disk) and would leave its own cause in that text.
void beginStore() { SetLastErrorText({}); }
QString causeOfFailure()
{
    const QString text = LastErrorText();
    return text.isEmpty() ? QStringLiteral("Ursache unbekannt") : text;
}

void maintainIndexList(StoreContext& c, MeterRecord& meter)
{
    const bool differs = isOpen(c.readings) && meter.ValueCount != meter.IndexCount;
    const bool missing = meter.IndexCount == 0 && meter.ValueCount > 0;
    if (!differs && !missing)
        return;
    QList<IndexListValue> values = IndexListValues(meter);
    beginStore();
    const int saved = SaveIndexList(meter.LZNR, values);
    if (saved < 0) {
        c.log(QStringLiteral("Fehler speichern MBIndexListe lznr=%1 %2").arg(meter.LZNR).arg(causeOfFailure()));
        return;
    }
    if (differs || saved != 0) {
        meter.IndexCount = static_cast<qint16>(saved);
        for (int i = 1; i <= saved && i <= mbus::kMaxValueRecords; ++i)
            meter.ValueTable[i].storeFlag = values[i - 1].storeFlag;
    }
}

// The meter's rows for the two tables, stored before anything shows them:
// a reading that a log line or the log view reports is committed by then.
struct DatabaseRows {
    ReadingRows rows;
    std::array<int, mbus::kMaxValueRecords + 1> value{}; // row of entry i in "MBusWerte", -1 none
    int reading = -1;                                    // row of the main reading in "Zaehlerstaende"
};

bool storesMainReading(const StoreContext& c, const MeterRecord& meter, int i)
{
    return i == meter.MBIndex && c.client != QLatin1String("200");
}

void storeDatabaseRows(StoreContext& c, const MeterRecord& meter, DatabaseRows& db)
{
    db.value.fill(-1);
    for (int i = 1; i <= meter.ValueCount; ++i) {
        const mbus::ValueEntry& entry = meter.ValueTable[i];
        if (c.switches[StoreSwitch::Database] && entry.storeFlag != 0 && isOpen(c.values))
            db.value[i] = db.rows.addMBusWert(*c.values, meter.LZNR, entry.readingTime, i, entry.value);
        if (storesMainReading(c, meter, i) && isOpen(c.readings))
            db.reading = db.rows.addZaehlerstand(*c.readings, meter.LZNR, entry.readingTime, meter.BasisTarif, entry.value);
    }
    db.rows.store();
}

QString causeOf(const DatabaseRows& db, int row)
{
    const QString& text = db.rows.error(row);
    return text.isEmpty() ? QStringLiteral("Ursache unbekannt") : text;
}

void storeMainReading(StoreContext& c, MeterRecord& meter, const mbus::ValueEntry& entry, const DatabaseRows& db)
{
    const qint64 now = DateToSeconds(LocalNow());
    const QString file = QuarterHourFileName(DBPATH, meter.LZNR, -1);
    beginStore();
    const int rc = QuarterHourWriteReading(file, now, entry.value, meter.LZNR);
    if (rc != 0)
        WriteMBusLogLine(QStringLiteral("Fehler beim speichern RB: %1 rc=").arg(rc) + causeOfFailure());
    if (db.reading < 0)
        return;
    if (db.rows.stored(db.reading)) {
        c.log(QStringLiteral("Speichern ZStaende Ok"));
    } else {
        const QString why = causeOf(db, db.reading);
        WriteMBusLogLine(QStringLiteral("Fehler beim speichern Index in Zaehlerstande :  rc=") + why);
        c.log(QStringLiteral("Fehler speichern ZStaende -1 ") + why);
    }
}

} // namespace

QList<IndexListValue> IndexListValues(const MeterRecord& meter)
{
    QList<IndexListValue> values;
    for (int i = 1; i <= meter.ValueCount; ++i)
        values << IndexListValue{meter.ValueTable[i].measurementText, meter.ValueTable[i].unitText, 0};
    return values;
}

void MBusZaehlerSpeichern(StoreContext& c, MeterRecord& meter)
{
    if (c.testMeter && isOpen(c.readings)) {
        const int index = meter.BasisTarif;
        if (index >= 1 && index <= meter.ValueCount)
            AddZaehlerstand(*c.readings, meter.LZNR, meter.ValueTable[index].readingTime, meter.BasisTarif,
                            meter.ValueTable[index].value);
        return;
    }
    maintainIndexList(c, meter);
    c.log(QStringLiteral("Indexe Speichern für ") + meter.MB_ID);

    DatabaseRows db;
    storeDatabaseRows(c, meter, db);
    const bool index1Log = static_cast<int>(Val(c.client)) == 200 && !c.client.isEmpty();
    for (int i = 1; i <= meter.ValueCount; ++i) {
        mbus::ValueEntry& entry = meter.ValueTable[i];
        const bool store = entry.storeFlag != 0;
        if (c.switches[StoreSwitch::MBusLog]) {
            entry.unitText = mbus::FixedText15(entry.unitText.trimmed());
            // The line carries the reading's own time, the one its RB6 element gets,
            // so that the log can rebuild the RB6 files.
            WriteMBusLogAt(SecondsToDate(entry.readingTime),
                           MBusReadingLogText(meter.MB_ID, meter.Zname, c.port, meter.PrimAdr, i, entry.value,
                                              entry.unitText),
                           kMBusLogHeader, kMBusLogTail);
            if (index1Log && i == 1) {
                QString id = meter.MB_ID;
                ReplaceAll(id, QStringLiteral("f"), QString());
                WriteMBusLog(Index1LogText(id, meter.Zname, entry.value, entry.unitText), kIndex1LogHeader,
                             kIndex1LogTail);
            }
        }
        if (const int row = db.value[i]; row >= 0) {
            if (db.rows.stored(row)) {
                c.log(QStringLiteral("Speichern MBIndex Ok "));
            } else {
                const QString why = causeOf(db, row);
                WriteMBusLogLine(QStringLiteral("Fehler beim speichern Index in DB :  rc=") + why);
                c.log(QStringLiteral("Fehler speichern MBIndexe -1 ") + why);
            }
        }
        if (c.switches[StoreSwitch::RB6Files] && store) {
            QString file;
            beginStore();
            const int rc = RB6Append(DatenPath, meter.LZNR, entry.readingTime, entry.value, i, file, c.rb6Names);
            if (rc != 0)
                WriteMBusLogLine(QStringLiteral("Fehler beim speichern RB6 : %1 rc=").arg(rc) + causeOfFailure());
        }
        if (storesMainReading(c, meter, i))
            storeMainReading(c, meter, entry, db);
    }
}

} // namespace kelvaro::master
