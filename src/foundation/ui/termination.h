#pragma once

class QApplication;
class QWidget;

namespace kelvaro {

// SIGTERM and SIGINT end the program in every state. The first signal closes
// every open dialog and `mainWindow` (its close handling runs; no question is
// asked any more), then leaves every running event loop. A second signal, or
// a program still running `graceSeconds` after the first, ends at once.
void InstallTerminationSignals(QWidget* mainWindow, int graceSeconds = 10);

// app.exec(), unless a signal has already ended the program before its event
// loop ran (during start-up work that waits in nested loops).
int ExecUntilTerminated(QApplication& app);

} // namespace kelvaro
