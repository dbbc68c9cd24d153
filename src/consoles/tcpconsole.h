#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

class QTcpSocket;

namespace kelvaro {
namespace mbus {
class LineTransport;
}

// The raw-frame console of a serial-to-Ethernet device server: one connection,
// one frame out, the bytes that come back. An address "rfc2217://host:port"
// goes through the line transport of that protocol (its telnet bytes removed);
// any other address is a plain TCP connection whose socket states are shown.
class TcpConsole : public QObject {
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 1000;
    static constexpr int kReplyWaitMs = 200;
    static constexpr quint16 kDefaultPort = 10001;
    // Bounds of one reply (a long frame is at most 261 bytes).
    static constexpr qsizetype kReplyLimitBytes = 64 * 1024;
    static constexpr qint64 kReplyLimitMs = 10000;
    // What the socket may hold before it stops reading from the line; a
    // peer that keeps sending is then held back by TCP itself.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

    explicit TcpConsole(QObject* parent = nullptr);
    ~TcpConsole() override;

    // Socket states as numbered by the device-server tools (0 closed ... 9 error).
    enum State { Closed = 0, Open = 1, Listening = 2, Pending = 3, Resolving = 4, Resolved = 5,
                 Connecting = 6, Connected = 7, PeerClosing = 8, Error = 9 };
    static QString GetWinsockStatusTxt(int state);
    int state() const;
    // "7 Verbunden": what the status label shows.
    QString statusText() const;

    // The port field as it is used: "10001" when empty, 0 or not a port number.
    static QString PortFieldValue(const QString& field);

    // "Connect" once connected (at once when already connected, without a
    // new connection), "TimeOut" when timeoutMs passed, "Fehler" when the
    // peer refused or the address is unusable.
    QString TCPConnect(const QString& host, quint16 port, int timeoutMs);
    void TCPClose();

    // Sends the bytes and collects the reply until replyWaitMs pass without a
    // new byte, at most kReplyLimitBytes and kReplyLimitMs. Empty when nothing
    // came back or nothing could be sent.
    QByteArray TCPSendBefehl(const QByteArray& bytes, int replyWaitMs = kReplyWaitMs);

    // The buttons. Connect: the port field corrected, then connected; a
    // failure is reported ("Comtest") and leaves the connection closed.
    bool connectButton(const QString& address, QString& portField);
    // Send: the reply as a hex list or "Keine Antwort"; a frame field that is
    // not a hex list is reported and nothing is sent (the text is then empty).
    // A connection the device server closes ends the exchange at once: the
    // text then names it ("Verbindung verloren beim Warten auf die Antwort
    // (...)"), after what came before it, and it goes to the program log.
    QString sendButton(const QString& frameField);

    // The device server closed the connection or the network dropped it (why;
    // empty while it stands or after TCPClose). Connect opens a new one.
    QString lineLostText() const;

    // The frame field as bytes: ";"-separated hex bytes of one or two digits,
    // blanks around them and empty fields ignored. False on anything else.
    static bool FrameFieldBytes(const QString& field, QByteArray& bytes, QString* error);

    QString lastError() const { return error_; }
    // Bytes that came in outside an exchange (a peer still talking after its
    // reply was cut, or talking unasked) and were thrown away.
    qint64 droppedBytes() const { return dropped_; }

private:
    QString connectSocket(const QString& host, quint16 port, int timeoutMs);
    QString connectTransport(const QString& device);
    void dropUnasked();
    QByteArray exchange(const QByteArray& bytes, int replyWaitMs);

    QTcpSocket* socket_ = nullptr;
    std::unique_ptr<mbus::LineTransport> transport_;
    bool failed_ = false;
    bool inExchange_ = false;
    qint64 dropped_ = 0;
    QString error_;
    QString lostText_; // the plain connection's loss
};

} // namespace kelvaro
