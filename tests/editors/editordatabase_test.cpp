#include "editorfixture.h"
#include "editors/meterlistgrid.h"
#include "foundation/userconfig.h"

using namespace kelvaro;

namespace {

TEST(EditorDatabaseSettings, EveryClientButTheServerClientUsesItsFile)
{
    std::array<QString, 6> server{QStringLiteral("6"), QStringLiteral("db:5432"), QStringLiteral("ovx"),
                                  QStringLiteral("pw"), QStringLiteral("zaehler"), {}};
    const auto file = EditorDatabaseSettings::forClient("200", ".\\DB200\\", server);
    EXPECT_TRUE(file.isFile());
    EXPECT_EQ(file.displayName(), ".\\DB200\\basis.mdb");

    const auto onServer = EditorDatabaseSettings::forClient("1450", ".\\DB1450\\", server);
    EXPECT_EQ(onServer.kind, "6");
    EXPECT_EQ(onServer.displayName(), "db:5432/zaehler");

    server[DbKind] = QStringLiteral("0");
    EXPECT_TRUE(EditorDatabaseSettings::forClient("1450", ".\\DB1450\\", server).isFile());
}

class MeterList : public test::EditorTest {};

TEST_P(MeterList, ListsTheMBusMetersByPortAndAddressAndKeepsTheListWhenTheDatabaseFails)
{
    const qint64 second = addMeter("B", 7, 2);
    const qint64 first = addMeter("A", 9, 1);
    addMeter("P", 3, 1, "Puls");
    MeterListGrid grid;
    ASSERT_TRUE(grid.ListeLaden(settings_)) << LastErrorText().toStdString();
    ASSERT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.lznrAt(0), first);
    EXPECT_EQ(grid.cell(1, MeterListGrid::ColNummer), "B");
    EXPECT_EQ(grid.rowOf(second), 1);

    EditorDatabaseSettings gone = settings_;
    gone.dataSource = gone.isFile() ? QStringLiteral(".\\nirgends\\basis.mdb") : QStringLiteral("127.0.0.1:1");
    EXPECT_FALSE(grid.ListeLaden(gone));
    EXPECT_EQ(grid.rowCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, MeterList, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);

} // namespace
