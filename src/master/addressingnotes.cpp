#include "master/addressingnotes.h"

namespace kelvaro::master {
namespace {

QString meterName(const MeterRecord& meter)
{
    return QStringLiteral("Zähler %1 (lznr %2)").arg(meter.Zname.trimmed()).arg(meter.LZNR);
}

QString whatIdIsMissing(const MeterRecord& meter)
{
    const QString id = meter.MB_ID.trimmed();
    return id.isEmpty() ? QStringLiteral(" ohne Sekundäradresse")
                        : QStringLiteral(" mit ungültiger Sekundäradresse \"%1\"").arg(id);
}

} // namespace

QString AddressingNote(const MeterRecord& meter, mbus::MeterAddressing addressing)
{
    switch (addressing) {
    case mbus::MeterAddressing::Primary:
        return meterName(meter) + whatIdIsMissing(meter)
            + QStringLiteral(", gelesen über Primäradresse %1").arg(meter.PrimAdr);
    case mbus::MeterAddressing::None:
        return meterName(meter) + whatIdIsMissing(meter)
            + QStringLiteral(" und ohne gültige Primäradresse (0 bis 250): nicht gelesen");
    case mbus::MeterAddressing::StoredFrame:
    case mbus::MeterAddressing::Secondary: break;
    }
    return {};
}

QString OtherMeterNote(const MeterRecord& meter, const QString& replyId)
{
    return meterName(meter) + QStringLiteral(": Antwort von Zähler %1 statt %2, Werte nicht gespeichert")
                                  .arg(replyId, meter.MB_ID.trimmed());
}

} // namespace kelvaro::master
