#pragma once
#include "mbus/wire/linetransport.h"
#include "mbus/wire/telnetcodec.h"

class QTcpSocket;

namespace kelvaro::mbus {

enum class TcpConnectResult { Connected, TimedOut, Failed };

// Connects the socket, waiting at most `timeoutMs` in a local event loop;
// a connection that stands gets low-delay sending.
TcpConnectResult ConnectTcpSocket(QTcpSocket& socket, const QString& host, quint16 port, int timeoutMs);

// A raw TCP connection to a serial-to-Ethernet device server: the bytes are
// the line's bytes; the server's port sets the baud rate, so setting one here
// only changes the timing this side computes with. A connection the server
// closes, or the network drops, is a lost line.
class TcpTransport : public LineTransport {
    Q_OBJECT
public:
    TcpTransport(QString host, quint16 port, QObject* parent = nullptr);
    ~TcpTransport() override;

    bool open(int baud) override;
    void close() override;
    bool isOpen() const override;
    bool isNetwork() const override { return true; }
    bool setBaudRate(int) override { return true; }
    void setRts(bool) override {}
    void setDtr(bool) override {}
    bool write(const QByteArray& bytes, int timeoutMs) override;
    QByteArray readAvailable() override;
    bool waitForBytes(int timeoutMs) override;
    void discardInput() override;
    void interruptWait() override;

protected:
    // Runs once the connection stands (line settings of a protocol).
    virtual bool connected(int /*baud*/) { return true; }
    // The line's data in what the server sent / what goes to the server.
    virtual QByteArray fromServer(const QByteArray& raw) { return raw; }
    virtual QByteArray toServer(const QByteArray& data) { return data; }
    // Sends protocol bytes as they are, without waiting.
    bool sendRaw(const QByteArray& bytes);
    // Reads what the server has sent so far into the data buffer.
    void pump();
    QTcpSocket* socket() const { return socket_; }
    QString address() const;

private:
    QString host_;
    quint16 port_;
    QTcpSocket* socket_ = nullptr;
    QByteArray data_; // line data taken from the socket, not yet read
    bool interrupted_ = false; // the running waitForBytes is to end
};

// RFC 2217: the device server takes baud rate, 8E1, the modem-control lines
// and purges through the telnet COM port option, so one server serves meters
// at several baud rates. Control requests never wait for an answer (some
// servers do not acknowledge them); a new baud rate waits briefly for its
// acknowledgement so that the next request goes out at that rate.
class Rfc2217Transport : public TcpTransport {
    Q_OBJECT
public:
    using TcpTransport::TcpTransport;

    bool setBaudRate(int baud) override;
    void setRts(bool on) override;
    void setDtr(bool on) override;
    void discardInput() override;

    // Time a baud-rate change waits for the server's acknowledgement.
    static constexpr int kAcknowledgeWaitMs = 1000;

protected:
    bool connected(int baud) override;
    QByteArray fromServer(const QByteArray& raw) override;
    QByteArray toServer(const QByteArray& data) override { return TelnetCodec::escape(data); }

private:
    bool waitForAnswer(TelnetCodec::ComPortCommand command, int timeoutMs);
    void control(std::uint8_t value);

    TelnetCodec codec_;
    QList<TelnetCodec::ComPortAnswer> answers_;
    int rts_ = -1;
    int dtr_ = -1;
};

} // namespace kelvaro::mbus
