// tarvolin: the test bench of one M-Bus line ("tarvolin -M200", "tarvolin qvxnk").
#include "foundation/programinfo.h"
#include "foundation/ui/messagebox.h"
#include "foundation/ui/termination.h"
#include "testbench/testbench.h"
#include "testbench/ui/frmtarvolin.h"

#include <QApplication>

namespace {

const char* const kHelp =
    "usage: tarvolin [-M<client>] [<access word>]\n"
    "\n"
    "The test bench of one M-Bus line: reads meters by primary or secondary address,\n"
    "searches the bus, saves found-meter lists, imports them and index lists into the\n"
    "client database, dials a modem. Works in the installation directory (the working\n"
    "directory with OVX.INI); settings in [Tarvolin<client>] and [<client>MBus].\n"
    "\n"
    "  -M<client>    client number (default: OVXMandant in [OVX] of OVX.INI, else 200)\n"
    "  <access word> the technician's access word: the whole window\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    // Answered before anything is set up: the working directory stays untouched.
    if (const auto answered = kelvaro::AnswerHelpOrVersion(argc, argv, QStringLiteral("tarvolin"), QString::fromUtf8(kHelp)))
        return *answered;
    kelvaro::CatchTerminationSignals();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kelvaro::InstallWidgetMessageHandler();

    kelvaro::testbench::TestBench bench;
    kelvaro::testbench::FrmTarvolin window(bench);
    // SIGTERM and SIGINT close the window: a running search stops at its next wait.
    kelvaro::InstallTerminationSignals(&window);
    app.setQuitOnLastWindowClosed(true);

    bench.load(QApplication::arguments().mid(1).join(' '));
    window.applyFormSize();
    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
