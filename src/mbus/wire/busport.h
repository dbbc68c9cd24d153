#pragma once
#include "mbus/wire/linetransport.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <memory>

namespace kelvaro::mbus {

// One M-Bus line as the link and the direct-frame path use it: whatever
// transport the device address names (serial, TCP, RFC 2217), opened at a
// baud rate. Byte I/O only; frames live elsewhere.
class BusPort : public QObject {
    Q_OBJECT
public:
    explicit BusPort(QObject* parent = nullptr);
    ~BusPort() override;

    // `device`: see CreateLineTransport. Refusals of a pseudo-terminal
    // (parity, modem-control lines) are warnings() and do not fail the open.
    bool open(const QString& device, int baud);
    // Takes a transport made elsewhere (an in-process line in tests) and opens it.
    bool open(std::unique_ptr<LineTransport> transport, const QString& deviceName, int baud);
    void close();
    bool isOpen() const;
    bool isNetwork() const { return transport_ && transport_->isNetwork(); }
    QString deviceName() const { return device_; }

    int baudRate() const { return baud_; }
    bool setBaudRate(int baud);
    void setRts(bool on);
    void setDtr(bool on);

    // Writes and waits (event loop running) until the bytes have left the
    // buffer; bounded by the wire time of the bytes plus a margin.
    bool write(const QByteArray& bytes);
    QByteArray readAll();
    // Waits up to timeoutMs for bytes; true when some are available.
    bool waitForBytes(int timeoutMs);
    // Drops everything received so far.
    void discardInput();
    // Ends a waitForBytes() that is running now; it returns false.
    void interruptWait()
    {
        if (transport_)
            transport_->interruptWait();
    }

    QStringList warnings() const { return transport_ ? transport_->warnings() : QStringList(); }
    QString errorText() const { return error_; }

    // The line went away while the port was open (see LineTransport::isLineLost):
    // the port no longer counts as open, every wait on it has ended, and the
    // state stays, also after close(), until the next open().
    bool isLineLost() const { return lost_; }
    // The device's words for it ("/dev/ttyUSB0: Leitung aufgelegt").
    QString lineLostText() const { return lost_ ? error_ : QString(); }

signals:
    // Emitted once per loss, at the moment the transport notices it.
    void lineLost(const QString& reason);

private:
    LineTransport* transport_ = nullptr; // a child of this port
    QString device_;
    int baud_ = 0;
    QString error_;
    bool lost_ = false;
};

} // namespace kelvaro::mbus
