// mbus-indexexport: the export index lists of the client's M-Bus meters
// ("mbus-indexexport -M200").
#include "editors/editorenvironment.h"
#include "editors/indexexporteditor.h"
#include "editors/ui/frmmbuseditindexexport.h"
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"

#include <QApplication>

namespace {

const char* const kHelp =
    "Usage: mbus-indexexport [-M<client>]\n"
    "\n"
    "The index list editor of the client's M-Bus meters: for each meter the M-Bus\n"
    "indexes whose values are exported, each with a text (table MBusIndexListe of\n"
    "the client database), and the export settings MBusExportIndexDatei and VorWert\n"
    "in the client's section of OVX.INI. Works in the installation directory (the\n"
    "working directory with OVX.INI).\n"
    "\n"
    "  -M<client>    client number (else OVXMandant in [OVX] of OVX.INI, else 200)\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("mbus-indexexport"), kHelp))
        return *answered;
    QApplication app(argc, argv);

    kelvaro::IndexExportEditor editor;
    kelvaro::FrmMBusEditIndexExport window(editor);
    kelvaro::InstallMainWindow(app, &window);

    window.load(kelvaro::EditorEnvironment::load(QApplication::arguments().mid(1).join(' ')));
    window.show();
    return kelvaro::ExecUntilTerminated(app);
}
