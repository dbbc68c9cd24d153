#include "readall/readall.h"

#include "foundation/cp1252.h"
#include "foundation/paths.h"
#include "foundation/safefile.h"
#include "foundation/textutil.h"
#include "mbus/wire/meterreading.h"
#include "mbus/provider.h"
#include "mbus/wire/nativeprovider.h"

namespace kelvaro::readall {

QString ResultFilePath(const QString& directory, const QDate& day)
{
    return NativePath(directory + day.toString(QStringLiteral("yyMMdd")) + QStringLiteral("mb.txt"));
}

QString FormatMeterLine(const QDate& day, int address, const MeterLine& line)
{
    QStringList fields{day.toString(QStringLiteral("yyMMdd")), QString::number(address)};
    if (line.read)
        fields << line.items;
    else
        fields << kReadFailed;
    return fields.join(QLatin1Char('\t'));
}

namespace {

// The value as the decoder shows it: numbers as the provider hands them out,
// dates and times as "dd.mm.yyyy hh:mm", texts and bytes as read.
QString valueText(const mbus::Telegram& telegram, const mbus::DataRecord& record)
{
    switch (record.type) {
    case mbus::ValueType::Number: return mbus::ValueDecText(telegram, record);
    case mbus::ValueType::Empty: return {}; // the meter's own "no value yet": the column stays
    default: return mbus::DisplayValueText(telegram, record, mbus::Language::German);
    }
}

// Manufacturer bytes behind DIF 0F / 1F (also the telegram boundary) and
// records without a data field hold nothing for a column.
bool holdsValue(const mbus::DataRecord& record)
{
    return record.info != &mbus::ManufacturerDataInfo() && record.type != mbus::ValueType::None;
}

// A meter's text may hold tabs or line breaks: they would split the field.
QString oneField(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return text.trimmed();
}

} // namespace

QStringList TelegramItems(const mbus::MBusProvider& provider)
{
    QStringList items;
    for (int r = 1; r <= provider.APPDataRecordNumber(); ++r) {
        const mbus::DataRecord* record = provider.record(r);
        if (!record || !holdsValue(*record))
            continue;
        items << oneField(valueText(provider.telegram(), *record)) << oneField(provider.APPVIBUnitAsc(r));
    }
    return items;
}

ReadAll::ReadAll(mbus::NativeProvider& provider) : provider_(provider) {}

MeterLine ReadAll::readMeter(int address)
{
    MeterLine line;
    if (!provider_.APPIsComOpen())
        return line;
    provider_.APPSNDNKE(address);
    if (provider_.APPReceiveTest() > 4)
        return line;
    for (int telegram = 0; telegram < mbus::kMaxContinuationTelegrams; ++telegram) {
        provider_.APPREQUD2(address);
        if (provider_.APPReceiveTest() != 3)
            return telegram == 0 ? MeterLine{} : line;
        line.read = true;
        line.items << TelegramItems(provider_);
        if (!provider_.moreRecordsFollow())
            break;
    }
    return line;
}

ReadAll::Summary ReadAll::readAll(const ReadAllFields& fields)
{
    Summary summary;
    const int count = static_cast<int>(Val(fields.count));
    const int port = static_cast<int>(Val(fields.port));
    if (count <= 0 || running_)
        return summary;
    running_ = true;
    cancelled_ = false;
    mbus::ApplyTimeoutSettings(provider_, timeouts);
    provider_.APPInitCom(port, kReadAllBaud);
    // Without the port every address still gets its "FehlerBeimLesen" line,
    // as the day file has always had one line per address.
    if (!provider_.APPIsComOpen()) {
        summary.portOpened = false;
        summary.error = QStringLiteral("Fehler Open Com ") + QString::number(port);
    }
    for (int address = 1; address <= count; ++address) {
        if (cancelled_) {
            summary.cancelled = true;
            summary.stoppedBefore = address;
            break;
        }
        const MeterLine line = readMeter(address);
        (line.read ? summary.read : summary.failed)++;
        // The date of the moment the line is written, so a read across
        // midnight goes on in the next day's file.
        const QDate day = clock().date();
        QString error;
        if (!AppendWhole(ResultFilePath(fields.directory, day),
                         ToWin1252(FormatMeterLine(day, address, line) + QStringLiteral("\r\n")), &error)) {
            summary.written = false;
            summary.error = error;
        }
        if (progress)
            progress(address, count);
    }
    provider_.APPCloseCom();
    running_ = false;
    return summary;
}

QString SummaryText(const ReadAll::Summary& summary)
{
    QString text = QStringLiteral("%1 gelesen, %2 Fehler").arg(summary.read).arg(summary.failed);
    if (summary.cancelled)
        text += QStringLiteral(", abgebrochen vor Adr. %1").arg(summary.stoppedBefore);
    return text;
}

int StartExitCode(const ReadAll::Summary& summary, int terminationSignal)
{
    if (!summary.portOpened)
        return 4;
    if (!summary.written)
        return 5;
    if (summary.cancelled && terminationSignal > 0)
        return 128 + terminationSignal;
    return summary.read > 0 ? 0 : 1;
}

} // namespace kelvaro::readall
