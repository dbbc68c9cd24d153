#include "testbench/secondarysearch.h"

#include "foundation/textutil.h"
#include "mbus/frame.h"
#include "mbus/wire/meterreading.h"
#include "mbus/wire/nativeprovider.h"

#include <QElapsedTimer>

namespace kelvaro::testbench {

const int SecondarySearch::kBaudRates[kBaudBoxes] = {9600, 4800, 2400, 1200, 600, 300};

void MB_GetSuchstring(QString& mask, int position, QChar digit)
{
    const int index = 8 - position;
    if (index >= 0 && index < mask.size())
        mask[index] = digit;
}

QString StartMask(int leadingZeros)
{
    const int zeros = std::clamp(leadingZeros, 0, 8);
    return QString(zeros, '0') + QString(8 - zeros, 'f');
}

double SearchTreeProgress(const QString& mask, int leadingZeros)
{
    double done = 0;
    double share = 1;
    for (int i = std::clamp(leadingZeros, 0, 8); i < mask.size() && mask[i].isDigit(); ++i) {
        share /= 10;
        done += (9 - mask[i].digitValue()) * share;
    }
    return done;
}

QString LineLostText(mbus::NativeProvider& provider, const QString& where)
{
    const QString reason = provider.port().lineLostText();
    return QStringLiteral("Leitung verloren bei ") + where
        + (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')'));
}

int MBRac_SucheSekAdr(mbus::NativeProvider& provider, const QString& mask)
{
    // The same exchange as a reading by secondary address, with the search's codes.
    switch (mbus::ReadBySecondaryAddress(provider, mask, mbus::SecondaryRequest::Probe)) {
    case mbus::SecondaryOutcome::NobodyAnswered: return 0;
    case mbus::SecondaryOutcome::SeveralOrGarbled: return 1;
    case mbus::SecondaryOutcome::Read: return 2;
    case mbus::SecondaryOutcome::NoResponse: break;
    }
    return 3; // selected, no usable answer
}

void SecondarySearch::MBRac_SucheSekAdrAlle(mbus::NativeProvider& provider, QString mask, int position, int baud)
{
    for (int d = 9; d >= 0; --d) {
        MB_GetSuchstring(mask, position, QChar('0' + d));
        emit maskChanged(mask);
        const int r = MBRac_SucheSekAdr(provider, mask);
        ++selectionsSent;
        if (provider.port().isLineLost()) {
            lineLostAt = mask;
            stop = true;
            break;
        }
        // A stop breaks the running exchange: its outcome is not acted on.
        if (stop)
            break;
        if (r == 1 && position > 1) {
            MBRac_SucheSekAdrAlle(provider, mask, position - 1, baud);
        } else if (r == 2) {
            lastTelegram = mbus::MB_TelegrammAnzeigen(provider);
            MBRacZaehlerInListeEintragen(provider, baud, mbus::kAddressSelected);
        }
        if (stop)
            break;
    }
}

void SecondarySearch::MBRacZaehlerInListeEintragen(mbus::NativeProvider& provider, int baud, int primaryAddress)
{
    const QString id = provider.APPDeviceIDDec();
    for (QStringList& row : found) {
        if (row.value(1) == id) {
            row[6] += ';' + QString::number(baud);
            emit meterFound(row);
            return;
        }
    }
    const QStringList row{QString::number(primaryAddress),
                          id,
                          provider.APPManufacturerIDAsc(),
                          QString::number(provider.APPGenerationNo()),
                          provider.APPMediumAsc(),
                          QString::number(provider.APPDataRecordNumber()),
                          QString::number(baud),
                          QString::number(provider.APPManufacturerID())};
    found << row;
    ++count;
    resultLabel = QString::number(count) + QStringLiteral(" Zähler gefunden");
    emit meterFound(row);
    emit resultChanged(resultLabel);
}

int SecondarySearch::run(mbus::NativeProvider& provider, int port, const QList<int>& bauds, int leadingZeros)
{
    found.clear();
    resultLabel.clear();
    count = 0;
    selectionsSent = 0;
    stop = false;
    lineLostAt.clear();
    QElapsedTimer clock;
    clock.start();
    const QString mask = StartMask(leadingZeros);
    for (int baud : bauds) {
        emit baudChanged(baud);
        provider.APPInitCom(port, baud);
        if (provider.APPIsComOpen())
            MBRac_SucheSekAdrAlle(provider, mask, 8 - std::clamp(leadingZeros, 0, 7), baud);
        if (stop)
            break;
    }
    if (resultLabel.isEmpty())
        resultLabel = QStringLiteral("0 Zähler gefunden ");
    resultLabel += QStringLiteral(" in ") + GermanNumber(clock.elapsed() / 1000.0, 1) + QStringLiteral(" Sekunden");
    if (!lineLostAt.isEmpty())
        resultLabel += QStringLiteral(". ") + LineLostText(provider, QStringLiteral("Maske ") + lineLostAt);
    emit resultChanged(resultLabel);
    return count;
}

} // namespace kelvaro::testbench
