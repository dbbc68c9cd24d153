#pragma once
#include <QList>
#include <QString>
#include <QStringList>

namespace kelvaro {
class SqlConnection;
}

namespace kelvaro::testbench {

// "&Import Liste in DB": the found-meter list (rows of ten cells, see
// foundmeterlist.h) becomes meters of the port in the meter table "zaehler".
//
// For each row with a primary address (cell 0, a number) and an identification
// (cell 1): the meter is the port's M-Bus meter with "ZNr" = identification,
// else the one with "MBAdr" = the address, else a new meter with the next free
// LZNR (largest + 1). Written from the row every time:
//   ZQUELLE "M-Bus", MBComP port, ZNr and MB_ID identification, MBAdr address,
//   MBBaud the first baud rate of the baud cell (before the first ";"),
//   Hersteller cell 2, MB_Version cell 3, MB_Medium cell 4,
//   ZName identification + "_" + manufacturer (cell 2).
// Set only where the column is empty (NULL), so values already set stay:
//   faktor 1, Impulse 1, Offset 0, ZTyp "EVZ-Zähler", ZStellen 7, Stufe 1,
//   MBIndex 1, MBZStand 0, TarifGruppe "Strom", TarifGrp 1, Tarif "5;", Feld "E".
// The tariff group a meter ends up with is created in "tagrp" when missing
// (group 1 as "Strom"), because the master's meter list joins it.
//
// Each row is one transaction: a database error ends the import with a
// message, rows imported before it stay.

struct ListImportResult {
    bool ok = false;     // false: port 0 or a database error
    int added = 0;
    int updated = 0;
    int skipped = 0;     // rows without a primary address or identification
    QString message;     // text for a message box; empty when there is nothing to show
};

// The port of the import: PortFromTestFileName(testFileName) when that is not
// 0, else `portField`.
int ListImportPort(const QString& testFileName, int portField);

ListImportResult ImportListIntoDatabase(SqlConnection& db, int port, const QList<QStringList>& rows);

} // namespace kelvaro::testbench
