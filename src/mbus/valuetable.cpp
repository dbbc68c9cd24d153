#include "mbus/valuetable.h"

#include "foundation/textutil.h"
#include "mbus/provider.h"

namespace kelvaro::mbus {

QString FixedText15(const QString& text)
{
    return text.left(15).leftJustified(15, QLatin1Char(' '));
}

int TakeOverValues(int recordCount, const std::function<RecordValueTexts(int)>& recordAt, MeterValues& meter,
                   qint32 time)
{
    // A byte cannot count more than 255 records; the rest is refused below.
    meter.ValueCount = static_cast<quint8>(recordCount > kMaxValueRecords ? kMaxValueRecords
                                                                          : (recordCount < 0 ? 0 : recordCount));
    for (int r = 1; r <= recordCount; ++r) {
        if (r > kMaxValueRecords)
            return -1;
        const RecordValueTexts texts = recordAt(r);
        ValueEntry& e = meter.ValueTable[static_cast<std::size_t>(r)];
        e.measurementText = FixedText15(texts.measurement);
        e.previousReadingTime = e.readingTime;
        e.readingTime = time;
        const qint64 dt = qint64(e.readingTime) - e.previousReadingTime;
        e.previousValue = e.value;
        e.value = ToDouble(texts.value);
        e.unitText = FixedText15(texts.unit);
        if (dt != 0 && e.previousReadingTime != 0)
            e.ratePerHour = (e.value - e.previousValue) / static_cast<double>(dt) * 3600.0;
    }
    return 0;
}

int MB_WerteUebernehmen(const MBusProvider& provider, MeterValues& meter, qint32 time)
{
    return TakeOverValues(
        provider.APPDataRecordNumber(),
        [&provider](int r) {
            return RecordValueTexts{provider.APPVIBAsc(r), provider.APPValueDec(r), provider.APPVIBUnitAsc(r)};
        },
        meter, time);
}

QString RawDataText(const QString& rawHex, const QString& rawDec)
{
    const qsizetype n = rawHex.size() / 2;
    QString text = QString::number(n) + QStringLiteral(" HEX Zeichen\r\n");
    for (qsizetype i = 0; i + 1 < rawHex.size(); i += 2) {
        text += rawHex.mid(i, 2) + QLatin1Char(' ');
        if ((i + 2) % 32 == 0)
            text += QStringLiteral("\r\n");
    }
    text += QStringLiteral("\r\n") + QString::number(n) + QStringLiteral(" Dezimal\r\n");
    for (qsizetype i = 0; i + 2 < rawDec.size(); i += 3)
        text += rawDec.mid(i, 3) + QLatin1Char(' ');
    return text;
}

TelegramDisplay MB_TelegrammAnzeigen(const MBusProvider& provider)
{
    TelegramDisplay d;
    d.headers = {QStringLiteral("Index"), QStringLiteral("Medium"), QStringLiteral("Meßart"), QStringLiteral("Wert"),
                 QStringLiteral("Einh.")};
    d.rawText = RawDataText(provider.APPRetrieveRawDataHex(), provider.APPRetrieveRawDataDec());
    const QString medium = provider.APPMediumAsc();
    const QString address = QString::number(provider.APPAField());
    const int count = provider.APPDataRecordNumber();
    for (int r = 1; r <= count; ++r) {
        d.rows.append({address + QStringLiteral(" [") + QString::number(r) + QLatin1Char(']'), medium,
                       provider.APPVIBAsc(r), GermanNumber(ToDouble(provider.APPValueDec(r))),
                       provider.APPVIBUnitAsc(r)});
    }
    return d;
}

} // namespace kelvaro::mbus
