#include "data/sqldialect.h"
#include "sampledata.h"
#include "testdatabase.h"
#include "testsupport.h"

#include <QSqlRecord>

using namespace kelvaro;
using test::Engine;

TEST(SqlDialect, JetFormsBecomeStandardSqlAndLiteralsStayUntouched)
{
    EXPECT_EQ(AdaptJetSql(" SELECT  DISTINCTROW zaehler.LZNR, *  from Zaehler Where ((Zaehler.lznr = ?)) "
                          "WITH OWNERACCESS OPTION;",
                          SqlDialect::PostgreSQL),
              "SELECT  zaehler.LZNR, *  from Zaehler Where ((Zaehler.lznr = ?))");
    EXPECT_EQ(AdaptJetSql(" DELETE    MB_IndexListe.Lznr From MB_IndexListe Where ((MB_IndexListe.lznr = ?))",
                          SqlDialect::SQLite),
              "DELETE From MB_IndexListe Where ((MB_IndexListe.lznr = ?))");
    EXPECT_EQ(AdaptJetSql("SELECT MB_IndexListe.MBTyp as [Z-Typ], x.Index FROM t WHERE a = True", SqlDialect::PostgreSQL),
              "SELECT MB_IndexListe.MBTyp as \"z-typ\", x.\"index\" FROM t WHERE a = TRUE");
    EXPECT_EQ(AdaptJetSql("SELECT 1 WHERE a = False AND b = \"it's\"", SqlDialect::SQLite),
              "SELECT 1 WHERE a = 0 AND b = 'it''s'");
    // Words inside literals are data, not SQL.
    EXPECT_EQ(AdaptJetSql("UPDATE t SET x = 'DISTINCTROW [a] Index True;'", SqlDialect::PostgreSQL),
              "UPDATE t SET x = 'DISTINCTROW [a] Index True;'");
}

class JetTexts : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        KELVARO_REQUIRE_ENGINE(GetParam());
        DBPATH = QStringLiteral(".\\DB200\\");
        db_ = std::make_unique<test::ClientDatabase>(GetParam());
        ASSERT_TRUE(db_->ready());
        ASSERT_TRUE(db_->openInto(c_)) << LastErrorText().toStdString();
        test::InsertSampleData(c_);
    }
    // Runs a text and returns one column of every row (by name or position).
    QVariantList column(const QString& sql, const QVariantList& values, const QString& name)
    {
        QSqlQuery q;
        EXPECT_TRUE(c_.query(q, sql, values)) << LastErrorText().toStdString();
        QVariantList out;
        while (q.next()) {
            bool isNumber = false;
            const int position = name.toInt(&isNumber);
            out << (isNumber ? q.value(position) : q.record().value(name));
        }
        return out;
    }
    static QList<int> ints(const QVariantList& values)
    {
        QList<int> out;
        for (const QVariant& v : values)
            out << v.toInt();
        return out;
    }

    test::InstallationDir dir_;
    std::unique_ptr<test::ClientDatabase> db_;
    SqlConnection c_{QStringLiteral("jet-texts")};
};

TEST_P(JetTexts, MeterQueriesOfTheStationAndTheEditors)
{
    const QString allMBus =
        " SELECT    zaehler.ZQUELLE, zaehler.LZNR, zaehler.MBAdr, zaehler.MBComP, zaehler.MBBaud, "
        " zaehler.ZNAME, zaehler.MBIndex, zaehler.MBZStand, zaehler.ZNr, zaehler.MB_SelectSec "
        " From zaehler Where ((zaehler.ZQUELLE = 'M-Bus')) Order by zaehler.MBComP, zaehler.MBAdr ";
    EXPECT_EQ(ints(column(allMBus, {}, "1")), (QList<int>{2, 1, 3, 4}));

    const QString oneMeter = " SELECT  DISTINCTROW zaehler.LZNR, *  from Zaehler Where ((Zaehler.lznr = ?)) "
                             "WITH OWNERACCESS OPTION;";
    EXPECT_EQ(column(oneMeter, {2}, "ZName"), (QVariantList{QStringLiteral("Wärme B")}));

    const QString portMeters =
        " SELECT zaehler.LZNR, zaehler.STUFE, zaehler.ZQUELLE, zaehler.TARIFGRUPPE, zaehler.ZNR, "
        " zaehler.ZNAME, zaehler.FAKTOR, zaehler.IMPULSE, zaehler.OFFSET, zaehler.MBComP, zaehler.MB_ID, "
        " zaehler.MBAdr, zaehler.MBBaud, zaehler.MBIndex, tagrp.TAGRP_NAME, tagrp.BasisTarif, zaehler.MB_SelectSec, "
        "zaehler.zname  FROM zaehler INNER JOIN tagrp ON zaehler.TARIFGRP = tagrp.TAGRP_NR "
        " Where ((zaehler.Stufe > 0) And (zaehler.ZQuelle = 'M-Bus') And (zaehler.MBComP = ?))"
        " ORDER BY Zaehler.MBBaud desc, Zaehler.MBAdr";
    EXPECT_EQ(ints(column(portMeters, {1}, "LZNR")), (QList<int>{2, 1})); // level 0 is never read

    const QString byAddress = " SELECT    Zaehler.MBAdr, Zaehler.MBIndex, Zaehler.LZNR From Zaehler"
                              " Where ((Zaehler.MBAdr Is Not Null)) ORDER BY Zaehler.MBAdr";
    EXPECT_EQ(ints(column(byAddress, {}, "MBAdr")), (QList<int>{1, 3, 5, 7}));

    const QString importQuery =
        " SELECT  zaehler.ZQUELLE, zaehler.LZNR, zaehler.MBAdr, zaehler.MBComP, zaehler.MBBaud, "
        " zaehler.ZNAME, zaehler.MBIndex, zaehler.MBZStand, zaehler.ZNr, *  From zaehler"
        " Where ((zaehler.ZQUELLE = 'M-Bus') AND (zaehler.MBComP=?) AND (zaehler.MBAdr= ?))";
    EXPECT_EQ(ints(column(importQuery, {1, 5}, "LZNR")), (QList<int>{1}));

    const QString editorMeter = " SELECT    zaehler.LZNR, zaehler.ZNR, zaehler.ZNAME, zaehler.MBAdr, zaehler.MBComP, "
                                "zaehler.MBBaud, zaehler.MBIndex, zaehler.MBZstand, MB_SelectSec From zaehler "
                                "Where ((zaehler.lznr = ?))";
    EXPECT_EQ(column(editorMeter, {1}, "ZNR"), (QVariantList{QStringLiteral("10001")}));
    EXPECT_EQ(column(" SELECT  *  From zaehler Where ((zaehler.lznr = ?))", {4}, "MBComP").value(0).toInt(), 2);

    const QString selection = " SELECT    zaehler.LZNR, zaehler.ZNR, zaehler.Hersteller, zaehler.Typ, zaehler.ZQUELLE, "
                              "zaehler.ZNAME, zaehler.txtBemerkung as [Bemerkung] From Zaehler "
                              "Where ((Zaehler.ZQuelle = 'M-Bus'))";
    EXPECT_EQ(column(selection, {}, "Bemerkung").size(), 4);
}

TEST_P(JetTexts, PortsInUseAndTariffLookup)
{
    const QString ports = " SELECT    zaehler.MBComP, Count(zaehler.MBComP) AS [Anzahl von MBComP] From zaehler"
                          " GROUP BY zaehler.MBComP Having ((zaehler.MBComP Is Not Null))";
    QSqlQuery q;
    ASSERT_TRUE(c_.query(q, ports)) << LastErrorText().toStdString();
    QMap<int, int> counts;
    while (q.next())
        counts[q.value(0).toInt()] = q.record().value("Anzahl von MBComP").toInt();
    EXPECT_EQ(counts, (QMap<int, int>{{1, 3}, {2, 1}}));

    const QString bauds = " SELECT    zaehler.MBComP, zaehler.MBBaud, Count(zaehler.MBBaud) AS [Anzahl von MBBaud]"
                          " From zaehler GROUP BY zaehler.MBComP, zaehler.MBBaud"
                          " Having ((zaehler.MBComP = ?) And (zaehler.MBBaud Is Not Null))";
    EXPECT_EQ(column(bauds, {1}, "Anzahl von MBBaud").size(), 2);

    EXPECT_EQ(TaGrpBasisTarif(c_, 2), 4.0);
    EXPECT_EQ(TaGrpBasisTarif(c_, 99), -1.0);
}

TEST_P(JetTexts, IndexListQueriesSortByEitherIndexColumn)
{
    const QString master = " SELECT MB_IndexListe.LZNR, MB_IndexListe.MBIndex, MB_IndexListe.Art, "
                           " MB_IndexListe.Einheit, MB_IndexListe.Speichern, MB_IndexListe.Anzeigen, "
                           " MB_IndexListe.Faktor, MB_IndexListe.Farbe, MB_IndexListe.MBTyp, MB_IndexListe.TarifNr, "
                           " MB_IndexListe.Reihenfolge  FROM zaehler INNER JOIN MB_INDEXLISTE ON zaehler.LZNR = "
                           "MB_INDEXLISTE.LZNR Where ((MB_IndexListe.lznr = ?))";
    const QVariantList store = column(master, {1}, "Speichern");
    ASSERT_EQ(store.size(), 3);
    EXPECT_TRUE(store[0].toBool());
    EXPECT_FALSE(column(master, {1}, "Anzeigen")[0].toBool());

    const QString list = " SELECT MB_IndexListe.Lznr, MB_IndexListe.Art, MB_IndexListe.Einheit, "
                         "MB_IndexListe.Anzeigen, MB_IndexListe.Faktor, MB_IndexListe.Farbe, MB_IndexListe.MBTyp, "
                         "MB_IndexListe.TarifNr, MB_IndexListe.Speichern, MB_IndexListe.MBIndex From MB_IndexListe"
                         " WHERE (((MB_IndexListe.Lznr)=?))";
    EXPECT_EQ(column(list, {1}, "MBIndex").size(), 3);

    const QString editor = " SELECT  MB_IndexListe.Lznr, MB_IndexListe.MBIndex, MB_IndexListe.Art,  "
                           "MB_IndexListe.Einheit, MB_IndexListe.Anzeigen , MB_IndexListe.Faktor , "
                           "MB_IndexListe.MBTyp as [Z-Typ],  MB_IndexListe.Speichern  From MB_IndexListe "
                           "Where ((MB_IndexListe.lznr = ?)) ORDER BY MB_IndexListe.MBIndex";
    EXPECT_EQ(ints(column(editor, {1}, "MBIndex")), (QList<int>{1, 2, 3}));
    EXPECT_EQ(column(editor, {1}, "Z-Typ").size(), 3);
    QString older = editor;
    older.replace("MB_IndexListe.MBIndex", "MB_IndexListe.Index").replace("MBTyp", "Typ");
    EXPECT_EQ(ints(column(older, {1}, "1")), (QList<int>{1, 2, 3}));

    const QString exportList = " SELECT    MBusIndexListe.Lznr, MBusIndexListe.MBIndex, MBusIndexListe.Text "
                               "From MBusIndexListe Where ((MBusIndexListe.lznr = ?)) ORDER BY MBusIndexListe.MBIndex";
    EXPECT_EQ(column(exportList, {1}, "2"), (QVariantList{QStringLiteral("Energie")}));
}

TEST_P(JetTexts, TariffsOfAMeterDespiteTheRepeatedTablesOfItsFromList)
{
    const QString tariffs = " SELECT    zaehler.LZNR, ta.TA_BEZ, tazuordnung.MBusIndex, ta.Ta_Reihenfolge"
                            " FROM zaehler, ta, tazuordnung,"
                            " tazuordnung INNER JOIN ta ON tazuordnung.zta = ta.TA_NR,"
                            " zaehler INNER JOIN tazuordnung ON zaehler.LZNR = tazuordnung.zlznr"
                            " Where ((zaehler.lznr = ?)) ORDER BY ta.Ta_Reihenfolge";
    EXPECT_EQ(column(tariffs, {1}, "TA_BEZ"), (QVariantList{QStringLiteral("NT"), QStringLiteral("HT")}));
    EXPECT_EQ(ints(column(tariffs, {1}, "MBusIndex")), (QList<int>{4, 3}));
    EXPECT_TRUE(column(tariffs, {2}, "TA_BEZ").isEmpty());
}

TEST_P(JetTexts, EveryDeleteFormRemovesExactlyTheMetersRows)
{
    auto count = [&](const QString& table, int lznr) {
        return c_.scalar("SELECT Count(*) FROM " + table + " WHERE lznr = ?", {lznr}).toInt();
    };
    ASSERT_TRUE(c_.exec("Delete from MB_IndexListe where lznr = ?", {1})) << LastErrorText().toStdString();
    EXPECT_EQ(count("MB_IndexListe", 1), 0);
    EXPECT_EQ(count("MB_IndexListe", 2), 1);

    ASSERT_TRUE(c_.exec(" DELETE    MB_IndexListe.Lznr From MB_IndexListe Where ((MB_IndexListe.lznr = ?))"
                        " WITH OWNERACCESS OPTION;",
                        {2}));
    EXPECT_EQ(count("MB_IndexListe", 2), 0);

    ASSERT_TRUE(c_.exec(" DELETE    MBusIndexListe.Lznr From MBusIndexListe Where ((MBusIndexListe.lznr = ?))", {1}));
    EXPECT_EQ(count("MBusIndexListe", 1), 0);

    ASSERT_TRUE(c_.exec(" DELETE    zaehler.LZNR From zaehler Where ((zaehler.lznr = ?))", {3}));
    EXPECT_EQ(count("zaehler", 3), 0);
    EXPECT_EQ(count("zaehler", 4), 1);
}

TEST_P(JetTexts, ValuesAreBoundNeverPasted)
{
    const QString hostile = QStringLiteral("x'); DROP TABLE zaehler; --");
    ASSERT_TRUE(c_.exec("UPDATE zaehler SET ZName = ? WHERE LZNR = ?", {hostile, 1}));
    EXPECT_EQ(c_.scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {1}).toString(), hostile);
    EXPECT_EQ(c_.scalar("SELECT Count(*) FROM zaehler").toInt(), 5);
}

INSTANTIATE_TEST_SUITE_P(Engines, JetTexts, ::testing::Values(Engine::SQLite, Engine::PostgreSQL), test::EngineName);
