// The test bench's searches against kelvaro-cli's scans, on one simulated bus
// with wire time: 12 meters with close identifications at 2400 Bd
// (tools/mbus-sim/buses/close-ids.json). The core object the window drives
// runs headless here, with its grids, labels and progress signals.
//   build/bench/bench_testbench_search [--rounds N] [--secondary-only | --primary-only]
#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "mbus/wire/timeouts.h"
#include "testbench/testbench.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>

using namespace kelvaro;

namespace {

constexpr int kBaud = 2400;
const QString kCli = QStringLiteral(KELVARO_BINARY_DIR "/apps/kelvaro-cli/kelvaro-cli");

struct Sim {
    Sim()
    {
        process.start(QStringLiteral(KELVARO_BINARY_DIR "/tools/mbus-sim/mbus-sim"),
                      {QStringLiteral(KELVARO_SOURCE_DIR "/tools/mbus-sim/buses/close-ids.json")});
        QByteArray out;
        while (!out.contains('\n') && process.waitForReadyRead(5000))
            out += process.readAllStandardOutput();
        const auto m = QRegularExpression(QStringLiteral("on (\\S+)")).match(QString::fromLocal8Bit(out));
        device = m.hasMatch() ? m.captured(1) : QString();
    }
    ~Sim()
    {
        process.terminate();
        process.waitForFinished(2000);
    }
    QProcess process;
    QString device;
};

// Wall time of one kelvaro-cli run, in seconds; its output in `out`.
double runCli(const QStringList& args, QString* out = nullptr)
{
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(kCli, args);
    cli.waitForFinished(600000);
    const double secs = clock.elapsed() / 1000.0;
    if (out)
        *out = QString::fromUtf8(cli.readAllStandardOutput());
    return secs;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = static_cast<int>(args.indexOf(QStringLiteral("--rounds")));
    const int rounds = at > 0 ? std::max(1, args.value(at + 1).toInt()) : 1;
    const bool secondary = !args.contains(QStringLiteral("--primary-only"));
    const bool primary = !args.contains(QStringLiteral("--secondary-only"));

    Sim sim;
    if (sim.device.isEmpty()) {
        std::fprintf(stderr, "mbus-sim did not start\n");
        return 1;
    }
    QTemporaryDir installation;
    QDir::setCurrent(installation.path());
    WriteIniString("OVX", "OVXMandant", "200", kOvxIni);
    WriteIniString("OVX", "COM1", sim.device, kOvxIni);
    testbench::TestBench bench;
    bench.load(QString());
    bench.setComPort("1");
    bench.setBaud(QString::number(kBaud));
    bench.baudBoxes = {false, false, true, false, false, false};
    const QStringList line{"--device", sim.device, "--baud", QString::number(kBaud)};

    // What a CLI run costs besides the bus: the process start (the empty range
    // is refused before the line is opened).
    QList<double> startup;
    for (int i = 0; i < 3; ++i)
        startup << runCli(QStringList{"scan-primary"} + line + QStringList{"--from", "1", "--to", "0"});
    const double cliStart = median(startup);
    std::printf("12 meters with close identifications at %d Bd, wire time; kelvaro-cli process start %.3f s\n", kBaud,
                cliStart);

    if (secondary) {
        QList<double> core, cli;
        QString cliOut;
        for (int r = 0; r < rounds; ++r) {
            QElapsedTimer clock;
            clock.start();
            bench.cmdSekSuchen();
            core << clock.elapsed() / 1000.0;
            cli << runCli(QStringList{"scan-secondary"} + line, &cliOut) - cliStart;
        }
        const QString summary = cliOut.trimmed().section('\n', -1);
        std::printf("secondary search: test bench %.2f s (%d found: %s), kelvaro-cli scan-secondary %.2f s (%s), "
                    "ratio %.3f\n",
                    median(core), bench.foundGrid.rowCount(), bench.resultLabel.toUtf8().constData(), median(cli),
                    summary.toUtf8().constData(), median(core) / median(cli));
    }
    if (primary) {
        QList<double> core, cli;
        for (int r = 0; r < rounds; ++r) {
            bench.vonField = "0";
            bench.bisField = "250";
            QElapsedTimer clock;
            clock.start();
            bench.cmdPrimSuchen();
            core << clock.elapsed() / 1000.0;
            cli << runCli(QStringList{"scan-primary"} + line + QStringList{"--from", "0", "--to", "250"}) - cliStart;
        }
        const double window = (mbus::BusTimeouts{}.answerWindowMs(kBaud) + 5 * 11000.0 / kBaud) / 1000.0;
        std::printf("primary search 0..250: test bench %.2f s (%s), kelvaro-cli scan-primary %.2f s, ratio %.3f; "
                    "239 silent addresses at request + answer window %.1f ms = %.2f s\n",
                    median(core), bench.elapsedLabel.toUtf8().constData(), median(cli), median(core) / median(cli),
                    window * 1000, 239 * window);
    }
    return 0;
}
