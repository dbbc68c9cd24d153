#include "master/manualreading.h"

#include "data/dbconnection.h"
#include "data/indexlist.h"
#include "foundation/lasterror.h"
#include "foundation/textutil.h"
#include "master/logview.h"
#include "master/meterstoring.h"
#include "master/metertablemodel.h"
#include "master/stationsettings.h"
#include "mbus/frame.h"
#include "mbus/wire/eventwait.h"
#include "mbus/wire/meterreading.h"
#include "mbus/wire/nativeprovider.h"
#include "storage/mbuslog.h"

namespace kelvaro::master {

ManualReading::ManualReading(MeterTableModel& meters, LogView& log, mbus::BusPort& comm1, QObject* parent)
    : QObject(parent)
    , meters_(meters)
    , log_(log)
    , comm1_(comm1)
{
    indexGrid.setHeaders({"(Prim) Index", "Wert", "Art", "Mom"});
}

ManualReading::~ManualReading() = default;

void ManualReading::abort()
{
    if (provider_)
        provider_->APPCloseCom();
    comm1_.close();
}

void ManualReading::showValues(int number)
{
    const MeterRecord& meter = meters_.meter(number);
    indexGrid.setRowCount(0);
    for (int k = 1; k <= meter.ValueCount; ++k)
        indexGrid.appendRow({QStringLiteral("(%1) %2").arg(meter.PrimAdr).arg(k), GermanNumber(meter.ValueTable[k].value),
                             meter.ValueTable[k].measurementText.trimmed(), meter.ValueTable[k].unitText.trimmed()});
}

ManualReadResult ManualReading::readIntoIndexList(int number, const StationSettings& settings, int port)
{
    indexGrid.setRowCount(0);
    QString error;
    provider_ = mbus::LoadMBusPovider(settings.providerKind, settings.ports, &error);
    if (!error.isEmpty())
        emit message(error);
    MeterRecord& meter = meters_.record(number);
    const ManualReadResult result = MB_ReadPrimAdr(meter.PrimAdr, meter, settings.timeouts, port);
    // The line is given back as soon as the reading is over.
    provider_.reset();
    if (result == ManualReadResult::Read)
        showValues(number);
    return result;
}

ManualReadResult ManualReading::MB_ReadPrimAdr(int address, MeterRecord& meter, const mbus::TimeoutSettings& timeouts,
                                               int port)
{
    if (!provider_)
        return ManualReadResult::NoProvider;
    return MB_ReadPrimAdrRac(address, meter, timeouts, port);
}

ManualReadResult ManualReading::MB_ReadPrimAdrRac(int address, MeterRecord& meter,
                                                  const mbus::TimeoutSettings& timeouts, int port)
{
    mbus::NativeProvider& p = *provider_;
    indexGrid.setRowCount(0);
    mbus::ApplyTimeoutSettings(p, timeouts);
    log_.add(QStringLiteral("Öffne Com"));
    p.APPInitCom(meter.MBComP ? meter.MBComP : port, meter.MBBaud);
    if (!p.APPIsComOpen()) {
        log_.add(QStringLiteral("Fehler open Com"));
        return ManualReadResult::PortNotOpen;
    }
    log_.add(QStringLiteral("Send NKE ") + QString::number(address));
    mbus::PauseWithEvents(10);
    if (address == mbus::kAddressSelected) {
        // A mask would read whichever meter matches it.
        if (!mbus::IsSecondaryAddress(meter.MB_ID)) {
            log_.add(QStringLiteral("Keine gültige Sekundäradresse: ") + meter.MB_ID.trimmed());
            p.APPCloseCom();
            return ManualReadResult::SelectionFailed;
        }
        if (mbus::ReadBySecondaryAddress(p, meter.MB_ID.trimmed()) != mbus::SecondaryOutcome::Read) {
            p.APPCloseCom();
            return ManualReadResult::SelectionFailed;
        }
    } else {
        p.APPSNDNKE(address);
        if (p.APPReceiveTest() > 4) {
            p.APPCloseCom();
            return ManualReadResult::NoAcknowledge;
        }
        log_.add(QStringLiteral("Send REQUD2 ") + QString::number(address));
        p.APPREQUD2(address);
    }
    if (p.APPReceiveTest() != 3) {
        p.APPCloseCom();
        log_.add(QStringLiteral("Antwort False  ") + QString::number(p.APPReceiveError()));
        return ManualReadResult::NoAnswer;
    }
    log_.add(QStringLiteral("Antwort OK  "));
    const int n = std::min(p.APPDataRecordNumber(), mbus::kMaxValueRecords);
    meter.ValueCount = static_cast<quint8>(n);
    for (int k = 1; k <= n; ++k) {
        mbus::ValueEntry& e = meter.ValueTable[k];
        e.value = ToDouble(p.APPValueDec(k));
        e.measurementText = mbus::FixedText15('(' + p.APPFunctionFieldAsc(k) + ") " + p.APPVIBAsc(k));
        e.unitText = mbus::FixedText15(p.APPVIBUnitAsc(k));
    }
    return ManualReadResult::Read;
}

bool ManualReading::readLikeTheCycle(int number, const StationSettings& settings)
{
    QString error;
    provider_ = mbus::LoadMBusPovider(mbus::ProviderOleV2, settings.ports, &error);
    if (!error.isEmpty())
        emit message(error);
    MeterRecord& meter = meters_.record(number);
    bool read = false;
    if (provider_) {
        mbus::ApplyTimeoutSettings(*provider_, settings.timeouts);
        read = mbus::ReadMeter(comm1_, *provider_, meter) == mbus::MeterReadOutcome::TakenOver;
    }
    provider_.reset();
    log_.add((read ? QStringLiteral("Lesen Ok Adr ") : QStringLiteral("Fehler Adr ")) + PrimAdrText(meter));
    return read;
}

bool ManualReading::saveIndexList(int number, int port)
{
    MeterRecord& meter = meters_.record(number);
    QList<IndexListValue> values = IndexListValues(meter);
    const int saved = SaveIndexList(meter.LZNR, values);
    if (saved < 0) {
        WriteMBusLogLine(QStringLiteral("Fehler beim speichern der Indexliste lznr=%1 Com=%2 PrimAdr=%3 rc=%4")
                             .arg(meter.LZNR)
                             .arg(port)
                             .arg(meter.PrimAdr)
                             .arg(LastErrorText()));
        log_.add(QStringLiteral("Fehler speichen MBIndexListe l=") + QString::number(meter.LZNR));
    } else {
        meter.IndexCount = static_cast<qint16>(saved);
        log_.add(QStringLiteral("Speichen MBIndexListe lznr=%1 Anz=%2").arg(meter.LZNR).arg(saved));
    }
    DBConnection().close();
    return saved >= 0;
}

} // namespace kelvaro::master
