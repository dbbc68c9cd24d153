// mbus-readall: reads every primary address of one M-Bus line into a day file
// ("mbus-readall" the window, "mbus-readall Start" one read and exit).
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"
#include "mbus/lineconfig.h"
#include "mbus/wire/nativeprovider.h"
#include "readall/readall.h"
#include "readall/ui/frmmarvikmbus.h"

#include <QApplication>
#include <cstdio>

namespace {

const char* const kHelp =
    "Usage: mbus-readall [Start]\n"
    "\n"
    "Reads the M-Bus primary addresses 1 .. Anzahl on port ComPort at 9600 Bd and\n"
    "appends one tab-separated line per meter to <DatenPath><yymmdd>mb.txt. Settings\n"
    "in section [MB] of MB.INI, the port's line in the COM<n> keys of OVX.INI, both\n"
    "in the working directory. The window reads again at the first timer tick of\n"
    "each new month.\n"
    "\n"
    "  Start         read once at start and exit; SIGTERM or SIGINT ends the read\n"
    "                before its next meter, with the summary. Exit codes: 0 at\n"
    "                least one meter read, 1 no meter answered (or Anzahl 0),\n"
    "                4 the port cannot be opened, 5 a line could not be written,\n"
    "                128 + signal when a signal ended the read early\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("mbus-readall"), kHelp))
        return *answered;
    QApplication app(argc, argv);

    kelvaro::mbus::NativeProvider provider;
    provider.setPortDirectory(kelvaro::mbus::LoadPortDirectory());
    kelvaro::readall::ReadAll reader(provider);

    if (QApplication::arguments().mid(1).join(' ').trimmed().compare(QStringLiteral("Start"), Qt::CaseInsensitive) == 0) {
        // A signal ends the read before its next meter; the summary is still written.
        int signalled = 0;
        kelvaro::InstallTerminationHandler([&](int signal) {
            signalled = signal;
            reader.cancel();
        });
        const kelvaro::readall::ReadAllFields fields = kelvaro::readall::LoadReadAllFields();
        const auto summary = reader.readAll(fields);
        std::printf("%s\n", qPrintable(kelvaro::readall::SummaryText(summary)));
        std::fflush(stdout);
        if (!summary.error.isEmpty())
            std::fprintf(stderr, "mbus-readall: %s\n", qPrintable(summary.error));
        else if (summary.read + summary.failed == 0 && !summary.cancelled)
            std::fprintf(stderr, "mbus-readall: keine Adresse zu lesen (Anzahl \"%s\")\n", qPrintable(fields.count));
        return kelvaro::readall::StartExitCode(summary, signalled);
    }

    kelvaro::readall::FrmMarvikMBus window(reader);
    kelvaro::InstallMainWindow(app, &window);
    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
