#pragma once
#include "simprocess.h"
#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/messages.h"
#include "foundation/timeutil.h"
#include "master/installation.h"
#include "master/masterstation.h"
#include "testsupport.h"

#include <memory>

namespace kelvaro::test {

// One meter of a test bus: primary address, identification, baud rate, records.
inline QString Meter(int primary, const QString& id, int baud = 2400, const QString& extra = {})
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [%3], "medium": 7,
        "records": ["0413A0860100", "441388130000"]%4})")
        .arg(primary)
        .arg(id)
        .arg(baud)
        .arg(extra.isEmpty() ? QString() : ", " + extra);
}

// Ten meters at two baud rates; the one at address 8 is silent.
inline QStringList TenMeters()
{
    QStringList meters;
    for (int a = 1; a <= 8; ++a)
        meters << Meter(a, QStringLiteral("1234560%1").arg(a), 2400, a == 8 ? QStringLiteral("\"silent\": true") : QString());
    meters << Meter(9, QStringLiteral("32345609"), 9600) << Meter(10, QStringLiteral("32345610"), 9600);
    return meters;
}

// An installation directory with a simulated bus on COM1 and a master station.
class StationFixture {
public:
    explicit StationFixture(const QStringList& meters, const QString& client = QStringLiteral("1320"),
                            const QStringList& simArgs = {"--fast"})
        : sim(std::make_unique<SimProcess>(BusJson(meters), simArgs))
    {
        dir.write("bus.json", BusJson(meters));
        QString error;
        ready = !sim->device().isEmpty()
            && master::CreateDemoInstallation(client, sim->device(), dir.file("bus.json"), &error);
        if (!ready)
            ADD_FAILURE() << "installation: " << error.toStdString();
        DBConnection().close();
        ResetClient();
        // The test is the station's caller: its messages become (recorded) boxes.
        QObject::connect(&station, &master::MasterStation::message,
                         [](const QString& text, const QString& title) { ShowMessageBox(text, title); });
    }
    ~StationFixture()
    {
        station.formUnload();
        DBConnection().close();
        DAODatabase().close();
    }

    QString mbLog() const { return FromWin1252(dir.read(MBusLogName("mb.log"))); }
    QString MBusLogName(const QString& tail) const
    {
        return QStringLiteral("DB%1/MBusLog/%2%3").arg(Mandant, LocalNow().toString("yyMMdd"), tail);
    }
    int rows(const QString& table)
    {
        SqlConnection db(QStringLiteral("fixture.count"));
        if (!OpenClientDatabase(db))
            return -1;
        return db.scalar(QStringLiteral("SELECT Count(*) FROM ") + table).toInt();
    }
    // Meter r of the station's list (from 1).
    const master::MeterRecord& meter(int r) const { return station.meters.meter(r); }

    InstallationDir dir;
    std::unique_ptr<SimProcess> sim;
    master::MasterStation station;
    bool ready = false;
};

} // namespace kelvaro::test
