#pragma once
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace kelvaro::mbus {
class MBusProvider;

// One entry of a meter record's value table.
struct ValueEntry {
    QString measurementText;   // APPVIBAsc, fixed 15 characters ("Meßart")
    double value = 0;
    QString unitText;          // APPVIBUnitAsc, fixed 15 characters
    double previousValue = 0;
    qint32 readingTime = 0;    // Unix seconds
    qint32 previousReadingTime = 0;
    double ratePerHour = 0;
    // Set by the meter list from the index list.
    quint8 storeFlag = 0;      // 255 store, 0 do not
    qint32 typeCode = 0;
};

inline constexpr int kMaxValueRecords = 255;

// ValueCount and ValueTable of a meter record; entry 0 is never written.
struct MeterValues {
    quint8 ValueCount = 0;
    std::array<ValueEntry, kMaxValueRecords + 1> ValueTable{};
};

// Left-aligned, blank-padded and cut to 15 characters.
QString FixedText15(const QString& text);

// The record texts MB_WerteUebernehmen reads for record r (1-based).
struct RecordValueTexts {
    QString measurement;
    QString value;
    QString unit;
};

// Takes the provider's records over into the value table at `time`.
// 0 when all were taken over; -1 when there are more than 255 (the first 255
// are kept and ValueCount says 255).
int MB_WerteUebernehmen(const MBusProvider& provider, MeterValues& meter, qint32 time);
// The same over any numbered record source.
int TakeOverValues(int recordCount, const std::function<RecordValueTexts(int)>& recordAt, MeterValues& meter,
                   qint32 time);

// What MB_TelegrammAnzeigen shows: the five-column grid and the raw-data text.
struct TelegramDisplay {
    QStringList headers;       // "Index", "Medium", "Meßart", "Wert", "Einh."
    QList<QStringList> rows;   // five cells per record
    QString rawText;           // n " HEX Zeichen", 16 bytes a line, n " Dezimal"

    QString rowText(int row) const { return rows.value(row).join(QLatin1Char('\t')); }
};

TelegramDisplay MB_TelegrammAnzeigen(const MBusProvider& provider);
// The raw-data text alone, from the provider's hex and decimal texts.
QString RawDataText(const QString& rawHex, const QString& rawDec);

} // namespace kelvaro::mbus
