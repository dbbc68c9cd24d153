#include "mbus/wire/serialtransport.h"

#include "mbus/wire/eventwait.h"

#include <QSerialPort>

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
    return true;
}

void SerialTransport::close()
{
    if (!port_)
        return;
    port_->close();
    port_->deleteLater();
    port_ = nullptr;
}

bool SerialTransport::isOpen() const { return port_ && port_->isOpen(); }

bool SerialTransport::setBaudRate(int baud)
{
    if (!port_ || baud <= 0)
        return false;
    if (!port_->setBaudRate(baud)) {
        warn(QStringLiteral("Baudrate %1: %2").arg(baud).arg(port_->errorString()));
        port_->clearError();
    }
    return true;
}

void SerialTransport::setRts(bool on)
{
    if (port_ && !port_->setRequestToSend(on)) {
        warn(QStringLiteral("RTS: ") + port_->errorString());
        port_->clearError();
    }
}

void SerialTransport::setDtr(bool on)
{
    if (port_ && !port_->setDataTerminalReady(on)) {
        warn(QStringLiteral("DTR: ") + port_->errorString());
        port_->clearError();
    }
}

bool SerialTransport::write(const QByteArray& bytes, int timeoutMs)
{
    if (!isOpen() || port_->write(bytes) != bytes.size())
        return false;
    return WaitForWritten(port_, timeoutMs);
}

QByteArray SerialTransport::readAvailable() { return isOpen() ? port_->readAll() : QByteArray(); }

bool SerialTransport::waitForBytes(int timeoutMs) { return WaitForBytes(port_, timeoutMs); }

void SerialTransport::discardInput()
{
    if (!isOpen())
        return;
    port_->clear(QSerialPort::Input);
    port_->readAll();
}

} // namespace kelvaro::mbus
