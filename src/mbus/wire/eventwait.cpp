#include "mbus/wire/eventwait.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <utility>
#include <vector>

namespace kelvaro::mbus {
namespace {

// The waits running now on this thread, innermost last, with their device.
thread_local std::vector<std::pair<const QIODevice*, QEventLoop*>> runningWaits;

// A line that goes away ends the wait at once: a port's error (its transport
// then tells whether the line is lost), a socket's closed connection.
void wakeOnLoss(QIODevice* device, QEventLoop& loop)
{
    if (auto* port = qobject_cast<QSerialPort*>(device))
        QObject::connect(port, &QSerialPort::errorOccurred, &loop, [&loop](QSerialPort::SerialPortError error) {
            if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
                loop.quit();
        });
    if (auto* socket = qobject_cast<QAbstractSocket*>(device)) {
        QObject::connect(socket, &QAbstractSocket::disconnected, &loop, &QEventLoop::quit);
        QObject::connect(socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    }
}

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
        wakeOnLoss(device, loop);
    }
    timer.start(std::max(0, timeoutMs));
    runningWaits.emplace_back(device, &loop);
    loop.exec();
    std::erase(runningWaits, std::pair<const QIODevice*, QEventLoop*>(device, &loop));
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

void InterruptWaits(const QIODevice* device)
{
    if (!device)
        return;
    for (const auto& [waitingOn, loop] : runningWaits)
        if (waitingOn == device)
            loop->quit();
}

} // namespace kelvaro::mbus
