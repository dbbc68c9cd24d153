// Timed runs against mbus-sim with wire time (11 bits per character, each
// meter's answer delay): how close a reading comes to the physical minimum,
// how much CPU the waits use, and how long the searches take.
//   build/bench/bench_bus_timing [--quick]
#include "mbus/frame.h"
#include "mbus/wire/meterreading.h"
#include "mbus/wire/nativeprovider.h"
#include "mbus/wire/providerselect.h"
#include "testbench/primarysearch.h"
#include "testbench/secondarysearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace kelvaro;
using namespace kelvaro::mbus;

namespace {

constexpr int kBaud = 2400;
constexpr double kCharMs = 11000.0 / kBaud;
constexpr int kDelayMs = 5;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Sim {
    explicit Sim(const QByteArray& json)
    {
        QFile f(dir.filePath("bus.json"));
        f.open(QIODevice::WriteOnly);
        f.write(json);
        f.close();
        process.start(QStringLiteral(KELVARO_BINARY_DIR "/tools/mbus-sim/mbus-sim"), {f.fileName()});
        process.waitForReadyRead(5000);
        const QString line = QString::fromLocal8Bit(process.readAllStandardOutput());
        device = line.section(' ', -1).trimmed();
    }
    ~Sim()
    {
        process.terminate();
        process.waitForFinished(2000);
    }
    QTemporaryDir dir;
    QProcess process;
    QString device;
};

QString meterJson(int primary, const QString& id)
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [2400], "delay": %3,
        "records": ["0406E8030000", "04134C1D0000", "025B4600", "025F2800", "022BF401", "023B7800", "046D2B0BC821"]})")
        .arg(primary)
        .arg(id)
        .arg(kDelayMs);
}

QByteArray busJson(const QStringList& meters) { return ("{\"meters\": [" + meters.join(',') + "]}").toUtf8(); }

void oneMeter(int rounds)
{
    Sim sim(busJson({meterJson(1, "12345601")}));
    NativeProvider provider;
    provider.openDevice(sim.device, kBaud);
    provider.setPortDirectory(PortDirectory::everyPortTo(sim.device));

    // Primary reading: SND_NKE, E5, REQ_UD2, RSP_UD.
    provider.APPREQUD2(1);
    const int replyBytes = static_cast<int>(provider.lastAnswer().size());
    const double primaryMin = (5 + 1 + 5 + replyBytes) * kCharMs + 2 * kDelayMs;
    const double selectMin = (17 + 1 + 5 + replyBytes) * kCharMs + 2 * kDelayMs;

    QElapsedTimer clock;
    const double cpu0 = cpuSeconds();
    clock.start();
    for (int i = 0; i < rounds; ++i) {
        provider.APPSNDNKE(1);
        provider.APPREQUD2(1);
        if (provider.APPReceiveTest() != 3)
            std::printf("  reading %d failed\n", i);
    }
    const double primaryMs = clock.elapsed() / double(rounds);
    MeterBusFields meter;
    meter.MB_ID = "12345601";
    BusPort unused;
    clock.restart();
    for (int i = 0; i < rounds; ++i)
        if (MB_ZaehlerLesen(unused, provider, meter) != 0)
            std::printf("  secondary reading %d failed\n", i);
    const double secondaryMs = clock.elapsed() / double(rounds);
    const double wall = (primaryMs + secondaryMs) * rounds / 1000.0;
    const double cpu = cpuSeconds() - cpu0;

    std::printf("one meter at %d baud, reply %d bytes, answer delay %d ms\n", kBaud, replyBytes, kDelayMs);
    std::printf("  primary   (SND_NKE + REQ_UD2): %.1f ms, minimum %.1f ms, ratio %.3f\n", primaryMs, primaryMin,
                primaryMs / primaryMin);
    std::printf("  secondary (select + REQ_UD2):  %.1f ms, minimum %.1f ms, ratio %.3f\n", secondaryMs, selectMin,
                secondaryMs / selectMin);
    std::printf("  CPU while reading: %.3f s of %.1f s wall = %.2f %%\n", cpu, wall, 100.0 * cpu / wall);
}

void primaryScan(int to)
{
    Sim sim(busJson({meterJson(1, "1"), meterJson(17, "17"), meterJson(120, "120"), meterJson(250, "250")}));
    NativeProvider provider;
    provider.setPortDirectory(PortDirectory::everyPortTo(sim.device));
    testbench::PrimarySearch search;
    QElapsedTimer clock;
    clock.start();
    const double cpu0 = cpuSeconds();
    const int found = search.M_Bus_SuchenVonBisRac(provider, 1, kBaud, 0, to, 1, TimeoutSettings{});
    const double secs = clock.elapsed() / 1000.0;
    std::printf("primary scan 0..%d at %d baud: %d meters in %.1f s (%.1f ms per address), CPU %.2f %%\n", to, kBaud,
                found, secs, secs * 1000 / (to + 1), 100.0 * (cpuSeconds() - cpu0) / secs);
}

void secondarySearch()
{
    QStringList meters;
    const char* ids[] = {"12345601", "12345602", "12345611", "22345603", "32345604", "41000000",
                         "41000001", "55555555", "65555555", "70000007", "88888888", "99999990"};
    for (int i = 0; i < 12; ++i)
        meters << meterJson(i + 1, QString::fromLatin1(ids[i]));
    Sim sim(busJson(meters));
    NativeProvider provider;
    provider.setPortDirectory(PortDirectory::everyPortTo(sim.device));
    testbench::SecondarySearch search;
    QElapsedTimer clock;
    clock.start();
    const int found = search.run(provider, 1, {kBaud});
    const double secs = clock.elapsed() / 1000.0;
    std::printf("secondary search, 12 meters at %d baud: %d found, %d selections, %.1f s\n", kBaud, found,
                search.selectionsSent, secs);

    provider.APPInitCom(1, kBaud);
    clock.restart();
    const int probes = 20;
    for (int i = 0; i < probes; ++i)
        provider.APPSelect(0, "3fffffff");
    const double probeMs = clock.elapsed() / double(probes);
    const double windowMs = BusTimeouts{}.answerWindowMs(kBaud) + 17 * kCharMs;
    std::printf("  unanswered selection: %.1f ms, request + answer window %.1f ms, ratio %.3f\n", probeMs, windowMs,
                probeMs / windowMs);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    oneMeter(quick ? 5 : 20);
    primaryScan(quick ? 30 : 250);
    secondarySearch();
    return 0;
}
