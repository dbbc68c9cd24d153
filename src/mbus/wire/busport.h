#pragma once
#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <memory>

class QIODevice;
class QSerialPort;
class QTcpSocket;

namespace kelvaro::mbus {

// One M-Bus line: a serial port (8E1) or a TCP connection to a
// serial-to-Ethernet device server. Byte I/O only; frames live elsewhere.
class BusPort : public QObject {
    Q_OBJECT
public:
    explicit BusPort(QObject* parent = nullptr);
    ~BusPort() override;

    // `device` is a serial device path or "tcp://host:port". Pseudo-terminals
    // refuse parity and the modem-control lines: those refusals are collected
    // as warnings() and do not fail the open.
    bool open(const QString& device, int baud);
    void close();
    bool isOpen() const;
    bool isTcp() const { return tcp_ != nullptr; }
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

    QStringList warnings() const { return warnings_; }
    QString errorText() const { return error_; }
    QIODevice* device() const;

private:
    bool openSerial(const QString& device, int baud);
    bool openTcp(const QString& device);
    void warn(const QString& what);

    QSerialPort* serial_ = nullptr;
    QTcpSocket* tcp_ = nullptr;
    QString device_;
    int baud_ = 0;
    QStringList warnings_;
    QString error_;
};

} // namespace kelvaro::mbus
