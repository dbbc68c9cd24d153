#include "mbus/wire/busport.h"

#include "foundation/lasterror.h"
#include "foundation/programlog.h"

namespace kelvaro::mbus {

BusPort::BusPort(QObject* parent)
    : QObject(parent)
{
}

BusPort::~BusPort() { close(); }

bool BusPort::open(const QString& device, int baud)
{
    QString error;
    std::unique_ptr<LineTransport> transport = CreateLineTransport(device, &error);
    if (!transport) {
        close();
        lost_ = false;
        device_ = device;
        error_ = error;
        SetLastErrorText(error_);
        WriteProgramLog(error_);
        return false;
    }
    return open(std::move(transport), device, baud);
}

bool BusPort::open(std::unique_ptr<LineTransport> transport, const QString& deviceName, int baud)
{
    close();
    error_.clear();
    lost_ = false;
    device_ = deviceName;
    baud_ = baud > 0 ? baud : 9600;
    transport_ = transport.release();
    transport_->setParent(this);
    if (!transport_->open(baud_)) {
        error_ = transport_->errorText();
        SetLastErrorText(error_);
        WriteProgramLog(error_);
        close();
        return false;
    }
    connect(transport_, &LineTransport::lineLost, this, [this](const QString& reason) {
        lost_ = true;
        error_ = reason;
        SetLastErrorText(reason);
        emit lineLost(reason);
    });
    setDtr(true);
    setRts(false);
    return true;
}

void BusPort::close()
{
    if (!transport_)
        return;
    transport_->disconnect(this);
    transport_->close();
    transport_->deleteLater(); // a wait inside it may still be unwinding
    transport_ = nullptr;
}

bool BusPort::isOpen() const { return transport_ && transport_->isOpen(); }

bool BusPort::setBaudRate(int baud)
{
    if (baud <= 0)
        return false;
    baud_ = baud;
    if (transport_)
        transport_->setBaudRate(baud);
    return true;
}

void BusPort::setRts(bool on)
{
    if (transport_)
        transport_->setRts(on);
}

void BusPort::setDtr(bool on)
{
    if (transport_)
        transport_->setDtr(on);
}

bool BusPort::write(const QByteArray& bytes)
{
    if (!isOpen())
        return false;
    const int bound = static_cast<int>(bytes.size() * 11 * 1000.0 / baud_) + 1000;
    return transport_->write(bytes, bound);
}

QByteArray BusPort::readAll() { return isOpen() ? transport_->readAvailable() : QByteArray(); }

bool BusPort::waitForBytes(int timeoutMs) { return isOpen() && transport_->waitForBytes(timeoutMs); }

void BusPort::discardInput()
{
    if (isOpen())
        transport_->discardInput();
}

} // namespace kelvaro::mbus
