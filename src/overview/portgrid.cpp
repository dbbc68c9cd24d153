#include "overview/portgrid.h"

#include "data/dbconnection.h"
#include "foundation/textutil.h"

#include <QSqlQuery>
#include <cmath>

namespace kelvaro::overview {

int MB_ComPortGetAnz(SqlConnection& db, const CycleTimes& times, QList<PortRow>& rows)
{
    rows.clear();
    QSqlQuery ports(db.database());
    if (!db.query(ports, QStringLiteral(" SELECT    zaehler.MBComP, Count(zaehler.MBComP) AS [Anzahl von MBComP]"
                                        " From zaehler"
                                        " GROUP BY zaehler.MBComP"
                                        " Having ((zaehler.MBComP Is Not Null))"
                                        " ORDER BY zaehler.MBComP")))
        return -1;
    while (ports.next()) {
        PortRow row;
        row.port = ports.value(0).toInt();
        row.meters = ports.value(1).toInt();
        rows << row;
    }
    for (PortRow& row : rows) {
        QSqlQuery groups(db.database());
        if (!db.query(groups,
                      QStringLiteral(" SELECT    zaehler.MBComP, zaehler.MBBaud, Count(zaehler.MBBaud) AS [Anzahl von MBBaud]"
                                     " From zaehler"
                                     " GROUP BY zaehler.MBComP, zaehler.MBBaud"
                                     " Having ((zaehler.MBComP = ?) And (zaehler.MBBaud Is Not Null))"),
                      {row.port}))
            return -1;
        while (groups.next()) {
            const int baud = groups.value(1).toInt();
            const int count = groups.value(2).toInt();
            for (size_t i = 0; i < kOverviewBauds.size(); ++i) {
                if (kOverviewBauds[i] != baud)
                    continue;
                row.perBaud[i] = count;
                row.cycleSeconds += times.perBaudGroup[i] + count * times.perMeter;
                row.hasCycleTime = true;
            }
        }
    }
    return static_cast<int>(rows.size());
}

QStringList PortGridHeaders()
{
    return {QStringLiteral("Com"),       QStringLiteral("Anz Zähler"), QStringLiteral("300 Baud"),
            QStringLiteral("1200 Baud"), QStringLiteral("2400 Baud"),  QStringLiteral("4800 Baud"),
            QStringLiteral("9600 Baud"), QStringLiteral("Zyk.Zeit [s]"), QStringLiteral("Status")};
}

QStringList PortRowCells(const PortRow& row)
{
    QStringList cells{QString::number(row.port), QString::number(row.meters)};
    for (const int count : row.perBaud)
        cells << (count > 0 ? QString::number(count) : QString());
    // Rounded first, so that sums like 0.27 + 2 * 0.24 show as written.
    cells << (row.hasCycleTime ? GermanNumber(std::round(row.cycleSeconds * 1e6) / 1e6) : QString());
    cells << QString();
    return cells;
}

} // namespace kelvaro::overview
