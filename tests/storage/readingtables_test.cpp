#include "../data/testdatabase.h"
#include "foundation/clientpaths.h"
#include "foundation/timeutil.h"
#include "storage/readingtables.h"
#include "testsupport.h"

#include <QSqlRecord>
#include <csignal>
#include <sys/resource.h>

using namespace kelvaro;

class ReadingTables : public test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(MBOpenDatenbank()) << LastErrorText().toStdString();
    }
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
    // DT read back as text: a QDateTime would bring the test machine's time zone in.
    ASSERT_TRUE(DBConnection().query(
        q, "SELECT lznr, Tm, CAST(DT AS VARCHAR(19)), ZStand, ta FROM Zaehlerstaende ORDER BY ta, ZStand"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(1).toLongLong(), t);
    EXPECT_EQ(q.value(2).toString(), "2026-03-29 02:30:00");
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

TEST(ReadingTablesFullDisk, AFailedRowReportsFalseAndTheStoredRowsStay)
{
    test::InstallationDir dir;
    DBPATH = ".\\DB200\\";
    test::ClientDatabase db(test::Engine::SQLite);
    ASSERT_TRUE(db.ready());
    db.useAsClientDatabase();
    ASSERT_TRUE(MBOpenDatenbank());
    ReadingTable rs;
    ASSERT_TRUE(OpenMBusWerte(rs));
    for (int k = 0; k < 10; ++k)
        ASSERT_TRUE(AddMBusWert(rs, 1, 1000 + k, 1, k));

    // A file-size limit stands in for a full disk: the database cannot grow.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = 64 * 1024;
    setrlimit(RLIMIT_FSIZE, &tight);
    int failed = 0;
    for (int k = 0; k < 5000 && failed == 0; ++k)
        failed += AddMBusWert(rs, 2, 2000 + k, 1, k * 0.5) ? 0 : 1;
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(LastErrorText().isEmpty());
    EXPECT_EQ(DBConnection().scalar("SELECT Count(*) FROM MBusWerte WHERE lznr = 1").toInt(), 10);
    EXPECT_TRUE(AddMBusWert(rs, 3, 3000, 1, 1.0)) << "storing goes on once there is room again";
}
