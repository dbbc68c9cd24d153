#pragma once
#include "mbus/wire/linetransport.h"

#include <QSerialPort>

namespace kelvaro::mbus {

// A serial port: a UART, a USB level converter or a pseudo-terminal. A
// resource error of the port or a hang-up of its descriptor is a lost line.
class SerialTransport : public LineTransport {
    Q_OBJECT
public:
    explicit SerialTransport(QString device, QObject* parent = nullptr);
    ~SerialTransport() override;

    bool open(int baud) override;
    void close() override;
    bool isOpen() const override;
    bool isNetwork() const override { return false; }
    bool setBaudRate(int baud) override;
    void setRts(bool on) override;
    void setDtr(bool on) override;
    bool write(const QByteArray& bytes, int timeoutMs) override;
    QByteArray readAvailable() override;
    bool waitForBytes(int timeoutMs) override;
    void discardInput() override;
    void interruptWait() override;

private:
    void onError(QSerialPort::SerialPortError error);
    // The descriptor reports a hang-up: a pseudo-terminal whose peer closed,
    // a USB adapter that was unplugged.
    bool hungUp() const;
    void lose(const QString& reason);

    QString device_;
    QSerialPort* port_ = nullptr;
};

} // namespace kelvaro::mbus
