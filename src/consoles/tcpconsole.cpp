#include "consoles/tcpconsole.h"

#include "foundation/messages.h"
#include "foundation/programlog.h"
#include "mbus/hexlist.h"
#include "mbus/wire/eventwait.h"
#include "mbus/wire/linetransport.h"
#include "mbus/wire/tcptransport.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QUrl>

namespace kelvaro {
namespace {
// A peer that never stops sending must not hold the console forever.
bool withinReplyBounds(const QByteArray& reply, const QElapsedTimer& clock)
{
    return reply.size() < TcpConsole::kReplyLimitBytes && clock.elapsed() < TcpConsole::kReplyLimitMs;
}
} // namespace

TcpConsole::TcpConsole(QObject* parent)
    : QObject(parent)
{
}

TcpConsole::~TcpConsole() { TCPClose(); }

QString TcpConsole::GetWinsockStatusTxt(int state)
{
    switch (state) {
    case Closed: return QStringLiteral("Close");
    case Open: return QStringLiteral("Open");
    case Listening: return QStringLiteral("Listen");
    case Pending: return QStringLiteral("Verbindung anstehend");
    case Resolving: return QStringLiteral("Host-Name wird aufgelöst");
    case Resolved: return QStringLiteral("Host-Name wurde aufgelöst");
    case Connecting: return QStringLiteral("Verbinden");
    case Connected: return QStringLiteral("Verbunden");
    case PeerClosing: return QStringLiteral("Partner schließt die Verbindung");
    case Error: return QStringLiteral("Fehler");
    default: return {};
    }
}

int TcpConsole::state() const
{
    if (transport_)
        return transport_->isOpen() ? Connected : PeerClosing;
    if (!socket_)
        return failed_ ? Error : Closed;
    switch (socket_->state()) {
    case QAbstractSocket::UnconnectedState: return failed_ ? Error : Closed;
    case QAbstractSocket::HostLookupState: return Resolving;
    case QAbstractSocket::ConnectingState: return Connecting;
    case QAbstractSocket::ConnectedState: return Connected;
    case QAbstractSocket::BoundState: return Open;
    case QAbstractSocket::ListeningState: return Listening;
    case QAbstractSocket::ClosingState: return PeerClosing;
    }
    return Error;
}

QString TcpConsole::statusText() const
{
    const int s = state();
    return QString::number(s) + ' ' + GetWinsockStatusTxt(s);
}

QString TcpConsole::PortFieldValue(const QString& field)
{
    bool ok = false;
    const int port = field.trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        return QString::number(kDefaultPort);
    return QString::number(port);
}

QString TcpConsole::TCPConnect(const QString& host, quint16 port, int timeoutMs)
{
    if (state() == Connected)
        return QStringLiteral("Connect");
    TCPClose();
    const QString address = host.trimmed();
    if (mbus::IsRfc2217Device(address)) {
        // The address may leave its port to the port field.
        QUrl url(address);
        if (url.port() <= 0)
            url.setPort(port);
        return connectTransport(url.toString());
    }
    // "tcp://host[:port]" is the plain connection written as a device address.
    if (mbus::IsTcpDevice(address)) {
        const QUrl url(address);
        return connectSocket(url.host(), url.port() > 0 ? quint16(url.port()) : port, timeoutMs);
    }
    return connectSocket(address, port, timeoutMs);
}

QString TcpConsole::connectSocket(const QString& host, quint16 port, int timeoutMs)
{
    if (host.isEmpty()) {
        failed_ = true;
        error_ = QStringLiteral("Keine Adresse angegeben");
        return QStringLiteral("Fehler");
    }
    socket_ = new QTcpSocket(this);
    socket_->setReadBufferSize(kReadBufferBytes);
    connect(socket_, &QTcpSocket::readyRead, this, &TcpConsole::dropUnasked);
    const mbus::TcpConnectResult result = mbus::ConnectTcpSocket(*socket_, host, port, timeoutMs);
    if (result == mbus::TcpConnectResult::Connected) {
        connect(socket_, &QTcpSocket::disconnected, this, [this, host, port] {
            lostText_ = QStringLiteral("%1:%2: Verbindung vom Gerät getrennt").arg(host).arg(port);
        });
        return QStringLiteral("Connect");
    }
    const bool timedOut = result == mbus::TcpConnectResult::TimedOut;
    error_ = timedOut ? QStringLiteral("Zeitüberschreitung beim Verbinden mit %1:%2").arg(host).arg(port)
                      : socket_->errorString();
    socket_->abort();
    failed_ = true;
    return timedOut ? QStringLiteral("TimeOut") : QStringLiteral("Fehler");
}

QString TcpConsole::connectTransport(const QString& device)
{
    QString error;
    transport_ = mbus::CreateLineTransport(device, &error);
    // The console's frames carry their own settings; 2400 baud is the bus's usual rate.
    if (transport_ && transport_->open(2400)) {
        // The transport bounds what it buffers; between exchanges it is
        // drained like the plain connection.
        connect(transport_.get(), &mbus::LineTransport::bytesArrived, this, &TcpConsole::dropUnasked);
        return QStringLiteral("Connect");
    }
    error_ = transport_ ? transport_->errorText() : error;
    transport_.reset();
    failed_ = true;
    return QStringLiteral("Fehler");
}

void TcpConsole::dropUnasked()
{
    if (inExchange_)
        return;
    if (transport_)
        dropped_ += transport_->readAvailable().size(); // protocol bytes are answered on the way
    else if (socket_)
        dropped_ += socket_->skip(socket_->bytesAvailable());
}

QString TcpConsole::lineLostText() const
{
    if (transport_)
        return transport_->isLineLost() ? transport_->lineLostText() : QString();
    return lostText_;
}

void TcpConsole::TCPClose()
{
    failed_ = false;
    lostText_.clear();
    if (transport_) {
        transport_->close();
        transport_.reset();
    }
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
}

QByteArray TcpConsole::TCPSendBefehl(const QByteArray& bytes, int replyWaitMs)
{
    if (state() != Connected) {
        const QString lost = lineLostText();
        error_ = lost.isEmpty() ? QStringLiteral("Keine Verbindung")
                                : QStringLiteral("Verbindung verloren (") + lost + QLatin1Char(')');
        return {};
    }
    const QByteArray reply = exchange(bytes, replyWaitMs);
    if (const QString lost = lineLostText(); !lost.isEmpty())
        error_ = QStringLiteral("Verbindung verloren beim Warten auf die Antwort (") + lost + QLatin1Char(')');
    return reply;
}

QByteArray TcpConsole::exchange(const QByteArray& bytes, int replyWaitMs)
{
    QByteArray reply;
    inExchange_ = true;
    const auto exchangeEnds = qScopeGuard([this] {
        inExchange_ = false;
        dropUnasked();
    });
    if (transport_) {
        dropped_ += transport_->readAvailable().size();
        if (!transport_->write(bytes, 1000)) {
            error_ = transport_->errorText();
            return {};
        }
        // Every arriving piece restarts the wait, up to the reply's bounds.
        QElapsedTimer clock;
        clock.start();
        while (withinReplyBounds(reply, clock) && transport_ && transport_->waitForBytes(replyWaitMs))
            reply += transport_->readAvailable();
        if (reply.size() > kReplyLimitBytes) {
            dropped_ += reply.size() - kReplyLimitBytes;
            reply.truncate(kReplyLimitBytes);
        }
        return reply;
    }
    dropped_ += socket_->skip(socket_->bytesAvailable());
    if (socket_->write(bytes) != bytes.size() || !mbus::WaitForWritten(socket_, 1000)) {
        error_ = socket_->errorString();
        return {};
    }
    QElapsedTimer clock;
    clock.start();
    while (withinReplyBounds(reply, clock) && socket_ && mbus::WaitForBytes(socket_, replyWaitMs))
        reply += socket_->read(kReplyLimitBytes - reply.size());
    return reply;
}

bool TcpConsole::FrameFieldBytes(const QString& field, QByteArray& bytes, QString* error)
{
    bytes.clear();
    for (const QString& part : field.split(';')) {
        const QString digits = part.trimmed();
        if (digits.isEmpty())
            continue;
        bool ok = false;
        const uint value = digits.toUInt(&ok, 16);
        if (!ok || digits.size() > 2 || digits.startsWith('+') || digits.startsWith('-')) {
            if (error)
                *error = QStringLiteral("Ungültiges Byte \"%1\" im Telegramm").arg(digits);
            bytes.clear();
            return false;
        }
        bytes.append(char(value));
    }
    return true;
}

bool TcpConsole::connectButton(const QString& address, QString& portField)
{
    portField = PortFieldValue(portField);
    if (TCPConnect(address, quint16(portField.toInt()), kConnectTimeoutMs) != QLatin1String("Connect")) {
        ShowMessageBox(QStringLiteral("Verbindung konnte nicht erstellt werden.\nBitte versuchen Sie es erneut."),
                       QStringLiteral("Comtest"));
        TCPClose();
        return false;
    }
    return true;
}

QString TcpConsole::sendButton(const QString& frameField)
{
    QByteArray frame;
    QString error;
    if (!FrameFieldBytes(frameField, frame, &error) || frame.isEmpty()) {
        ShowMessageBox(frame.isEmpty() && error.isEmpty() ? QStringLiteral("Kein Telegramm angegeben") : error,
                       QStringLiteral("Comtest"));
        return {};
    }
    const QByteArray reply = TCPSendBefehl(frame);
    if (!lineLostText().isEmpty()) {
        WriteProgramLog(QStringLiteral("TCP M-Bus: ") + error_);
        return reply.isEmpty() ? error_ : StrToHexListe(reply, QStringLiteral(";")) + QStringLiteral("\n") + error_;
    }
    if (reply.isEmpty())
        return QStringLiteral("Keine Antwort");
    return StrToHexListe(reply, QStringLiteral(";"));
}

} // namespace kelvaro
