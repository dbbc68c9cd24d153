#include "data/zaehlerrec.h"
#include "foundation/clientpaths.h"
#include "sampledata.h"
#include "storage/rb6file.h"
#include "testdatabase.h"
#include "testsupport.h"

using namespace kelvaro;

namespace {
ZaehlerRec withSource(const QString& source, const QString& group = "Strom")
{
    ZaehlerRec rec;
    rec.LZNR = 77;
    rec.ZQuelle = source;
    rec.tarifgruppe = group;
    rec.TaGemessen = 5;
    rec.Station = 99;
    rec.Kanal = 99;
    return rec;
}
} // namespace

TEST(ValueSource, EachSourceGivesItsStationChannelAndSlot)
{
    ZaehlerRec r = withSource("S0012");
    ApplyValueSource(r, 3, 1, 2, 4);
    EXPECT_EQ(r.Station, 12);
    EXPECT_EQ(r.Kanal, 4);
    EXPECT_EQ(r.MBIndex, 0);

    r = withSource("M-Bus");
    ApplyValueSource(r, 3, 1, 2, 4);
    EXPECT_EQ(std::tuple(r.Station, r.Kanal, r.MBIndex, r.MBZStand), std::tuple(-2, 77LL, 3, 1));

    r = withSource("virtuell");
    ApplyValueSource(r, 3, 1, 2, 4);
    EXPECT_EQ(std::tuple(r.Station, r.Kanal, r.MBIndex), std::tuple(-1, 77LL, 0));

    r = withSource("Ausgebaut");
    ApplyValueSource(r, 3, 1, 2, 4);
    EXPECT_EQ(std::tuple(r.Station, r.Kanal, r.MBIndex), std::tuple(-1, 77LL, 0));

    r = withSource("CSV Import");
    ApplyValueSource(r, 3, 1, 2, 4);
    EXPECT_EQ(r.MBIndex, 2) << "the base tariff of the group";
    r = withSource("CSV Import", "Erdgas GAS");
    ApplyValueSource(r, 3, 1, 2, 4);
    EXPECT_EQ(r.MBIndex, 5) << "a gas meter takes TaGemessen";
    r = withSource("CSV Import");
    ApplyValueSource(r, 3, 1, -1, 4);
    EXPECT_EQ(r.MBIndex, 3) << "a missing tariff group keeps the column's slot";

    r = withSource("wM-OMS");
    ApplyValueSource(r, 3, 1, 6, 4);
    EXPECT_EQ(std::tuple(r.Station, r.MBIndex), std::tuple(-2, 6));
    r = withSource("oms"); // comparisons are case-sensitive: nothing matches
    ApplyValueSource(r, 3, 1, 6, 4);
    EXPECT_EQ(std::tuple(r.Station, r.Kanal), std::tuple(99, 99LL));
}

TEST(MeterRecords, LoadFillsTheRecordAndTheDataFileTimes)
{
    // The meter record always comes from the client's file database.
    test::InstallationDir dir;
    Mandant = "200";
    DBPATH = ".\\DB200\\";
    DatenPath = ".\\daten";
    test::ClientDatabase db(test::Engine::SQLite);
    ASSERT_TRUE(db.ready());
    {
        SqlConnection c("fill");
        ASSERT_TRUE(db.openInto(c));
        test::InsertSampleData(c);
        ASSERT_TRUE(c.exec("UPDATE zaehler SET [Offset] = 2.5, TgAnfang = NULL, ZOrt = NULL, EINGNR = 4 WHERE LZNR = 1"));
        ASSERT_TRUE(c.exec("INSERT INTO zaehler (LZNR, ZQuelle, Tarifgrp, tarifgruppe, TaGemessen, MBIndex, EINGNR) "
                           "VALUES (20, 'CSV Import', 2, 'GAS', 6, 1, NULL), (21, 'S0012', 1, 'x', 0, 1, 3)"));
    }
    SqlConnection dao("dao-load");
    ZaehlerRec rec;
    SetLastErrorText({});
    ASSERT_EQ(LoadZaehlerRec(dao, 1, rec), 0) << LastErrorText().toStdString();
    EXPECT_EQ(rec.ZName, "Wärme A");
    EXPECT_EQ(rec.Offset, 2.5);
    EXPECT_EQ(rec.ZOrt, "");
    EXPECT_EQ(rec.EingNr, 4);
    EXPECT_EQ(rec.DatFile, ".\\DB200\\Z200\\000001001.ovx");
    EXPECT_EQ(rec.MdbFile, ".\\DB200\\zaehler\\0000001.mdb");
    RB6FileTimes(rec.DatFile, rec.DatAnfang, rec.DatEnde);
    EXPECT_EQ(std::tuple(rec.DatAnfang, rec.DatEnde), std::tuple(0LL, 0LL)) << "no data file yet";
    EXPECT_EQ(LastErrorText(), "");

    QString file;
    ASSERT_EQ(RB6Append(DBPATH, 1, 5000, 1.0, 1, file), 0);
    ASSERT_EQ(RB6Append(DBPATH, 1, 6000, 2.0, 1, file), 0);
    ASSERT_EQ(LoadZaehlerRec(dao, 1, rec), 0);
    RB6FileTimes(rec.DatFile, rec.DatAnfang, rec.DatEnde);
    EXPECT_EQ(std::tuple(rec.DatAnfang, rec.DatEnde), std::tuple(5000LL, 6000LL));

    ASSERT_EQ(LoadZaehlerRec(dao, 20, rec), 0);
    EXPECT_EQ(rec.MBIndex, 6);
    EXPECT_EQ(rec.DatFile, ".\\DB200\\Z200\\000020006.ovx");
    ASSERT_EQ(LoadZaehlerRec(dao, 21, rec), 0);
    EXPECT_EQ(std::tuple(rec.Station, rec.Kanal), std::tuple(12, 3LL));
    EXPECT_EQ(rec.DatFile, ".\\daten\\z12a0003.dat");

    EXPECT_EQ(LoadZaehlerRec(dao, 999, rec), ZaehlerRecNotFound);
    dao.close();
    DBPATH = ".\\nowhere\\";
    EXPECT_EQ(LoadZaehlerRec(dao, 1, rec), ZaehlerRecDatabaseError);
}

TEST(MeterTable, HoldsTheMBusMetersByPortAndAddress)
{
    test::InstallationDir dir;
    DBPATH = ".\\DB200\\";
    test::ClientDatabase db(test::Engine::SQLite);
    ASSERT_TRUE(db.ready());
    QList<QVariantList> table;
    ASSERT_TRUE(LoadMBusMeterTable(table));
    EXPECT_TRUE(table.isEmpty());
    {
        SqlConnection c("fill");
        ASSERT_TRUE(db.openInto(c));
        test::InsertSampleData(c);
    }
    ASSERT_TRUE(LoadMBusMeterTable(table));
    ASSERT_EQ(table.size(), 4);
    EXPECT_EQ(table[0].size(), 10);
    EXPECT_EQ(table[0][1].toInt(), 2);
    EXPECT_EQ(table[0][2].toInt(), 3);
    EXPECT_EQ(table[0][5].toString(), "Wärme B");
    EXPECT_EQ(table[3][3].toInt(), 2);
    DBPATH = ".\\nowhere\\";
    EXPECT_FALSE(LoadMBusMeterTable(table));
}
