// mbus-serialconsole: sends selection frames on a serial line and decodes the reply.
#include "consoles/serialconsole.h"
#include "consoles/ui/frmmbusfelsbrunn.h"
#include "consoles/ui/frmmbuslog.h"
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"
#include "mbus/lineconfig.h"

#include <QApplication>

namespace {

const char* const kHelp =
    "Usage: mbus-serialconsole\n"
    "\n"
    "The serial M-Bus console: opens a COM port (its device from OVX.INI, key COMn of\n"
    "section OVX), sends a selection frame chosen from the list or typed, expects E5,\n"
    "fetches the data with REQ_UD2 to address 253 and shows the decoded telegram; every\n"
    "step goes to the log window.\n"
    "Works in the installation directory (the working directory with OVX.INI).\n"
    "\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("mbus-serialconsole"), kHelp))
        return *answered;
    QApplication app(argc, argv);

    kelvaro::LogWindowModel model;
    kelvaro::SerialConsole console(kelvaro::mbus::LoadPortDirectory(), model);
    kelvaro::FrmMBusLog log(model);
    kelvaro::FrmMBusFelsbrunn window(console, log);
    kelvaro::InstallMainWindow(app, &window);
    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
