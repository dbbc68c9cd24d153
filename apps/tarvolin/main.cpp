// tarvolin: the test bench of one M-Bus line ("tarvolin -M200", "tarvolin qvxnk").
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"
#include "testbench/testbench.h"
#include "testbench/ui/frmtarvolin.h"

#include <QApplication>

namespace {

const char* const kHelp =
    "Usage: tarvolin [-M<client>] [<access word>]\n"
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
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("tarvolin"), kHelp))
        return *answered;
    QApplication app(argc, argv);

    kelvaro::testbench::TestBench bench;
    kelvaro::testbench::FrmTarvolin window(bench);
    // SIGTERM and SIGINT close the window: a running search stops at its next wait.
    kelvaro::InstallMainWindow(app, &window);

    bench.load(QApplication::arguments().mid(1).join(' '));
    window.applyFormSize();
    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
