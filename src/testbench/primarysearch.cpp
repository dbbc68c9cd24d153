#include "testbench/primarysearch.h"

#include "foundation/textutil.h"
#include "mbus/wire/nativeprovider.h"
#include "testbench/addresswalk.h"
#include "testbench/secondarysearch.h"

#include <QElapsedTimer>

namespace kelvaro::testbench {
namespace {
QString seconds(qint64 ms) { return GermanNumber(ms / 1000.0, 1); }
} // namespace

const QStringList& PrimarySearch::foundHeaders()
{
    static const QStringList headers{"Pri", "ID", "Herst.", "Vers.", "Medium", "AnzDat.", "Baudrate", "ID Long",
                                     "Medium Long", "Herst.Int"};
    return headers;
}

PrimarySearch::PrimarySearch() { reset(); }

void PrimarySearch::reset()
{
    for (QStringList& row : found) {
        row.clear();
        for (int i = 0; i < foundHeaders().size(); ++i)
            row << QString();
    }
    results = {};
    results.headers = {QStringLiteral("Prim/[Index]"), QStringLiteral("Medium"), QStringLiteral("Meßart"),
                       QStringLiteral("Wert"), QStringLiteral("Einh.")};
}

int PrimarySearch::M_Bus_SuchenVonBisRac(mbus::NativeProvider& provider, int port, int baud, int from, int to,
                                         int statusIndex, const mbus::TimeoutSettings& timeouts)
{
    lineLostAt = -1;
    const QString notOpen = OpenLineForRun(provider, port, baud, timeouts);
    if (!notOpen.isEmpty()) {
        emit messageRaised(notOpen);
        return 0;
    }
    results.headers[0] = QStringLiteral("Prim/[Index]");
    QElapsedTimer clock;
    clock.start();
    const auto status = [&](const QString& text) {
        if (statusIndex >= 0 && statusIndex < int(statusLabels.size()))
            statusLabels[statusIndex] = text;
        emit statusChanged(statusIndex, text);
    };

    int count = 0;
    AddressWalkSteps steps;
    steps.stopRequested = [this] { return stopSearch || stopSpeedTest; };
    steps.asking = [&](int a) {
        found[a][0] = QString::number(a);
        emit addressTried(a);
        status(QStringLiteral("Suche Adr.: %1 [Sec= %2]").arg(a).arg(seconds(clock.elapsed())));
        elapsedLabel = seconds(clock.elapsed());
        emit elapsedChanged(elapsedLabel);
    };
    steps.answered = [&](int a, bool answered) {
        if (!answered)
            return !exchangeBroken;
        ++count;
        QStringList& row = found[a];
        row[1] = provider.APPDeviceIDDec();
        row[2] = provider.APPManufacturerIDAsc();
        row[3] = QString::number(provider.APPGenerationNo());
        row[4] = provider.APPMediumAsc();
        row[5] = QString::number(provider.APPTransmissionCount());
        row[6] += QString::number(baud) + ';';
        row[8] = QString::number(provider.APPMedium());
        row[9] = QString::number(provider.APPManufacturerID());
        for (int r = 1; r <= provider.APPDataRecordNumber(); ++r)
            results.rows << QStringList{QStringLiteral("%1 [%2]").arg(a).arg(r), provider.APPMediumAsc(),
                                        provider.APPDataFieldAsc(r),
                                        GermanNumber(ToDouble(provider.APPValueDec(r))),
                                        QString::number(provider.APPUnitNo(r))};
        emit meterFound(a);
        return true;
    };
    const AddressWalkEnd end = WalkAddresses(provider, from, to, steps);
    lineLostAt = end.lineLostAt;
    const int stoppedAt = end.stoppedAt;
    provider.APPCloseCom();
    const QString secs = seconds(clock.elapsed());
    if (lineLost()) {
        status(QStringLiteral("%1 Zähler gefunden, Leitung verloren bei Adr. %2").arg(count).arg(lineLostAt));
        elapsedLabel = QStringLiteral("%1 Zähler in %2 sec. gefunden. ").arg(count).arg(secs)
            + LineLostText(provider, QStringLiteral("Adr. ") + QString::number(lineLostAt));
        emit elapsedChanged(elapsedLabel);
        return count;
    }
    status(QStringLiteral("%1 Zähler gefunden in %2sec").arg(count).arg(secs));
    elapsedLabel = stoppedAt >= 0
        ? QStringLiteral("%1 Zähler in %2 sec. gefunden. Suche abgebrochen bei Adr. %3").arg(count).arg(secs).arg(stoppedAt)
        : QStringLiteral("%1 Zähler in %2 sec. gefunden. ").arg(count).arg(secs);
    emit elapsedChanged(elapsedLabel);
    return count;
}

} // namespace kelvaro::testbench
