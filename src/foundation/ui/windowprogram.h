#pragma once
#include <QString>
#include <optional>

class QApplication;
class QWidget;

namespace kelvaro {

// The start of every window program, before its QApplication exists: answers
// --help and --version (then the exit code is returned and nothing else is
// done), catches SIGTERM and SIGINT, and picks the offscreen platform when
// there is no display (a service, a test).
std::optional<int> PrepareWindowProgram(int argc, char** argv, const QString& program, const char* help);

// Once the application and its main window exist: the widget message boxes,
// a caught signal closing the window, the program ending with its last window.
void InstallMainWindow(QApplication& app, QWidget* mainWindow);

} // namespace kelvaro
