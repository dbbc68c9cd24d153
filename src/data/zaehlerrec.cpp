#include "data/zaehlerrec.h"

#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "foundation/textutil.h"
#include "foundation/datafilenames.h"

#include <QSqlRecord>
#include <cmath>

namespace kelvaro {
namespace {

const QString kOneMeterSql = QStringLiteral(" SELECT  DISTINCTROW zaehler.LZNR, * ") + QStringLiteral(" from Zaehler")
    + QStringLiteral(" Where ((Zaehler.lznr = ?))") + QStringLiteral(" WITH OWNERACCESS OPTION;");

const QString kMBusMetersSql =
    QStringLiteral(" SELECT    zaehler.ZQUELLE, zaehler.LZNR, zaehler.MBAdr, zaehler.MBComP, zaehler.MBBaud, ")
    + QStringLiteral(" zaehler.ZNAME, zaehler.MBIndex, zaehler.MBZStand, zaehler.ZNr, zaehler.MB_SelectSec ")
    + QStringLiteral(" From zaehler") + QStringLiteral(" Where ((zaehler.ZQUELLE = 'M-Bus'))")
    + QStringLiteral(" Order by zaehler.MBComP, zaehler.MBAdr ");

} // namespace

void ApplyValueSource(ZaehlerRec& rec, int columnMBIndex, int columnMBZStand, double basisTarif, qint64 eingNr)
{
    const QString& q = rec.ZQuelle;
    // A missing tariff group keeps the column's slot.
    const int tariffSlot = basisTarif < 0 ? columnMBIndex : static_cast<int>(std::lround(basisTarif));
    if (q == QLatin1String("virtuell")) {
        rec.Station = -1;
        rec.Kanal = rec.LZNR;
        rec.MBIndex = 0;
    }
    if (q.startsWith('S')) {
        rec.Station = static_cast<int>(Val(q.mid(1, 4)));
        rec.Kanal = eingNr;
        rec.MBIndex = 0;
    }
    if (q == QLatin1String("M-Bus")) {
        rec.Station = -2;
        rec.Kanal = rec.LZNR;
        rec.MBIndex = columnMBIndex;
        rec.MBZStand = columnMBZStand;
    }
    if (q == QLatin1String("VBZ") || q == QLatin1String("Ausgebaut")) {
        rec.Station = -1;
        rec.Kanal = rec.LZNR;
    }
    if (q == QLatin1String("CSV Import")) {
        rec.Station = -2;
        rec.Kanal = rec.LZNR;
        rec.MBIndex = tariffSlot;
        if (rec.tarifgruppe.toUpper().contains(QLatin1String("GAS")))
            rec.MBIndex = static_cast<int>(rec.TaGemessen);
        rec.MBZStand = columnMBZStand;
    }
    if (q.contains(QLatin1String("OMS"))) {
        rec.Station = -2;
        rec.Kanal = rec.LZNR;
        rec.MBIndex = tariffSlot;
        rec.MBZStand = columnMBZStand;
    }
}

int LoadZaehlerRec(SqlConnection& database, qint64 lznr, ZaehlerRec& rec)
{
    if (!database.isOpen() && !OpenClientDatabase(database))
        return ZaehlerRecDatabaseError;
    QSqlQuery q;
    if (!database.query(q, kOneMeterSql, {lznr}))
        return ZaehlerRecDatabaseError;
    if (!q.next())
        return ZaehlerRecNotFound;
    const QSqlRecord r = q.record();
    auto text = [&](const char* name) { return r.value(QLatin1String(name)).toString(); };
    auto number = [&](const char* name) { return r.value(QLatin1String(name)).toDouble(); };
    auto integer = [&](const char* name) { return r.value(QLatin1String(name)).toLongLong(); };

    rec.LZNR = lznr;
    rec.ZNr = text("ZNr");
    rec.zaehlerplatz = text("zaehlerplatz");
    rec.ZName = text("ZName");
    rec.Impulse = number("Impulse");
    rec.faktor = number("faktor");
    rec.Offset = number("Offset");
    rec.ZQuelle = text("ZQuelle");
    rec.Tarifgrp = integer("Tarifgrp");
    rec.stufe = static_cast<int>(integer("stufe"));
    rec.lfdnr = number("lfdnr");
    rec.ztyp = text("ztyp");
    rec.EingNr = static_cast<int>(integer("EingNr"));
    rec.txtBemerkung = text("txtBemerkung");
    rec.ZOrt = text("ZOrt");
    rec.tarifgruppe = text("tarifgruppe");
    rec.MBZStand = static_cast<int>(integer("MBZStand"));
    rec.MBIndex = static_cast<int>(integer("MBIndex"));
    rec.ZStellen = static_cast<int>(integer("ZStellen"));
    rec.BulaNr = integer("BulaNr");
    rec.ZeitenNr = integer("ZeitenNr");
    rec.fmax = number("fmax");
    rec.fmin = number("fmin");
    rec.MBMin = number("MBMin");
    rec.MBMax = number("MBMax");
    rec.anl = static_cast<int>(integer("anl"));
    rec.TaGemessen = integer("TaGemessen");
    rec.TgAnfang = integer("TgAnfang");

    const bool needsTariff = rec.ZQuelle == QLatin1String("CSV Import") || rec.ZQuelle.contains(QLatin1String("OMS"));
    const double basisTarif = needsTariff ? TaGrpBasisTarif(database, rec.Tarifgrp) : -1;
    ApplyValueSource(rec, rec.MBIndex, rec.MBZStand, basisTarif, integer("EINGNR"));

    if (rec.Station >= 0 && rec.ZQuelle.startsWith('S'))
        rec.DatFile = StationFileName(DatenPath, rec.Station, rec.Kanal);
    else
        rec.DatFile = DataFileName(DBPATH, rec.Kanal, rec.MBIndex, rec.Station, rec.MBIndex);
    rec.MdbFile = MeterDatabaseFile(DBPATH, rec.LZNR);
    return ZaehlerRecLoaded;
}

bool LoadMBusMeterTable(SqlConnection& db, QList<QVariantList>& table)
{
    table.clear();
    QSqlQuery q;
    const bool ok = db.query(q, kMBusMetersSql);
    while (ok && q.next()) {
        QVariantList row{QVariant()};
        for (int column = 1; column <= 9; ++column)
            row << q.value(column);
        table << row;
    }
    return ok;
}

bool LoadMBusMeterTable(QList<QVariantList>& table)
{
    table.clear();
    SqlConnection& db = DAODatabase();
    if (!OpenClientDatabase(db))
        return false;
    const bool ok = LoadMBusMeterTable(db, table);
    db.close();
    return ok;
}

} // namespace kelvaro
