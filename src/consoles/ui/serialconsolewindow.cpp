#include "consoles/ui/serialconsolewindow.h"

#include "consoles/logwindowmodel.h"
#include "consoles/serialconsole.h"
#include "consoles/ui/frmmbusfelsbrunn.h"
#include "consoles/ui/frmmbuslog.h"

namespace kelvaro {

QWidget* CreateSerialConsoleWindow(mbus::PortDirectory ports)
{
    auto* model = new LogWindowModel;
    auto* console = new SerialConsole(std::move(ports), *model);
    auto* log = new FrmMBusLog(*model);
    auto* window = new FrmMBusFelsbrunn(*console, *log);
    // Children go in this order so that the log window, which reads the
    // model, is deleted before it.
    log->setParent(window, Qt::Window);
    console->setParent(window);
    model->setParent(window);
    log->show();
    return window;
}

} // namespace kelvaro
