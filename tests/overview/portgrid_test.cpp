#include "editors/editorfixture.h"
#include "foundation/gridmodel.h"
#include "overview/portgrid.h"

using namespace kelvaro;
using namespace kelvaro::overview;

namespace {

class PortGrid : public test::EditorTest {
protected:
    void add(int port, int baud, int count, const QVariant& source = QStringLiteral("M-Bus"))
    {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(db().exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle, MBAdr, MBComP, MBBaud, MBIndex, stufe) "
                                  "VALUES (?, 'Zähler', ?, ?, ?, ?, 1, 3)",
                                  {QStringLiteral("Z%1-%2-%3").arg(port).arg(baud).arg(++serial_), source, i + 1,
                                   port, baud}))
                << LastErrorText().toStdString();
    }
    QList<PortRow> read(const CycleTimes& times = {})
    {
        QList<PortRow> rows;
        const int count = MB_ComPortGetAnz(db(), times, rows);
        EXPECT_EQ(count, rows.size());
        return rows;
    }
    int serial_ = 0;
};

} // namespace

TEST_P(PortGrid, CountsEveryPortPerBaudRate)
{
    add(3, 2400, 2);
    add(5, 300, 1);
    const QList<PortRow> rows = read();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(PortRowCells(rows[0]), (QStringList{"3", "2", "", "", "2", "", "", "0,75", ""}));
    EXPECT_EQ(PortRowCells(rows[1]), (QStringList{"5", "1", "1", "", "", "", "", "2,24", ""}));
}

TEST_P(PortGrid, CycleTimeAddsEachBaudGroupOnce)
{
    add(3, 2400, 2);
    add(3, 300, 1);
    add(7, 2400, 10);
    const QList<PortRow> rows = read();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].meters, 3);
    EXPECT_EQ(PortRowCells(rows[0])[7], "2,99");
    EXPECT_EQ(PortRowCells(rows[1])[7], "2,67");

    CycleTimes slow;
    slow.perMeter = 1;
    slow.perBaudGroup[2] = 10; // 2400 Bd
    EXPECT_EQ(PortRowCells(read(slow)[1])[7], "20") << "the times handed in are used";
}

// The count takes every meter with a port, whatever its level and source;
// rates the grid has no column for count in "Anz Zähler" only.
TEST_P(PortGrid, OtherRatesAndSourcesCountOnlyAsMeters)
{
    add(2, 19200, 2);
    add(2, 9600, 1, QStringLiteral("Impuls"));
    add(4, 19200, 1);
    ASSERT_TRUE(db().exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle) VALUES ('ohne', 'ohne Port', 'M-Bus')"));
    const QList<PortRow> rows = read();
    ASSERT_EQ(rows.size(), 2) << "a meter without port is no port";
    EXPECT_EQ(PortRowCells(rows[0]), (QStringList{"2", "3", "", "", "", "", "1", "0,315", ""}));
    EXPECT_EQ(PortRowCells(rows[1]), (QStringList{"4", "1", "", "", "", "", "", "", ""}))
        << "no counted rate: no cycle time";
}

TEST_P(PortGrid, EmptyTableGivesNoPorts)
{
    QList<PortRow> rows{PortRow{}};
    EXPECT_EQ(MB_ComPortGetAnz(db(), {}, rows), 0);
    EXPECT_TRUE(rows.isEmpty());
}

TEST_P(PortGrid, FailedQueryIsReportedNotEmpty)
{
    ASSERT_TRUE(db().exec("DROP TABLE zaehler"));
    QList<PortRow> rows;
    EXPECT_EQ(MB_ComPortGetAnz(db(), {}, rows), -1);
    EXPECT_FALSE(LastErrorText().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, PortGrid, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);
