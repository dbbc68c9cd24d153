#include "foundation/ui/windowprogram.h"

#include "foundation/programinfo.h"
#include "foundation/ui/messagebox.h"
#include "foundation/ui/termination.h"

#include <QApplication>

namespace kelvaro {

std::optional<int> PrepareWindowProgram(int argc, char** argv, const QString& program, const char* help)
{
    // Answered before anything is set up: the working directory stays untouched.
    if (const auto answered = AnswerHelpOrVersion(argc, argv, program, QString::fromUtf8(help)))
        return answered;
    CatchTerminationSignals();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::nullopt;
}

void InstallMainWindow(QApplication& app, QWidget* mainWindow)
{
    InstallWidgetMessageHandler();
    InstallTerminationSignals(mainWindow);
    app.setQuitOnLastWindowClosed(true);
}

} // namespace kelvaro
