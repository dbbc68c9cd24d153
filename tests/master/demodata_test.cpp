#include "stationfixture.h"
#include "data/schema.h"
#include "foundation/lasterror.h"

#include <QFile>
#include <QSqlQuery>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

const QString kDemoBus = QStringLiteral(KELVARO_SOURCE_DIR "/tools/mbus-sim/buses/demo.json");

struct DemoMeter {
    qint64 lznr;
    QString id;
    int primary;
    int baud;
    int port;
};

QList<DemoMeter> demoMeters(SqlConnection& db)
{
    QList<DemoMeter> meters;
    QSqlQuery q;
    if (db.query(q, QStringLiteral("SELECT LZNR, MB_ID, MBAdr, MBBaud, MBComP FROM zaehler ORDER BY LZNR")))
        while (q.next())
            meters << DemoMeter{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toInt(), q.value(3).toInt(),
                                q.value(4).toInt()};
    return meters;
}

} // namespace

// The meters of "kelvaro-cli db init --demo" are meters of the simulator's
// demo bus: a newcomer's first cycle against it reads every one.
TEST(DemoData, TheDemoMetersAreReadFromTheDemoBus)
{
    QFile busFile(kDemoBus);
    ASSERT_TRUE(busFile.open(QIODevice::ReadOnly)) << kDemoBus.toStdString();
    InstallationDir dir;
    SimProcess sim(busFile.readAll(), {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty());
    QString error;
    ASSERT_TRUE(master::CreateDemoInstallation("1320", sim.device(), kDemoBus, &error)) << error.toStdString();
    QList<master::BusMeter> bus;
    ASSERT_TRUE(master::ReadBusMeters(kDemoBus, bus, &error)) << error.toStdString();

    QList<DemoMeter> demo;
    {
        // The installation's meters replaced by the demo rows.
        SqlConnection db(QStringLiteral("demo.rows"));
        ASSERT_TRUE(OpenClientDatabase(db));
        for (const char* table : {"zaehler", "tagrp", "ta"})
            ASSERT_TRUE(db.exec(QStringLiteral("DELETE FROM ") + table));
        ASSERT_TRUE(InsertDemoData(db)) << LastErrorText().toStdString();
        demo = demoMeters(db);
    }
    ASSERT_EQ(demo.size(), 3);
    for (const DemoMeter& m : demo) {
        const auto onBus = std::find_if(bus.begin(), bus.end(), [&](const master::BusMeter& b) { return b.id == m.id; });
        ASSERT_NE(onBus, bus.end()) << m.id.toStdString() << " is not on the demo bus";
        EXPECT_EQ(onBus->primary, m.primary) << m.id.toStdString();
        EXPECT_EQ(onBus->baud, m.baud) << m.id.toStdString();
        EXPECT_EQ(m.port, 1) << "the port of the demo installation";
    }
    DBConnection().close();
    ResetClient();

    master::MasterStation station;
    QObject::connect(&station, &master::MasterStation::message,
                     [](const QString& text, const QString& title) { ShowMessageBox(text, title); });
    station.load("Auto -M1320 -C1 -T0");
    station.timerTick();
    EXPECT_EQ(station.label1, "Fertig");
    ASSERT_EQ(station.meterCount(), 3);
    for (int r = 1; r <= 3; ++r) {
        EXPECT_EQ(station.meters.meter(r).lastRead, master::LastRead::Ok) << station.meters.meter(r).MB_ID.toStdString();
        EXPECT_EQ(station.meters.meter(r).ErrorCount, 0);
    }
    {
        SqlConnection db(QStringLiteral("demo.stored"));
        ASSERT_TRUE(OpenClientDatabase(db));
        for (const DemoMeter& m : demo)
            EXPECT_GT(db.scalar("SELECT Count(*) FROM MBusWerte WHERE lznr = ?", {m.lznr}).toInt(), 0)
                << m.id.toStdString();
    }
    station.formUnload();
    DBConnection().close();
    DAODatabase().close();
}
