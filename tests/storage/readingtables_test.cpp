#include "../data/testdatabase.h"
#include "foundation/clientpaths.h"
#include "foundation/timeutil.h"
#include "storage/readingtables.h"
#include "testsupport.h"

#include <QSqlRecord>

using namespace kelvaro;

class ReadingTables : public ::testing::TestWithParam<test::Engine> {
protected:
    void SetUp() override
    {
        KELVARO_REQUIRE_ENGINE(GetParam());
        DBPATH = ".\\DB200\\";
        db_ = std::make_unique<test::ClientDatabase>(GetParam());
        ASSERT_TRUE(db_->ready());
        db_->useAsClientDatabase();
        ASSERT_TRUE(MBOpenDatenbank()) << LastErrorText().toStdString();
    }
    test::InstallationDir dir_;
    std::unique_ptr<test::ClientDatabase> db_;
};

TEST_P(ReadingTables, ReadingsAreAppendedWithTheirTimeAsSecondsAndAsDate)
{
    ReadingTable rs;
    ASSERT_TRUE(OpenZaehlerstaende(rs));
    const qint64 t = DateToSeconds(QDateTime(QDate(2026, 3, 29), QTime(2, 30, 0), Qt::UTC)); // no such local time in CET
    ASSERT_TRUE(AddZaehlerstand(rs, 7, t, 2, 1234.5)) << LastErrorText().toStdString();
    ASSERT_TRUE(AddZaehlerstand(rs, 7, t, 2, 1234.6)); // same second: both stored
    ASSERT_TRUE(AddZaehlerstand(rs, 7, QStringLiteral("kein Datum"), 3, 9.5));

    QSqlQuery q;
    ASSERT_TRUE(DBConnection().query(q, "SELECT lznr, Tm, DT, ZStand, ta FROM Zaehlerstaende ORDER BY ta, ZStand"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toLongLong(), t);
    EXPECT_EQ(q.value(2).toDateTime().toString("dd.MM.yyyy hh:mm:ss"), "29.03.2026 02:30:00");
    EXPECT_EQ(q.value(4).toInt(), 2);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(3).toDouble(), 1234.6);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 7);
    EXPECT_TRUE(q.value(1).isNull());
    EXPECT_TRUE(q.value(2).isNull());
    EXPECT_EQ(q.value(3).toDouble(), 9.5);
    EXPECT_EQ(q.value(4).toInt(), 3);
}

TEST_P(ReadingTables, ValuesGoIntoMBusWerte)
{
    ReadingTable rs;
    ASSERT_TRUE(OpenMBusWerte(rs));
    for (int idx = 1; idx <= 3; ++idx)
        ASSERT_TRUE(AddMBusWert(rs, 7, 1'700'000'000, idx, idx * 0.5)) << LastErrorText().toStdString();
    EXPECT_EQ(DBConnection().scalar("SELECT Sum(Wert) FROM MBusWerte WHERE lznr = ? AND Tm = ?", {7, 1'700'000'000})
                  .toDouble(),
              3.0);
}

TEST_P(ReadingTables, MissingTableOrClosedConnectionFailsWithoutCrashing)
{
    ReadingTable rs;
    ASSERT_TRUE(DBConnection().exec("DROP TABLE MBusWerte"));
    EXPECT_FALSE(OpenMBusWerte(rs));
    EXPECT_TRUE(LastErrorText().contains("MBusWerte"));
    EXPECT_FALSE(AddMBusWert(rs, 1, 1, 1, 1.0));

    ASSERT_TRUE(OpenZaehlerstaende(rs));
    DBConnection().close();
    EXPECT_FALSE(AddZaehlerstand(rs, 1, 1, 1, 1.0));
    EXPECT_FALSE(OpenZaehlerstaende(rs));
}

INSTANTIATE_TEST_SUITE_P(Engines, ReadingTables, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);
