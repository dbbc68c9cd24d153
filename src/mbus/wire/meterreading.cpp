#include "mbus/wire/meterreading.h"

#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/directframes.h"
#include "mbus/wire/nativeprovider.h"

#include <QElapsedTimer>

namespace kelvaro::mbus {

QString SecondaryMask(const QString& address)
{
    return (QStringLiteral("ffffffff") + address).right(8);
}

namespace {

// 0 selected, -1 nobody answered, 1 several or garbled.
int selectMeter(NativeProvider& provider, const QString& mask)
{
    provider.APPSelect(0, mask, {}, {}, {});
    const int e = provider.APPReceiveError();
    if (e == 1)
        return -1;
    return e == 0 ? 0 : 1;
}

} // namespace

int MB_ReadSekAdrRac(NativeProvider& provider, const QString& address, SecondaryRequest request)
{
    const QString mask = SecondaryMask(address);
    if (const int rc = selectMeter(provider, mask); rc != 0)
        return rc;
    if (request == SecondaryRequest::Reading) {
        // A meter that does not acknowledge the reset is still asked: the
        // second selection tells whether it is there.
        provider.APPSNDNKE(kAddressSelected);
        if (const int rc = selectMeter(provider, mask); rc != 0)
            return rc;
    }
    provider.APPREQUD2(kAddressSelected);
    for (int pass = 0; provider.APPReceiveTest() == 255 && pass < 100; ++pass)
        provider.APPRetry();
    return provider.APPReceiveTest() == 3 ? 0 : -3;
}

int MB_ZaehlerLesen(BusPort& serial, NativeProvider& provider, MeterBusFields& meter, qint64* readingTime)
{
    provider.APPInitCom(meter.MBComP, meter.MBBaud);
    if (meter.MB_SelectSec.isEmpty()) {
        MB_ReadSekAdrRac(provider, meter.MB_ID);
    } else {
        // The provider only decodes on this path; it gives the line to the
        // serial control (a port opens only once at a time).
        provider.APPCloseCom();
        if (MB_ComOpen(serial, provider.portDirectory(), meter.MBComP, meter.MBBaud) != 0)
            return -4;
        const QByteArray selection = HexListeToStr(meter.MB_SelectSec, QString());
        QByteArray reply;
        const int length = MB_LeseDirektSekAdr(serial, selection, reply, false, 0, 0, 0, 0.8);
        serial.close();
        if (length <= 0)
            return -1;
        provider.APPInterpretTelegramHex(StrToHexListe(reply, QString()));
    }
    const qint64 now = DateToSeconds(LocalNow());
    if (readingTime)
        *readingTime = now;
    if (provider.APPReceiveTest() < 4)
        return MB_WerteUebernehmen(provider, meter, static_cast<qint32>(now)) == 0 ? 0 : -3;
    provider.APPCloseCom();
    return -2;
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
