#include "foundation/ui/termination.h"

#include "foundation/termination.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kelvaro {
namespace {

#ifdef Q_OS_UNIX
int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signalCount = 0;
unsigned g_graceSeconds = 10;

void onTerminationSignal(int signal)
{
    if (g_signalCount != 0)
        ::_exit(128 + signal);
    g_signalCount = 1;
    ::alarm(g_graceSeconds);
    const char c = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &c, 1);
}

void onGraceOver(int) { ::_exit(128 + SIGTERM); }

void handle(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}
#endif

void closeEverything(QWidget* mainWindow)
{
    SetTerminationRequested();
    // A modal dialog runs its own event loop inside the code that opened it;
    // ending it lets that code return (and see that the program ends).
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        modal->hide();
    }
    if (mainWindow)
        mainWindow->close();
    QCoreApplication::exit(0);
}

} // namespace

void CatchTerminationSignals(int graceSeconds)
{
#ifdef Q_OS_UNIX
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    g_graceSeconds = static_cast<unsigned>(std::max(1, graceSeconds));
    handle(SIGALRM, onGraceOver);
    handle(SIGTERM, onTerminationSignal);
    handle(SIGINT, onTerminationSignal);
#else
    Q_UNUSED(graceSeconds);
#endif
}

namespace {

// Runs `handle` with the signal's number once the first signal has arrived.
void whenSignalled(std::function<void(int signal)> handle)
{
#ifdef Q_OS_UNIX
    CatchTerminationSignals();
    if (g_pipe[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [notifier, handle] {
        char c = 0;
        [[maybe_unused]] const auto n = ::read(g_pipe[0], &c, 1);
        notifier->setEnabled(false);
        handle(static_cast<unsigned char>(c));
    });
#else
    Q_UNUSED(handle);
#endif
}

} // namespace

void InstallTerminationSignals(QWidget* mainWindow)
{
    QPointer<QWidget> window(mainWindow);
    whenSignalled([window](int) { closeEverything(window); });
}

void InstallTerminationHandler(std::function<void(int signal)> onSignal)
{
    whenSignalled([onSignal](int signal) {
        SetTerminationRequested();
        if (onSignal)
            onSignal(signal);
    });
}

int ExecUntilTerminated(QApplication& app)
{
    if (TerminationRequested())
        return 0;
    return app.exec();
}

} // namespace kelvaro
