#pragma once
#include "mbus/wire/linetransport.h"

class QSerialPort;

namespace kelvaro::mbus {

// A serial port: a UART, a USB level converter or a pseudo-terminal.
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

private:
    QString device_;
    QSerialPort* port_ = nullptr;
};

} // namespace kelvaro::mbus
