// The master's cycle against mbus-sim with wire time: cycle time of ten
// meters at 2400 baud over the physical minimum (wire time, answer delays and
// the 0.1 s pauses), CPU use during a cycle and while idle, and a soak
// (--soak N cycles without wire time) watching memory and open files.
//   build/bench/bench_master_cycle [--soak 500] [--idle 30]
#include "siminstallation.h"
#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "master/installation.h"
#include "master/masterstation.h"
#include "mbus/wire/eventwait.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace kelvaro;

namespace {

constexpr double kCharMs = 11000.0 / 2400;
constexpr int kDelayMs = 5;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long rssKb()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// Messages for a box go to standard error, as the headless program shows them.
void printMessages(master::MasterStation& station)
{
    QObject::connect(&station, &master::MasterStation::message,
                     [](const QString& text, const QString&) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
}

int openFiles() { return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()); }

QByteArray busJson()
{
    QStringList meters;
    for (int a = 1; a <= 10; ++a)
        meters << QStringLiteral(R"({"primary": %1, "id": "123456%2", "baud": [2400], "medium": 4, "delay": %3,
            "records": ["0406E8030000", "04134C1D0000", "025B4600", "025F2800", "022BF401", "023B7800"]})")
                      .arg(a)
                      .arg(a, 2, 10, QLatin1Char('0'))
                      .arg(kDelayMs);
    return ("{\"meters\": [" + meters.join(',') + "]}").toUtf8();
}

void cycleTime(int idleSeconds)
{
    SimInstallation inst(busJson(), true);
    master::MasterStation station;
    printMessages(station);
    station.load("Auto -M1320 -C1");
    // The first cycle builds the index lists; measure the second one.
    station.timerTick();
    station.cmdStart();
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    station.timerTick();
    const double secs = clock.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpu0;
    // Per meter: selection (17), E5 (1), REQ_UD2 (5) and the reply on the wire,
    // two answer delays and the pause before the meter.
    const int replyBytes = 7 + 12 + 28 + 2; // 68 L L 68 C A CI, header, the six records, CS 16
    const double perMeterMs = (17 + 1 + 5 + replyBytes) * kCharMs + 2 * kDelayMs + 100;
    const double minimum = 10 * perMeterMs / 1000.0;
    std::printf("cycle of 10 meters at 2400 baud: %.2f s, physical minimum %.2f s, ratio %.3f (%s)\n", secs, minimum,
                secs / minimum, qPrintable(station.label1));
    std::printf("  CPU during the cycle: %.3f s = %.2f %%\n", cpu, 100 * cpu / secs);

    station.text1Changed("3600"); // next cycle far away: the timer ticks idly
    station.cmdStart();
    const double idle0 = cpuSeconds();
    clock.restart();
    mbus::PauseWithEvents(idleSeconds * 1000);
    const double idleCpu = cpuSeconds() - idle0;
    std::printf("  CPU while idle between cycles: %.4f s in %.0f s = %.3f %%\n", idleCpu, clock.elapsed() / 1000.0,
                100 * idleCpu / (clock.elapsed() / 1000.0));
    station.formUnload();
}

void soak(int cycles)
{
    SimInstallation inst(busJson(), false);
    master::MasterStation station;
    printMessages(station);
    station.load("Auto -M1320 -C1 -T0");
    long rss0 = 0;
    int files0 = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= cycles; ++i) {
        station.cmdStart();
        station.timerTick();
        if (i == 20) {
            rss0 = rssKb();
            files0 = openFiles();
        }
        if (i % 100 == 0 || i == cycles)
            std::printf("  cycle %d: RSS %ld kB, open files %d, %s\n", i, rssKb(), openFiles(), qPrintable(station.label1));
    }
    std::printf("soak: %d cycles in %.0f s; RSS after 20 cycles %ld kB, at the end %ld kB; open files %d -> %d\n",
                cycles, clock.elapsed() / 1000.0, rss0, rssKb(), files0, openFiles());
    station.formUnload();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int soakAt = static_cast<int>(args.indexOf("--soak"));
    const int idleAt = static_cast<int>(args.indexOf("--idle"));
    cycleTime(idleAt > 0 ? args.value(idleAt + 1).toInt() : 20);
    if (soakAt > 0)
        soak(args.value(soakAt + 1).toInt());
    return 0;
}
