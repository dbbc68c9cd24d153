// kelvaro-start: the start menu opening the station's main windows in one process.
#include "consoles/ui/serialconsolewindow.h"
#include "editors/editorenvironment.h"
#include "editors/metereditor.h"
#include "editors/ui/frmmbusedit.h"
#include "foundation/ui/termination.h"
#include "foundation/ui/windowprogram.h"
#include "master/masterstation.h"
#include "master/ui/frmkelvarov4.h"
#include "mbus/lineconfig.h"
#include "startmenu/ui/frmmbusstart.h"
#include "testbench/testbench.h"
#include "testbench/ui/frmtarvolin.h"

#include <QApplication>
#include <optional>

namespace {

const char* const kHelp =
    "Usage: kelvaro-start [-M<client>]\n"
    "\n"
    "The start menu: opens the test bench (\"Tarvolin\"), the meter editor (\"MBus Edit\"),\n"
    "the master (\"Master\") and the serial console (\"FelsbrunnTest\"), each once, in\n"
    "this process. The command line is handed to each window as its own. Works in the\n"
    "installation directory (the working directory with OVX.INI).\n"
    "\n"
    "  --help, -h    this text and exit\n"
    "  --version     the version and exit";

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = kelvaro::PrepareWindowProgram(argc, argv, QStringLiteral("kelvaro-start"), kHelp))
        return *answered;
    QApplication app(argc, argv);
    const QString commandLine = QApplication::arguments().mid(1).join(' ');

    kelvaro::startmenu::FrmMBusStart start;
    kelvaro::InstallMainWindow(app, &start);

    // Each core object is a child of its window and ends with it.
    start.addWindowEntry(QStringLiteral("Tarvolin"), [commandLine]() -> QWidget* {
        auto* bench = new kelvaro::testbench::TestBench;
        auto* window = new kelvaro::testbench::FrmTarvolin(*bench);
        bench->setParent(window);
        bench->load(commandLine);
        window->applyFormSize();
        return window;
    });
    std::optional<kelvaro::EditorEnvironment> environment;
    start.addWindowEntry(QStringLiteral("MBus Edit"), [commandLine, &environment]() -> QWidget* {
        if (!environment)
            environment = kelvaro::EditorEnvironment::load(commandLine);
        auto* editor = new kelvaro::MeterEditor(environment->database, environment->client);
        auto* window = new kelvaro::FrmMBusEdit(*editor, *environment);
        editor->setParent(window);
        window->load();
        return window;
    });
    start.addWindowEntry(QStringLiteral("Master"), [commandLine]() -> QWidget* {
        auto* station = new kelvaro::master::MasterStation;
        auto* window = new kelvaro::master::FrmKelvaroV4(*station);
        station->setParent(window);
        station->load(commandLine);
        return window;
    });
    start.addWindowEntry(QStringLiteral("FelsbrunnTest"),
                         [] { return kelvaro::CreateSerialConsoleWindow(kelvaro::mbus::LoadPortDirectory()); });

    start.show();
    return kelvaro::ExecUntilTerminated(app);
}
