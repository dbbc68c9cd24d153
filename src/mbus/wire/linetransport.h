#pragma once
#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <memory>

namespace kelvaro::mbus {

// One kind of line under the M-Bus link: bytes in and out, 8E1 line settings
// and the modem-control lines. Frames and timing live above it (BusLink).
class LineTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the device the transport was made for, 8E1 at `baud`.
    virtual bool open(int baud) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Lines through a network (device servers) get a latency allowance.
    virtual bool isNetwork() const = 0;

    // 8 data bits, even parity and one stop bit stay; only the rate changes.
    virtual bool setBaudRate(int baud) = 0;
    virtual void setRts(bool on) = 0;
    virtual void setDtr(bool on) = 0;

    // Writes and waits (event loop running) until the bytes have left, at most timeoutMs.
    virtual bool write(const QByteArray& bytes, int timeoutMs) = 0;
    // The line's data received so far (protocol bytes of the transport removed).
    virtual QByteArray readAvailable() = 0;
    // Waits up to timeoutMs for data; true when some is available.
    virtual bool waitForBytes(int timeoutMs) = 0;
    // Drops everything received so far.
    virtual void discardInput() = 0;
    // Ends a waitForBytes() that is running now (a break of the exchange): it
    // returns false at once. No effect on a later wait.
    virtual void interruptWait() {}

    QString errorText() const { return error_; }
    // Refusals that do not fail the line (a pseudo-terminal has no parity or RTS).
    QStringList warnings() const { return warnings_; }

    // The line went away under the open transport: the adapter was unplugged,
    // the peer of a pseudo-terminal closed, the device server closed the
    // connection. Noticed from the device's own signals, so it ends every
    // running wait at once; the transport is then no longer open, and only a
    // new open() clears it.
    bool isLineLost() const { return lost_; }
    QString lineLostText() const { return lostText_; }

signals:
    // Once per loss, with what the device said.
    void lineLost(const QString& reason);
    // Bytes wait to be read (emitted by the network transports).
    void bytesArrived();

protected:
    bool fail(const QString& text)
    {
        error_ = text;
        return false;
    }
    // For the transports: the device reported a hang-up or a closed connection.
    void markLineLost(const QString& reason);
    void clearLineLost()
    {
        lost_ = false;
        lostText_.clear();
    }
    void warn(const QString& text)
    {
        if (!warnings_.contains(text))
            warnings_ << text;
    }

private:
    QString error_;
    QStringList warnings_;
    bool lost_ = false;
    QString lostText_;
};

// The transport for a device address: a serial device path (COM3,
// /dev/ttyUSB0), "tcp://host:port" (a raw device server) or
// "rfc2217://host:port" (a device server that takes line settings through the
// telnet COM port option). Null, with `error` set, for an address that names
// no device (empty, control characters, no host or port).
std::unique_ptr<LineTransport> CreateLineTransport(const QString& device, QString* error);

bool IsTcpDevice(const QString& device);
bool IsRfc2217Device(const QString& device);
inline bool IsNetworkDevice(const QString& device) { return IsTcpDevice(device) || IsRfc2217Device(device); }

} // namespace kelvaro::mbus
