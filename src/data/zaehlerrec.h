#pragma once
#include <QList>
#include <QString>
#include <QVariantList>

namespace kelvaro {

class SqlConnection;

// The master data of one meter as the storage code needs it (table "zaehler"),
// with its value source, value slot and data file.
struct ZaehlerRec {
    qint64 LZNR = 0;
    QString ZNr;
    QString zaehlerplatz;
    QString ZName;
    double Impulse = 0;
    double faktor = 0;
    double Offset = 0;
    QString ZQuelle;
    int Station = 0;  // -1 virtual/VBZ/removed, -2 M-Bus/CSV/OMS, else the station number
    qint64 Kanal = 0; // meter key, or the input number on a station
    qint64 Tarifgrp = 0;
    int stufe = 0;
    double lfdnr = 0;
    QString ztyp;
    int EingNr = 0;
    QString txtBemerkung;
    QString ZOrt;
    QString DatFile;
    QString MdbFile;
    QString tarifgruppe;
    int MBZStand = 0;
    int MBIndex = 0; // value slot
    qint64 DatAnfang = 0; // first and last time of DatFile; the storage fills them (RB6FileTimes)
    qint64 DatEnde = 0;
    int ZStellen = 0;
    qint64 BulaNr = 0;
    qint64 ZeitenNr = 0;
    double fmax = 0;
    double fmin = 0;
    double MBMin = 0;
    double MBMax = 0;
    int anl = 0;
    qint64 TaGemessen = 0;
    qint64 TgAnfang = 0;
};

enum LoadZaehlerRecResult { ZaehlerRecLoaded = 0, ZaehlerRecNotFound = -1, ZaehlerRecDatabaseError = -2 };

// Loads one meter. The database is the client's file database; it is opened
// (DBPATH + "basis.mdb") when not open yet. 0 found, -1 no such key, -2 the
// database could not be opened or read (last-error text set).
int LoadZaehlerRec(SqlConnection& database, qint64 lznr, ZaehlerRec& rec);

// The rules that derive Station, Kanal, MBIndex and MBZStand from the source
// text; `columnMBIndex`/`columnMBZStand` are the column values, `basisTarif`
// the base tariff of the meter's group (-1 when missing), `eingNr` column EINGNR.
void ApplyValueSource(ZaehlerRec& rec, int columnMBIndex, int columnMBZStand, double basisTarif, qint64 eingNr);

// All M-Bus meters of the client file database, ordered by port and primary
// address. Each row holds columns 1 to 9: LZNR, MBAdr, MBComP, MBBaud, ZNAME,
// MBIndex, MBZStand, ZNr, MB_SelectSec (column 0 stays empty). No meters: an
// empty table. False when the database cannot be read.
bool LoadMBusMeterTable(QList<QVariantList>& table);
// The same on an open connection, which stays open.
bool LoadMBusMeterTable(SqlConnection& db, QList<QVariantList>& table);

} // namespace kelvaro
