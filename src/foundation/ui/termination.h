#pragma once

class QApplication;
class QWidget;

namespace kelvaro {

// SIGTERM and SIGINT end the program in every state. The first signal closes
// every open dialog and the main window (its close handling runs; no question
// is asked any more), then leaves every running event loop. A second signal,
// or a program still running `graceSeconds` after the first, ends at once.
//
// The first thing in main(): signals are caught from here on and handled as
// soon as an event loop runs.
void CatchTerminationSignals(int graceSeconds = 10);
// Once the main window exists: what a caught signal closes.
void InstallTerminationSignals(QWidget* mainWindow);

// app.exec(), unless a signal has already ended the program before its event
// loop ran (during start-up work that waits in nested loops).
int ExecUntilTerminated(QApplication& app);

} // namespace kelvaro
