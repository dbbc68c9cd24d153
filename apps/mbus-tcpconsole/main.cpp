// mbus-tcpconsole: sends one M-Bus frame to a device server and shows the reply.
#include "consoles/tcpconsole.h"
#include "consoles/ui/frmtcpmbus.h"
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"

#include <QApplication>
#include <QLineEdit>

namespace {

const char* const kHelp =
    "Usage: mbus-tcpconsole [address [port]]\n"
    "\n"
    "The TCP console: connects to a serial-to-Ethernet device server (port 10001\n"
    "unless given), sends a frame typed as a hex list (\"10;7B;0A;85;16;\") and shows\n"
    "the reply bytes. An address rfc2217://host:port reaches a server that speaks\n"
    "the telnet COM port option.\n"
    "\n"
    "  address       fills the TCP/IP field\n"
    "  port          fills the Port field\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("mbus-tcpconsole"), kHelp))
        return *answered;
    QApplication app(argc, argv);

    kelvaro::TcpConsole console;
    kelvaro::FrmTCPMBus window(console);
    kelvaro::InstallMainWindow(app, &window);
    const QStringList args = QApplication::arguments().mid(1);
    if (!args.isEmpty())
        window.txtIP->setText(args.at(0));
    if (args.size() > 1)
        window.txtPort->setText(args.at(1));

    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
