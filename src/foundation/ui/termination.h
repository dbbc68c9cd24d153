#pragma once
#include <functional>

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

// For a program that works without a window (one run, then exit): the first
// signal marks the termination and calls `onSignal` with the signal's number.
// Running waits are not cut short, so the work can end at its next sensible
// point; the grace time and a second signal still end it at once.
void InstallTerminationHandler(std::function<void(int signal)> onSignal);

// app.exec(), unless a signal has already ended the program before its event
// loop ran (during start-up work that waits in nested loops).
int ExecUntilTerminated(QApplication& app);

} // namespace kelvaro
