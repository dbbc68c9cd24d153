// The master's CPU cost per meter as the line grows: one station with its
// window (offscreen, as the program shows it) against mbus-sim without wire
// time, N meters of ten records each, storing to the database, mb.log and the
// RB6 files. The first cycle creates every file, the second finds them all.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_master_meters [N ...]
#include "siminstallation.h"
#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "master/installation.h"
#include "master/masterstation.h"
#include "master/ui/frmkelvarov4.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace kelvaro;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Ten records of a heat meter: energy, volume, both temperatures, power,
// flow, a BCD volume, a stored energy, operating days, temperature difference.
QByteArray busJson(int meterCount)
{
    QStringList meters;
    for (int a = 1; a <= meterCount; ++a)
        meters << QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [2400], "medium": 4,
            "records": ["0406E8030000", "04134C1D0000", "025B4600", "025F2800", "022BF401", "023B7800",
                        "0C1478563412", "4406D0070000", "02271E00", "02616400"]})")
                      .arg(a)
                      .arg(20000000 + a);
    return ("{\"meters\": [" + meters.join(',') + "]}").toUtf8();
}

struct CycleCost {
    double cpu = 0;
    double wall = 0;
    int read = 0;
};

CycleCost runCycle(master::MasterStation& station)
{
    station.cmdStart();
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    station.timerTick();
    CycleCost cost{cpuSeconds() - cpu0, clock.elapsed() / 1000.0, 0};
    // The cycle loads the meter list afresh: the counts are this cycle's.
    for (int r = 1; r <= station.meters.meterCount(); ++r)
        cost.read += station.meters.meter(r).OkCount;
    return cost;
}

void measure(int meterCount)
{
    SimInstallation inst(busJson(meterCount), false);
    master::MasterStation station;
    QObject::connect(&station, &master::MasterStation::message,
                     [](const QString& text, const QString&) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    master::FrmKelvaroV4 window(station);
    window.show();
    station.load("Auto -M1320 -C1 -T0");
    const CycleCost first = runCycle(station);
    const CycleCost steady = runCycle(station);
    std::printf("%4d meters: first cycle %6.3f s CPU = %5.1f ms a meter (%d read, %.2f s), "
                "steady %6.3f s CPU = %5.1f ms a meter (%d read, %.2f s)\n",
                meterCount, first.cpu, 1000 * first.cpu / meterCount, first.read, first.wall, steady.cpu,
                1000 * steady.cpu / meterCount, steady.read, steady.wall);
    std::fflush(stdout);
    station.formUnload();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> counts;
    for (const QString& arg : app.arguments().mid(1))
        if (arg.toInt() > 0)
            counts << arg.toInt();
    if (counts.isEmpty())
        counts = {10, 60, 120, 250};
    for (int n : counts)
        measure(n);
    return 0;
}
