#include "mbus/wire/busport.h"

#include "foundation/lasterror.h"
#include "foundation/programlog.h"
#include "mbus/wire/eventwait.h"
#include "mbus/wire/portdevice.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace kelvaro::mbus {
namespace {
constexpr int kConnectTimeoutMs = 3000;

// Control characters (a NUL from a damaged INI file, say) make no device name;
// the serial port's lock-file handling must never see them.
bool hasControlCharacters(const QString& device)
{
    return std::any_of(device.cbegin(), device.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

QString printable(const QString& device)
{
    QString out;
    for (const QChar c : device)
        out += c.unicode() < 0x20 || c.unicode() == 0x7F ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar('0'))
                                                         : QString(c);
    return out;
}
} // namespace

BusPort::BusPort(QObject* parent)
    : QObject(parent)
{
}

BusPort::~BusPort() { close(); }

QIODevice* BusPort::device() const
{
    if (serial_)
        return serial_;
    return tcp_;
}

void BusPort::warn(const QString& what)
{
    warnings_ << what;
}

bool BusPort::open(const QString& device, int baud)
{
    close();
    warnings_.clear();
    error_.clear();
    device_ = device;
    baud_ = baud > 0 ? baud : 9600;
    bool ok = false;
    if (device.trimmed().isEmpty() || hasControlCharacters(device))
        error_ = QStringLiteral("Ungültiger Gerätename: \"%1\"").arg(printable(device));
    else
        ok = IsTcpDevice(device) ? openTcp(device) : openSerial(device, baud_);
    if (!ok) {
        SetLastErrorText(error_);
        WriteProgramLog(error_);
        close();
    }
    return ok;
}

bool BusPort::openSerial(const QString& device, int baud)
{
    serial_ = new QSerialPort(device, this);
    serial_->setReadBufferSize(0);
    if (!serial_->open(QIODevice::ReadWrite)) {
        error_ = QStringLiteral("Port %1 nicht geöffnet: %2").arg(device, serial_->errorString());
        return false;
    }
    if (!serial_->setBaudRate(baud))
        warn(QStringLiteral("Baudrate %1: %2").arg(baud).arg(serial_->errorString()));
    if (!serial_->setDataBits(QSerialPort::Data8))
        warn(QStringLiteral("Datenbits: ") + serial_->errorString());
    if (!serial_->setParity(QSerialPort::EvenParity))
        warn(QStringLiteral("Parität: ") + serial_->errorString());
    if (!serial_->setStopBits(QSerialPort::OneStop))
        warn(QStringLiteral("Stoppbits: ") + serial_->errorString());
    serial_->setFlowControl(QSerialPort::NoFlowControl);
    setDtr(true);
    setRts(false);
    serial_->clearError();
    return true;
}

bool BusPort::openTcp(const QString& device)
{
    const QUrl url(device);
    if (url.host().isEmpty() || url.port() <= 0) {
        error_ = QStringLiteral("Ungültige Geräteadresse: ") + device;
        return false;
    }
    tcp_ = new QTcpSocket(this);
    tcp_->setReadBufferSize(0);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(tcp_, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    connect(tcp_, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    tcp_->connectToHost(url.host(), static_cast<quint16>(url.port()));
    timer.start(kConnectTimeoutMs);
    if (tcp_->state() != QAbstractSocket::ConnectedState)
        loop.exec();
    if (tcp_->state() != QAbstractSocket::ConnectedState) {
        error_ = QStringLiteral("Verbindung zu %1 fehlgeschlagen: %2").arg(device, tcp_->errorString());
        return false;
    }
    tcp_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

void BusPort::close()
{
    if (serial_) {
        serial_->close();
        serial_->deleteLater();
        serial_ = nullptr;
    }
    if (tcp_) {
        tcp_->abort();
        tcp_->deleteLater();
        tcp_ = nullptr;
    }
}

bool BusPort::isOpen() const
{
    if (serial_)
        return serial_->isOpen();
    return tcp_ && tcp_->state() == QAbstractSocket::ConnectedState;
}

bool BusPort::setBaudRate(int baud)
{
    if (baud <= 0)
        return false;
    baud_ = baud;
    if (serial_ && !serial_->setBaudRate(baud)) {
        warn(QStringLiteral("Baudrate %1: %2").arg(baud).arg(serial_->errorString()));
        serial_->clearError();
    }
    return true;
}

void BusPort::setRts(bool on)
{
    if (serial_ && !serial_->setRequestToSend(on)) {
        if (warnings_.filter(QStringLiteral("RTS")).isEmpty())
            warn(QStringLiteral("RTS: ") + serial_->errorString());
        serial_->clearError();
    }
}

void BusPort::setDtr(bool on)
{
    if (serial_ && !serial_->setDataTerminalReady(on)) {
        if (warnings_.filter(QStringLiteral("DTR")).isEmpty())
            warn(QStringLiteral("DTR: ") + serial_->errorString());
        serial_->clearError();
    }
}

bool BusPort::write(const QByteArray& bytes)
{
    QIODevice* dev = device();
    if (!dev || !isOpen())
        return false;
    if (dev->write(bytes) != bytes.size())
        return false;
    const int bound = static_cast<int>(bytes.size() * 11 * 1000.0 / baud_) + 1000;
    return WaitForWritten(dev, bound);
}

QByteArray BusPort::readAll()
{
    QIODevice* dev = device();
    return dev && dev->isOpen() ? dev->readAll() : QByteArray();
}

bool BusPort::waitForBytes(int timeoutMs)
{
    return WaitForBytes(device(), timeoutMs);
}

void BusPort::discardInput()
{
    if (serial_)
        serial_->clear(QSerialPort::Input);
    readAll();
}

} // namespace kelvaro::mbus
