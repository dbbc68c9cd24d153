#include "mbus/wire/meterreading.h"

#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/directframes.h"
#include "mbus/wire/nativeprovider.h"

#include <QElapsedTimer>

#include <algorithm>

namespace kelvaro::mbus {

QString SecondaryMask(const QString& address)
{
    return (QStringLiteral("ffffffff") + address).right(8);
}

namespace {

SecondaryOutcome selectMeter(NativeProvider& provider, const QString& mask)
{
    provider.APPSelect(0, mask, {}, {}, {});
    switch (provider.APPReceiveError()) {
    case 0: return SecondaryOutcome::Read;
    case ErrTimeout: return SecondaryOutcome::NobodyAnswered;
    default: return SecondaryOutcome::SeveralOrGarbled;
    }
}

// SND_NKE, then REQ_UD2 at the primary address, as the test bench reads; a
// meter that does not acknowledge the reset is not asked for data.
void readByPrimaryAddress(NativeProvider& provider, int address)
{
    provider.APPSNDNKE(address);
    if (provider.APPReceiveTest() > 4)
        return;
    provider.APPREQUD2(address);
}

bool isDecimalDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

} // namespace

bool IsSecondaryAddress(const QString& id)
{
    const QString digits = id.trimmed();
    return digits.size() == 8 && std::all_of(digits.begin(), digits.end(), isDecimalDigit);
}

bool IsReadablePrimaryAddress(int address) { return address >= 0 && address <= 250; }

MeterAddressing AddressingOf(const MeterBusFields& meter)
{
    if (!meter.MB_SelectSec.isEmpty())
        return MeterAddressing::StoredFrame;
    if (IsSecondaryAddress(meter.MB_ID))
        return MeterAddressing::Secondary;
    if (meter.hasPrimAdr && IsReadablePrimaryAddress(meter.PrimAdr))
        return MeterAddressing::Primary;
    return MeterAddressing::None;
}

bool IdentificationMatches(const QString& configuredId, const QString& replyId)
{
    const QString configured = configuredId.trimmed().toLower();
    if (configured.isEmpty() || replyId.isEmpty())
        return true;
    if (configured.size() > 8 || replyId.size() != 8)
        return false;
    const QString mask = (QStringLiteral("ffffffff") + configured).right(8);
    for (int i = 0; i < 8; ++i) {
        const QChar m = mask[i];
        if (m == QLatin1Char('f'))
            continue;
        if (!isDecimalDigit(m) || m != replyId[i])
            return false;
    }
    return true;
}

SecondaryOutcome ReadBySecondaryAddress(NativeProvider& provider, const QString& address, SecondaryRequest request)
{
    const QString mask = SecondaryMask(address);
    if (const SecondaryOutcome selected = selectMeter(provider, mask); selected != SecondaryOutcome::Read)
        return selected;
    if (request == SecondaryRequest::Reading) {
        // A meter that does not acknowledge the reset is still asked: the
        // second selection tells whether it is there.
        provider.APPSNDNKE(kAddressSelected);
        if (const SecondaryOutcome selected = selectMeter(provider, mask); selected != SecondaryOutcome::Read)
            return selected;
    }
    provider.APPREQUD2(kAddressSelected);
    for (int pass = 0; provider.APPReceiveTest() == 255 && pass < 100; ++pass)
        provider.APPRetry();
    return provider.APPReceiveTest() == 3 ? SecondaryOutcome::Read : SecondaryOutcome::NoResponse;
}

int MB_ReadSekAdrRac(NativeProvider& provider, const QString& address, SecondaryRequest request)
{
    switch (ReadBySecondaryAddress(provider, address, request)) {
    case SecondaryOutcome::Read: return 0;
    case SecondaryOutcome::NobodyAnswered: return -1;
    case SecondaryOutcome::SeveralOrGarbled: return 1;
    case SecondaryOutcome::NoResponse: break;
    }
    return -3;
}

MeterReadOutcome ReadMeter(BusPort& serial, NativeProvider& provider, MeterBusFields& meter, qint64* readingTime)
{
    const MeterAddressing addressing = AddressingOf(meter);
    if (addressing == MeterAddressing::None)
        return MeterReadOutcome::NotAddressable;
    if (addressing != MeterAddressing::StoredFrame && provider.APPInitCom(meter.MBComP, meter.MBBaud) != 0)
        return MeterReadOutcome::PortNotOpened;
    if (addressing == MeterAddressing::Secondary) {
        ReadBySecondaryAddress(provider, meter.MB_ID.trimmed(), SecondaryRequest::Reading);
    } else if (addressing == MeterAddressing::Primary) {
        readByPrimaryAddress(provider, meter.PrimAdr);
    } else {
        // The provider only decodes on this path; it gives the line to the
        // serial control (a port opens only once at a time).
        provider.APPCloseCom();
        if (MB_ComOpen(serial, provider.portDirectory(), meter.MBComP, meter.MBBaud) != 0)
            return MeterReadOutcome::PortNotOpened;
        const QByteArray selection = HexListeToStr(meter.MB_SelectSec, QString());
        QByteArray reply;
        const DirectReadResult read = ReadWithStoredSelection(serial, selection, reply, {false, 0, 0, 0, 0.8});
        serial.close();
        if (!read.ok())
            return serial.isLineLost() ? MeterReadOutcome::LineLost : MeterReadOutcome::NoFrameOnDirectPath;
        provider.APPInterpretTelegramHex(StrToHexListe(reply, QString()));
    }
    const qint64 now = DateToSeconds(LocalNow());
    if (readingTime)
        *readingTime = now;
    if (provider.APPReceiveTest() < 4 && !IdentificationMatches(meter.MB_ID, provider.APPDeviceIDDec()))
        return MeterReadOutcome::OtherMeter;
    if (provider.APPReceiveTest() < 4)
        return MB_WerteUebernehmen(provider, meter, static_cast<qint32>(now)) == 0 ? MeterReadOutcome::TakenOver
                                                                                   : MeterReadOutcome::TakeOverFailed;
    const bool lost = provider.port().isLineLost();
    provider.APPCloseCom();
    return lost ? MeterReadOutcome::LineLost : MeterReadOutcome::ExchangeFailed;
}

int MeterReadCode(MeterReadOutcome outcome)
{
    switch (outcome) {
    case MeterReadOutcome::TakenOver: return 0;
    case MeterReadOutcome::NoFrameOnDirectPath: return -1;
    case MeterReadOutcome::ExchangeFailed: return -2;
    case MeterReadOutcome::TakeOverFailed: return -3;
    case MeterReadOutcome::PortNotOpened: return -4;
    case MeterReadOutcome::NotAddressable: return -5;
    case MeterReadOutcome::OtherMeter: return -6;
    case MeterReadOutcome::LineLost: break;
    }
    return -7;
}

int MB_ZaehlerLesen(BusPort& serial, NativeProvider& provider, MeterBusFields& meter, qint64* readingTime)
{
    return MeterReadCode(ReadMeter(serial, provider, meter, readingTime));
}

PrimaryReading M_Bus_AuslesenRac(NativeProvider& provider, int address, int port, const QString& baudText,
                                 const TimeoutSettings& timeouts)
{
    PrimaryReading result;
    ApplyTimeoutSettings(provider, timeouts);
    if (!baudText.trimmed().isEmpty())
        provider.APPInitCom(port, static_cast<int>(Val(baudText)));
    if (!provider.APPIsComOpen()) {
        result.message = QStringLiteral("Fehler Open Com ") + QString::number(port);
        provider.APPCloseCom();
        return result;
    }
    result.display.headers = {QStringLiteral("Index"), QStringLiteral("Medium"), QStringLiteral("Meßart"),
                              QStringLiteral("Wert"), QStringLiteral("Einh.")};

    provider.APPSNDNKE(address);
    if (provider.APPReceiveTest() > 4) {
        result.lastReceiveError = provider.APPReceiveError();
        return result;
    }
    int offset = 0;
    while (result.telegrams < kMaxContinuationTelegrams) {
        QElapsedTimer clock;
        clock.start();
        provider.APPREQUD2(address);
        if (provider.APPReceiveTest() != 3) {
            result.lastReceiveError = provider.APPReceiveError();
            result.display.rows << QStringList{QString::number(address) + QStringLiteral("\t Fehler : ")
                                               + MB_ReceiveErrorText(provider.APPReceiveError())};
            break;
        }
        result.replyMs << clock.elapsed();
        ++result.telegrams;
        result.header = {provider.APPManufacturerIDAsc(), QString::number(provider.APPManufacturerID()),
                         QString::number(provider.APPGenerationNo()), QString::number(provider.APPDeviceID(), 16),
                         provider.APPDeviceIDDec(), provider.APPMediumAsc()};
        const TelegramDisplay shown = MB_TelegrammAnzeigen(provider);
        result.display.rawText = shown.rawText;
        for (int r = 0; r < shown.rows.size(); ++r) {
            QStringList row = shown.rows[r];
            if (!row.isEmpty())
                row[0] = QStringLiteral("%1 [%2]").arg(provider.APPAField()).arg(offset + r + 1);
            result.display.rows << row;
        }
        // A last record with data field 15 (DIF 0F/1F) and an empty value
        // before it means: a further telegram follows.
        const int n = provider.APPDataRecordNumber();
        const bool more = provider.moreRecordsFollow()
            || (n > 0 && provider.APPDataField(n) == 15 && provider.APPValueHex(n - 1).isEmpty());
        if (!more)
            break;
        offset += std::max(0, n - 1);
    }
    provider.APPCloseCom();
    return result;
}

PrimaryReading M_Bus_Auslesen(int kind, NativeProvider* provider, int address, int port, const QString& baudText,
                              const TimeoutSettings& timeouts)
{
    if (kind == ProviderNone || !provider)
        return {};
    return M_Bus_AuslesenRac(*provider, address, port, baudText, timeouts);
}

} // namespace kelvaro::mbus
