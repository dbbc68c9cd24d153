#include "mbus/wire/eventwait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace kelvaro::mbus {
namespace {

// Runs an event loop until `wake` is emitted or `timeoutMs` passes.
template <typename Signal>
void runUntil(QIODevice* device, Signal wake, int timeoutMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (device) {
        QObject::connect(device, wake, &loop, &QEventLoop::quit);
        QObject::connect(device, &QIODevice::aboutToClose, &loop, &QEventLoop::quit);
    }
    timer.start(std::max(0, timeoutMs));
    loop.exec();
}

} // namespace

bool WaitForBytes(QIODevice* device, int timeoutMs)
{
    if (!device || !device->isOpen())
        return false;
    if (device->bytesAvailable() > 0)
        return true;
    if (timeoutMs > 0)
        runUntil(device, &QIODevice::readyRead, timeoutMs);
    return device->isOpen() && device->bytesAvailable() > 0;
}

bool WaitForWritten(QIODevice* device, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (device && device->isOpen() && device->bytesToWrite() > 0) {
        const int left = timeoutMs - static_cast<int>(clock.elapsed());
        if (left <= 0)
            return false;
        runUntil(device, &QIODevice::bytesWritten, left);
    }
    return device && device->isOpen();
}

void PauseWithEvents(int ms)
{
    if (ms > 0)
        runUntil(nullptr, &QIODevice::readyRead, ms);
}

} // namespace kelvaro::mbus
