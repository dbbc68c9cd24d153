// kelvaro-overview: every COM port with M-Bus meters, and one master per port
// ("kelvaro-overview Auto -M200").
#include "foundation/ui/messagebox.h"
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"
#include "overview/mastersupervisor.h"
#include "overview/overview.h"
#include "overview/ui/frmkelvarov4alle.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

const char* const kHelp =
    "Usage: kelvaro-overview [Auto] [-M<client>] [--headless]\n"
    "\n"
    "The multi-port overview: every COM port with M-Bus meters of the client, their\n"
    "number per baud rate, an estimated cycle time and whether the port's master runs.\n"
    "Choosing a port starts its master (kelvaro Auto -M<client> -C<port>). Works in the\n"
    "installation directory (the working directory with OVX.INI).\n"
    "\n"
    "Without a display (or with --headless) there is no window: the port table goes to\n"
    "standard output, and with Auto the program starts every port's master and stays\n"
    "as their supervisor, starting a master again that has ended (at most once per\n"
    "NeustartIntervall seconds of [<client>MBus], default 60). SIGTERM ends the\n"
    "supervisor; the masters go on running.\n"
    "\n"
    "With NeustartUm=hh:mm in [<client>MBus] (the box \"MBus Neustart um :\") every\n"
    "master started here is ended with SIGTERM once a day at that time and started\n"
    "again; one that has not ended after NeustartWarten seconds (default 30) gets\n"
    "SIGKILL.\n"
    "\n"
    "The master is taken from KelvaroProgramm in [OVX] of OVX.INI, else from beside\n"
    "this program, from a build tree or from PATH.\n"
    "\n"
    "  Auto          start the masters of all ports\n"
    "  -M<client>    client number (default: OVXMandant in [OVX] of OVX.INI)\n"
    "  --headless    no window even with a display\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

void printLine(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printPorts(kelvaro::overview::Overview& overview)
{
    const kelvaro::GridModel& grid = overview.grid;
    printLine(grid.headers().join('\t'));
    for (int row = 0; row < grid.rowCount(); ++row)
        printLine(grid.rowCells(row).join('\t'));
}

} // namespace

int main(int argc, char** argv)
{
    using namespace kelvaro::overview;
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("kelvaro-overview"), kHelp))
        return *answered;
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || std::strcmp(argv[i], "--headless") == 0;
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    arguments.removeAll(QStringLiteral("--headless"));
    const QString commandLine = arguments.join(' ');

    Overview::Environment environment;
    environment.programs = ProgramLocations::load();
    Overview overview(environment);

    if (!kelvaro::IsHeadless()) {
        FrmKelvaroV4Alle window(overview);
        kelvaro::InstallMainWindow(app, &window);
        window.show();
        overview.load(commandLine);
        return kelvaro::ExecUntilTerminated(app);
    }

    // SIGTERM and SIGINT end the event loop; the masters run in sessions of
    // their own and do not see them.
    kelvaro::InstallMainWindow(app, nullptr);
    overview.load(commandLine);
    printPorts(overview);
    if (!overview.autoStarted())
        return 0;
    for (const int port : overview.portNumbers())
        if (const qint64 pid = overview.launcher().pid(port))
            printLine(QStringLiteral("Com%1: %2 (PID %3)").arg(port).arg(overview.launcher().commandLine(port)).arg(pid));
        else if (overview.launcher().isRunning(port))
            printLine(QStringLiteral("Com%1 läuft bereits").arg(port));
    MasterSupervisor supervisor(overview.launcher(), LoadSupervisionSettings());
    QObject::connect(&supervisor, &MasterSupervisor::restarted, [&overview](int port) {
        printLine(QStringLiteral("Com%1 neu gestartet: %2 (PID %3)")
                      .arg(port)
                      .arg(overview.launcher().commandLine(port))
                      .arg(overview.launcher().pid(port)));
    });
    QObject::connect(&overview.dailyRestart(), &DailyRestart::restarted, [&overview](int port) {
        printLine(QStringLiteral("Com%1 täglich neu gestartet: %2 (PID %3)")
                      .arg(port)
                      .arg(overview.launcher().commandLine(port))
                      .arg(overview.launcher().pid(port)));
    });
    supervisor.supervise(overview.portNumbers());
    return kelvaro::ExecUntilTerminated(app);
}
