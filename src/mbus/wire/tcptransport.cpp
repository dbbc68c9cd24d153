#include "mbus/wire/tcptransport.h"

#include "mbus/wire/eventwait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

namespace kelvaro::mbus {
namespace {
constexpr int kConnectTimeoutMs = 3000;
// An M-Bus answer is a few hundred bytes: a peer that keeps sending is held
// back by TCP, not by our memory.
constexpr qint64 kReadBufferBytes = 64 * 1024;

// RFC 2217 SET-CONTROL values.
constexpr std::uint8_t kNoFlowControl = 1, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12;
constexpr std::uint8_t kEvenParity = 3, kOneStopBit = 1, kPurgeReceive = 1;
} // namespace

TcpConnectResult ConnectTcpSocket(QTcpSocket& socket, const QString& host, quint16 port, int timeoutMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    socket.connectToHost(host, port);
    timer.start(timeoutMs);
    // A refused or unresolvable address can end the attempt at once.
    if (socket.state() != QAbstractSocket::ConnectedState && socket.state() != QAbstractSocket::UnconnectedState)
        loop.exec();
    if (socket.state() == QAbstractSocket::ConnectedState) {
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return TcpConnectResult::Connected;
    }
    return timer.isActive() ? TcpConnectResult::Failed : TcpConnectResult::TimedOut;
}

TcpTransport::TcpTransport(QString host, quint16 port, QObject* parent)
    : LineTransport(parent)
    , host_(std::move(host))
    , port_(port)
{
}

TcpTransport::~TcpTransport() { close(); }

QString TcpTransport::address() const { return host_ + ':' + QString::number(port_); }

bool TcpTransport::open(int baud)
{
    close();
    clearLineLost();
    socket_ = new QTcpSocket(this);
    socket_->setReadBufferSize(kReadBufferBytes);
    connect(socket_, &QTcpSocket::readyRead, this, &LineTransport::bytesArrived);
    if (ConnectTcpSocket(*socket_, host_, port_, kConnectTimeoutMs) != TcpConnectResult::Connected)
        return fail(QStringLiteral("Verbindung zu %1 fehlgeschlagen: %2").arg(address(), socket_->errorString()));
    // The server closed the connection (it restarts, it took another client)
    // or the network dropped it.
    connect(socket_, &QAbstractSocket::disconnected, this,
            [this] { markLineLost(address() + QStringLiteral(": Verbindung vom Gerät getrennt")); });
    connect(socket_, &QAbstractSocket::errorOccurred, this, [this] {
        if (socket_->state() != QAbstractSocket::ConnectedState)
            markLineLost(address() + QStringLiteral(": ") + socket_->errorString());
    });
    return connected(baud);
}

void TcpTransport::close()
{
    data_.clear();
    if (!socket_)
        return;
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
    socket_ = nullptr;
}

bool TcpTransport::isOpen() const
{
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState && !isLineLost();
}

bool TcpTransport::sendRaw(const QByteArray& bytes)
{
    return isOpen() && socket_->write(bytes) == bytes.size();
}

bool TcpTransport::write(const QByteArray& bytes, int timeoutMs)
{
    return sendRaw(toServer(bytes)) && WaitForWritten(socket_, timeoutMs) && isOpen();
}

void TcpTransport::pump()
{
    if (isOpen() && socket_->bytesAvailable() > 0)
        data_ += fromServer(socket_->readAll());
}

QByteArray TcpTransport::readAvailable()
{
    pump();
    return std::exchange(data_, {});
}

bool TcpTransport::waitForBytes(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    interrupted_ = false;
    for (;;) {
        pump();
        if (!data_.isEmpty())
            return true;
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !isOpen() || interrupted_)
            return false;
        // Bytes that were only protocol leave the data empty: wait on.
        WaitForBytes(socket_, static_cast<int>(left));
    }
}

void TcpTransport::interruptWait()
{
    interrupted_ = true;
    InterruptWaits(socket_);
}

void TcpTransport::discardInput()
{
    pump();
    data_.clear();
}

bool Rfc2217Transport::connected(int baud)
{
    const QByteArray settings = TelnetCodec::greeting()
        + TelnetCodec::comPortCommand(TelnetCodec::SetDataSize, QByteArray(1, 8))
        + TelnetCodec::comPortCommand(TelnetCodec::SetParity, QByteArray(1, kEvenParity))
        + TelnetCodec::comPortCommand(TelnetCodec::SetStopSize, QByteArray(1, kOneStopBit))
        + TelnetCodec::comPortCommand(TelnetCodec::SetControl, QByteArray(1, kNoFlowControl));
    if (!sendRaw(settings))
        return fail(QStringLiteral("RFC 2217 %1: Leitungseinstellungen nicht gesendet").arg(address()));
    setBaudRate(baud); // a server that never acknowledges still carries the line (a warning)
    return true;
}

QByteArray Rfc2217Transport::fromServer(const QByteArray& raw)
{
    const QByteArray data = codec_.feed(raw);
    if (const QByteArray replies = codec_.takeReplies(); !replies.isEmpty())
        sendRaw(replies);
    answers_ += codec_.takeComPortAnswers();
    return data;
}

bool Rfc2217Transport::waitForAnswer(TelnetCodec::ComPortCommand command, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        pump();
        for (qsizetype i = 0; i < answers_.size(); ++i) {
            if (answers_[i].command == command) {
                answers_.remove(0, i + 1);
                return true;
            }
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !isOpen())
            return false;
        WaitForBytes(socket(), static_cast<int>(left));
    }
}

bool Rfc2217Transport::setBaudRate(int baud)
{
    if (baud <= 0 || !isOpen())
        return false;
    answers_.clear();
    if (!sendRaw(TelnetCodec::comPortCommand(TelnetCodec::SetBaudRate, TelnetCodec::baudRateValue(baud))))
        return false;
    if (!waitForAnswer(TelnetCodec::SetBaudRate, kAcknowledgeWaitMs)) {
        warn(QStringLiteral("RFC 2217 %1: Baudrate %2 nicht bestätigt").arg(address()).arg(baud));
        return false;
    }
    return true;
}

void Rfc2217Transport::control(std::uint8_t value)
{
    sendRaw(TelnetCodec::comPortCommand(TelnetCodec::SetControl, QByteArray(1, static_cast<char>(value))));
}

void Rfc2217Transport::setRts(bool on)
{
    if (rts_ == int(on))
        return;
    rts_ = on;
    control(on ? kRtsOn : kRtsOff);
}

void Rfc2217Transport::setDtr(bool on)
{
    if (dtr_ == int(on))
        return;
    dtr_ = on;
    control(on ? kDtrOn : kDtrOff);
}

void Rfc2217Transport::discardInput()
{
    sendRaw(TelnetCodec::comPortCommand(TelnetCodec::PurgeData, QByteArray(1, kPurgeReceive)));
    TcpTransport::discardInput();
}

} // namespace kelvaro::mbus
