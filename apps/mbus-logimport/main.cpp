// mbus-logimport: the log import window of a client ("mbus-logimport -M1320").
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"
#include "logimport/ui/frmimportlogfile.h"
#include "logimport/ui/logimportenvironment.h"

#include <QApplication>

namespace {

const char* const kHelp =
    "Usage: mbus-logimport [-M<client>]\n"
    "\n"
    "The log import: rebuilds the client's RB6 files from the daily M-Bus log files\n"
    "(DBPATH MBusLog\\yymmddmb.log) of a range of days, the old RB6 files moved into a\n"
    "dated backup folder first; imports a single log file; shows the last values of\n"
    "one M-Bus address day by day; and inspects single RB6 files (header, values of\n"
    "a time range, position of a time, one day, a generated test file).\n"
    "An import waits while a master's cycle writes RB6 files, and can be cancelled.\n"
    "Works in the installation directory (the working directory with OVX.INI).\n"
    "\n"
    "  -M<client>    client number (default 1320)\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("mbus-logimport"), kHelp))
        return *answered;
    QApplication app(argc, argv);

    const auto environment =
        kelvaro::logimport::LogImportEnvironment::load(QApplication::arguments().mid(1).join(QLatin1Char(' ')));
    kelvaro::logimport::FrmImportLogFile window;
    kelvaro::InstallMainWindow(app, &window);

    window.load(environment);
    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
