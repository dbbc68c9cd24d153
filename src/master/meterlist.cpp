#include "master/meterlist.h"

#include "data/dbconnection.h"
#include "master/metertablemodel.h"

#include <QSqlQuery>

namespace kelvaro::master {
namespace {

const QString kMeterQuery = QStringLiteral(
    " SELECT zaehler.LZNR, zaehler.STUFE, zaehler.ZQUELLE, zaehler.TARIFGRUPPE, zaehler.ZNR, "
    " zaehler.ZNAME, zaehler.FAKTOR, zaehler.IMPULSE, zaehler.OFFSET, zaehler.MBComP, zaehler.MB_ID, "
    " zaehler.MBAdr, zaehler.MBBaud, zaehler.MBIndex, tagrp.TAGRP_NAME, tagrp.BasisTarif, zaehler.MB_SelectSec, zaehler.zname "
    " FROM zaehler INNER JOIN tagrp ON zaehler.TARIFGRP = tagrp.TAGRP_NR "
    " Where ((zaehler.Stufe > 0) And (zaehler.ZQuelle = 'M-Bus') And (zaehler.MBComP = ?))"
    " ORDER BY Zaehler.MBBaud desc, Zaehler.MBAdr");

const QString kIndexListQuery = QStringLiteral(
    " SELECT MB_IndexListe.LZNR, MB_IndexListe.MBIndex, MB_IndexListe.Art, "
    " MB_IndexListe.Einheit, MB_IndexListe.Speichern, MB_IndexListe.Anzeigen, "
    " MB_IndexListe.Faktor, MB_IndexListe.Farbe, MB_IndexListe.MBTyp, MB_IndexListe.TarifNr, "
    " MB_IndexListe.Reihenfolge "
    " FROM zaehler INNER JOIN MB_INDEXLISTE ON zaehler.LZNR = MB_INDEXLISTE.LZNR"
    " Where ((MB_IndexListe.lznr = ?))");

QString text(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }

void loadIndexList(SqlConnection& db, MeterRecord& meter, const std::function<void(const QString&)>& log)
{
    QSqlQuery q;
    int rows = 0;
    if (db.query(q, kIndexListQuery, {meter.LZNR})) {
        while (q.next()) {
            ++rows;
            const int index = q.value(QStringLiteral("MBIndex")).toInt();
            if (index < 0 || index > mbus::kMaxValueRecords)
                continue;
            meter.ValueTable[index].storeFlag = q.value(QStringLiteral("Speichern")).toBool() ? 255 : 0;
            meter.ValueTable[index].typeCode = q.value(QStringLiteral("MBTyp")).toInt();
        }
    }
    if (rows == 0)
        log(QStringLiteral("Für lznr %1 Index %2 keine Indexliste ").arg(meter.LZNR).arg(meter.MBIndex));
    meter.IndexCount = static_cast<qint16>(rows);
}

} // namespace

int BM_ZaehlerlisteLadenComPort(SqlConnection& db, int port, const MeterListTarget& t)
{
    if (port == 0) {
        t.message(QStringLiteral("Kein Comport anngegeben"));
        return 0;
    }
    QSqlQuery q;
    QList<MeterRecord> loaded;
    bool tooMany = false;
    if (db.query(q, kMeterQuery, {port})) {
        while (q.next()) {
            if (loaded.size() == kMaxPortMeters) {
                tooMany = true;
                break;
            }
            MeterRecord m;
            m.MB_ID = text(q.value(QStringLiteral("MB_ID")));
            const QVariant address = q.value(QStringLiteral("MBAdr"));
            // An address beyond a byte is no address at all, not the byte it wraps to.
            bool isNumber = false;
            const int primary = address.toInt(&isNumber);
            m.hasPrimAdr = !address.isNull() && isNumber && primary >= 0 && primary <= 255;
            m.PrimAdr = m.hasPrimAdr ? static_cast<quint8>(primary) : 0;
            m.MBBaud = q.value(QStringLiteral("MBBaud")).toInt();
            m.LZNR = q.value(QStringLiteral("LZNR")).toInt();
            m.MBIndex = q.value(QStringLiteral("MBIndex")).toInt();
            const QVariant basis = q.value(QStringLiteral("BasisTarif"));
            if (!basis.isNull())
                m.BasisTarif = static_cast<quint8>(basis.toInt());
            m.MB_SelectSec = text(q.value(QStringLiteral("MB_SelectSec")));
            m.MBComP = static_cast<quint8>(q.value(QStringLiteral("MBComP")).toInt());
            m.Zname = text(q.value(QStringLiteral("zname")));
            m.tariffGroupName = text(q.value(QStringLiteral("TAGRP_NAME")));
            loaded << m;
        }
    }
    if (loaded.isEmpty()) {
        t.log(QStringLiteral("Fehler keine Zähler.  ComPort = ") + QString::number(port));
        return 0;
    }

    const int count = static_cast<int>(loaded.size());
    t.log(QStringLiteral("Lade Zählerliste. Anz = ") + QString::number(count));
    QStringList chooser;
    for (const MeterRecord& m : loaded)
        chooser << QStringLiteral("%1;%2;%3").arg(PrimAdrText(m), m.MB_ID).arg(m.BasisTarif);
    t.log(QStringLiteral("Geladene Zähler. Anz = ") + QString::number(count));
    if (tooMany)
        t.log(QStringLiteral("Mehr als %1 Zähler an Com%2: die weiteren werden nicht gelesen").arg(kMaxPortMeters).arg(port));
    for (MeterRecord& m : loaded)
        loadIndexList(db, m, t.log);
    t.meters.setMeters(loaded);
    t.meters.setChooserItems(chooser);
    return count;
}

int GetComPort(SqlConnection& db)
{
    QSqlQuery q;
    if (!db.query(q, QStringLiteral(" SELECT zaehler.ZQUELLE, zaehler.MBComP") + QStringLiteral(" From Zaehler")
                         + QStringLiteral(" WHERE (((zaehler.ZQUELLE)='M-Bus'));"))
        || !q.next())
        return 0;
    return q.value(QStringLiteral("MBComP")).toInt();
}

} // namespace kelvaro::master
