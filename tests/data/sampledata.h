#pragma once
// A small installation: tariff groups, tariffs, meters on two ports, index lists.
#include "data/dbconnection.h"
#include "foundation/lasterror.h"

#include <gtest/gtest.h>

namespace kelvaro::test {

struct SampleMeter {
    int lznr;
    const char* source;
    int stufe;
    int port;
    int address;
    int baud;
    const char* name;
};

inline const SampleMeter kSampleMeters[] = {
    {1, "M-Bus", 1, 1, 5, 2400, "Wärme A"},
    {2, "M-Bus", 1, 1, 3, 9600, "Wärme B"},
    {3, "M-Bus", 0, 1, 7, 2400, "Abgeschaltet"}, // level 0: listed, never read by the master
    {4, "M-Bus", 2, 2, 1, 2400, "Port 2"},
    {5, "virtuell", 1, 0, 0, 0, "Summe"},
};

inline void InsertSampleData(SqlConnection& c)
{
    ASSERT_TRUE(c.exec("INSERT INTO tagrp (TAGRP_NR, TAGRP_NAME, BasisTarif) VALUES (1, 'Strom', 1), (2, 'GAS', 4)"))
        << LastErrorText().toStdString();
    ASSERT_TRUE(c.exec("INSERT INTO ta (TA_NR, TA_BEZ, Ta_Reihenfolge) VALUES (1, 'HT', 2), (2, 'NT', 1)"));
    for (const SampleMeter& m : kSampleMeters) {
        ASSERT_TRUE(c.exec("INSERT INTO zaehler (LZNR, ZQuelle, stufe, MBComP, MBAdr, MBBaud, ZName, ZNr, Tarifgrp, "
                           "tarifgruppe, MBIndex, MBZStand, MB_SelectSec) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 1, 'Strom', "
                           "1, 0, NULL)",
                           {m.lznr, QString::fromUtf8(m.source), m.stufe, m.port == 0 ? QVariant() : QVariant(m.port),
                            m.address == 0 ? QVariant() : QVariant(m.address), m.baud, QString::fromUtf8(m.name),
                            QStringLiteral("1000%1").arg(m.lznr)}))
            << LastErrorText().toStdString();
    }
    ASSERT_TRUE(c.exec("INSERT INTO tazuordnung (zlznr, zta, MBusIndex) VALUES (1, 1, 3), (1, 2, 4)"));
    for (int index : {3, 1, 2})
        ASSERT_TRUE(c.exec("INSERT INTO MB_IndexListe (Lznr, MBIndex, [Index], Art, Einheit, Faktor, MBTyp, Typ, "
                           "Speichern, Anzeigen) VALUES (1, ?, ?, 'Energie', 'kWh', 1, 0, 0, True, False)",
                           {index, index}));
    ASSERT_TRUE(c.exec("INSERT INTO MB_IndexListe (Lznr, MBIndex, Art) VALUES (2, 1, 'Volumen')"));
    ASSERT_TRUE(c.exec("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (1, 1, 'Energie')"));
}

} // namespace kelvaro::test
