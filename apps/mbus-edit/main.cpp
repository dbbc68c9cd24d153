// mbus-edit: the meter list editor of a client ("mbus-edit -M200").
#include "editors/editorenvironment.h"
#include "editors/metereditor.h"
#include "editors/ui/frmmbusedit.h"
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"

#include <QApplication>

namespace {

const char* const kHelp =
    "Usage: mbus-edit [-M<client>]\n"
    "\n"
    "The meter list editor: lists the client's M-Bus meters and edits one meter at a\n"
    "time, its master data and its M-Bus index list, in the database the master\n"
    "reads (DBPATH basis.db of the client; client 1450: the server of dnq.conf).\n"
    "Works in the installation directory (the working directory with OVX.INI).\n"
    "\n"
    "  -M<client>    client number (else OVXMandant in [OVX] of OVX.INI, else 200)\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("mbus-edit"), kHelp))
        return *answered;
    QApplication app(argc, argv);

    const auto environment = kelvaro::EditorEnvironment::load(QApplication::arguments().mid(1).join(' '));
    kelvaro::MeterEditor editor(environment.database, environment.client);
    kelvaro::FrmMBusEdit window(editor, environment);
    kelvaro::InstallMainWindow(app, &window);

    window.load();
    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
