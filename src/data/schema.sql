-- Kelvaro client database: every table the reading station reads or writes.
-- Written for SQLite; the loader (src/data/schema.cpp) fits it to PostgreSQL,
-- where "INTEGER PRIMARY KEY AUTOINCREMENT" becomes an identity column.
-- Names are unquoted (folded to lower case on PostgreSQL) except the keyword
-- columns, which are quoted in lower case. Statements end with ";" at line end.

-- Meters (shared with the installation's other programs).
CREATE TABLE IF NOT EXISTS zaehler (
    LZNR INTEGER PRIMARY KEY AUTOINCREMENT,
    lfdnr DOUBLE PRECISION,
    ZNr VARCHAR(255),
    ZName VARCHAR(255),
    ZQuelle VARCHAR(255),
    zaehlerplatz VARCHAR(255),
    tarifgruppe VARCHAR(255),
    Tarifgrp INTEGER,
    Tarif VARCHAR(255),
    Feld VARCHAR(255),
    stufe SMALLINT,
    ztyp VARCHAR(255),
    faktor DOUBLE PRECISION,
    Impulse DOUBLE PRECISION,
    "offset" DOUBLE PRECISION,
    ZStellen SMALLINT,
    BulaNr INTEGER,
    fmax DOUBLE PRECISION,
    fmin DOUBLE PRECISION,
    MBMin DOUBLE PRECISION,
    MBMax DOUBLE PRECISION,
    anl SMALLINT,
    TaGemessen INTEGER,
    TgAnfang INTEGER,
    ZeitenNr INTEGER,
    EINGNR INTEGER,
    txtBemerkung VARCHAR(255),
    ZOrt VARCHAR(255),
    MBAdr INTEGER,
    MBComP INTEGER,
    MBBaud INTEGER,
    MBIndex SMALLINT,
    MBZStand SMALLINT,
    MB_SelectSec VARCHAR(255),
    MB_ID VARCHAR(255),
    MB_Medium VARCHAR(255),
    MB_Version VARCHAR(255),
    Hersteller VARCHAR(255),
    Typ VARCHAR(255),
    MSCONS_Lokation VARCHAR(35)
);
CREATE INDEX IF NOT EXISTS zaehler_mbus ON zaehler (MBComP, MBAdr);

-- Tariff groups, tariffs and the tariffs of each meter (shared).
CREATE TABLE IF NOT EXISTS tagrp (
    TAGRP_NR INTEGER PRIMARY KEY,
    TAGRP_NAME VARCHAR(255),
    BasisTarif INTEGER
);
CREATE TABLE IF NOT EXISTS ta (
    TA_NR INTEGER PRIMARY KEY,
    TA_BEZ VARCHAR(255),
    Ta_Reihenfolge INTEGER
);
CREATE TABLE IF NOT EXISTS tazuordnung (
    zlznr INTEGER NOT NULL,
    zta INTEGER NOT NULL,
    MBusIndex INTEGER
);
CREATE INDEX IF NOT EXISTS tazuordnung_lznr ON tazuordnung (zlznr);

-- Index list of each meter: one row per value index of its response.
-- Einheit holds the whole 15-character unit field of a response.
CREATE TABLE IF NOT EXISTS MB_IndexListe (
    Lznr INTEGER NOT NULL,
    MBIndex INTEGER,
    "index" INTEGER,
    Art VARCHAR(40),
    Einheit VARCHAR(15),
    Faktor DOUBLE PRECISION,
    MBTyp INTEGER,
    Typ INTEGER,
    Speichern BOOLEAN,
    Anzeigen BOOLEAN,
    Farbe INTEGER,
    TarifNr INTEGER,
    Reihenfolge INTEGER
);
CREATE INDEX IF NOT EXISTS mb_indexliste_lznr ON MB_IndexListe (Lznr);

-- Index text list for the export.
CREATE TABLE IF NOT EXISTS MBusIndexListe (
    lznr INTEGER NOT NULL,
    MBIndex INTEGER,
    text VARCHAR(255)
);
CREATE INDEX IF NOT EXISTS mbusindexliste_lznr ON MBusIndexListe (lznr);

-- Readings: appended only. Tm counts local wall-clock seconds from 01.01.1970.
CREATE TABLE IF NOT EXISTS Zaehlerstaende (
    lznr INTEGER NOT NULL,
    Tm BIGINT,
    DT TIMESTAMP,
    ZStand DOUBLE PRECISION,
    ta INTEGER
);
CREATE INDEX IF NOT EXISTS zaehlerstaende_lznr_tm ON Zaehlerstaende (lznr, Tm);

CREATE TABLE IF NOT EXISTS MBusWerte (
    lznr INTEGER NOT NULL,
    Tm BIGINT,
    idx INTEGER,
    Wert DOUBLE PRECISION
);
CREATE INDEX IF NOT EXISTS mbuswerte_lznr_tm ON MBusWerte (lznr, Tm);
