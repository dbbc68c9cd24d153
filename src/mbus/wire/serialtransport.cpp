#include "mbus/wire/serialtransport.h"

#include "mbus/wire/eventwait.h"

#include <QTimer>

#include <poll.h>

namespace kelvaro::mbus {

SerialTransport::SerialTransport(QString device, QObject* parent)
    : LineTransport(parent)
    , device_(std::move(device))
{
}

SerialTransport::~SerialTransport() { close(); }

bool SerialTransport::open(int baud)
{
    close();
    clearLineLost();
    port_ = new QSerialPort(device_, this);
    port_->setReadBufferSize(0);
    if (!port_->open(QIODevice::ReadWrite))
        return fail(QStringLiteral("Port %1 nicht geöffnet: %2").arg(device_, port_->errorString()));
    setBaudRate(baud);
    if (!port_->setDataBits(QSerialPort::Data8))
        warn(QStringLiteral("Datenbits: ") + port_->errorString());
    if (!port_->setParity(QSerialPort::EvenParity))
        warn(QStringLiteral("Parität: ") + port_->errorString());
    if (!port_->setStopBits(QSerialPort::OneStop))
        warn(QStringLiteral("Stoppbits: ") + port_->errorString());
    port_->setFlowControl(QSerialPort::NoFlowControl);
    port_->clearError();
    connect(port_, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
    return true;
}

void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::NotOpenError:
    case QSerialPort::UnsupportedOperationError:
        return;
    case QSerialPort::ResourceError:
        lose(port_->errorString());
        return;
    default:
        // A read of a hung-up terminal returns nothing and leaves an old
        // error number behind, so the descriptor itself is asked.
        if (hungUp())
            lose(QStringLiteral("Leitung aufgelegt"));
        return;
    }
}

bool SerialTransport::hungUp() const
{
    if (!port_ || !port_->isOpen())
        return false;
    pollfd fd{static_cast<int>(port_->handle()), POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void SerialTransport::lose(const QString& reason)
{
    if (isLineLost())
        return;
    markLineLost(device_ + QStringLiteral(": ") + reason);
    // A hung-up descriptor stays readable: closed, it stops waking the event
    // loop. Not here, inside the port's own notification.
    QTimer::singleShot(0, port_, [port = port_] {
        if (port->isOpen())
            port->close();
    });
}

void SerialTransport::close()
{
    if (!port_)
        return;
    port_->disconnect(this);
    if (port_->isOpen())
        port_->close();
    port_->deleteLater();
    port_ = nullptr;
}

bool SerialTransport::isOpen() const { return port_ && port_->isOpen() && !isLineLost(); }

bool SerialTransport::setBaudRate(int baud)
{
    if (!isOpen() || baud <= 0)
        return false;
    if (!port_->setBaudRate(baud)) {
        warn(QStringLiteral("Baudrate %1: %2").arg(baud).arg(port_->errorString()));
        port_->clearError();
    }
    return true;
}

void SerialTransport::setRts(bool on)
{
    if (isOpen() && !port_->setRequestToSend(on)) {
        warn(QStringLiteral("RTS: ") + port_->errorString());
        port_->clearError();
    }
}

void SerialTransport::setDtr(bool on)
{
    if (isOpen() && !port_->setDataTerminalReady(on)) {
        warn(QStringLiteral("DTR: ") + port_->errorString());
        port_->clearError();
    }
}

bool SerialTransport::write(const QByteArray& bytes, int timeoutMs)
{
    if (isOpen() && hungUp())
        lose(QStringLiteral("Leitung aufgelegt"));
    if (!isOpen() || port_->write(bytes) != bytes.size())
        return false;
    return WaitForWritten(port_, timeoutMs) && isOpen();
}

QByteArray SerialTransport::readAvailable() { return isOpen() ? port_->readAll() : QByteArray(); }

bool SerialTransport::waitForBytes(int timeoutMs)
{
    if (!isOpen())
        return false;
    if (port_->bytesAvailable() == 0 && hungUp()) {
        lose(QStringLiteral("Leitung aufgelegt"));
        return false;
    }
    return WaitForBytes(port_, timeoutMs) && isOpen();
}

void SerialTransport::interruptWait() { InterruptWaits(port_); }

void SerialTransport::discardInput()
{
    if (!isOpen())
        return;
    port_->clear(QSerialPort::Input);
    port_->readAll();
}

} // namespace kelvaro::mbus
