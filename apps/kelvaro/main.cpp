// kelvaro: the reading station of one COM port ("kelvaro Auto -M200 -C3").
#include "foundation/ui/messagebox.h"
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"
#include "master/masterstation.h"
#include "master/ui/frmkelvarov4.h"

#include <QApplication>
#include <cstdio>

namespace {

const char* const kHelp =
    "Usage: kelvaro [Auto] -M<client> -C<port> [-T<ms>] [testzaehler] [TEST ]\n"
    "\n"
    "The reading station of one COM port: reads the client's M-Bus meters at that port\n"
    "and stores their values. Works in the installation directory (the working\n"
    "directory with OVX.INI and dnq.conf).\n"
    "\n"
    "  Auto          start the reading cycles at once\n"
    "  -M<client>    client number (default: OVXMandant in [OVX] of OVX.INI)\n"
    "  -C<port>      COM port number\n"
    "  -T<ms>        pause between two meters in ms (default 100)\n"
    "  testzaehler   enable the test functions\n"
    "  TEST          step mode\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit\n"
    "\n"
    "Exit code 3: another master runs on the port (it holds the port's lock).";

// The start was refused because another master holds the port.
constexpr int kExitPortInUse = 3;

void printLine(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("kelvaro"), kHelp))
        return *answered;
    QApplication app(argc, argv);

    kelvaro::master::MasterStation station;
    kelvaro::master::FrmKelvaroV4 window(station);
    if (kelvaro::IsHeadless()) {
        QObject::connect(&station, &kelvaro::master::MasterStation::logLine, &printLine);
        QObject::connect(&station, &kelvaro::master::MasterStation::label1Changed, &printLine);
    }

    // SIGTERM and SIGINT run the window's close handling, so a service stops cleanly.
    kelvaro::InstallMainWindow(app, &window);
    QObject::connect(&station, &kelvaro::master::MasterStation::closeRequested, &app, &QApplication::quit);

    window.show();
    if (!kelvaro::IsHeadless())
        QObject::connect(&station, &kelvaro::master::MasterStation::startRefused, [](const QString& text) {
            std::fputs((text + '\n').toUtf8().constData(), stderr);
        });
    station.load(QApplication::arguments().mid(1).join(' '));
    if (station.refused())
        return kExitPortInUse;
    return kelvaro::ExecUntilTerminated(app);
}
