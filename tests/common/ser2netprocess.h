#pragma once
#include <QProcess>
#include <QTemporaryDir>

namespace kelvaro::test {

// Debian's ser2net as an RFC 2217 device server on 127.0.0.1 in front of a
// serial device (the simulator's pseudo-terminal). device() is empty when
// ser2net is not installed or did not come up.
class Ser2NetProcess {
public:
    // On `port` of 127.0.0.1, or on a free one for 0 (a restart takes the same port again).
    explicit Ser2NetProcess(const QString& serialDevice, quint16 port = 0);
    ~Ser2NetProcess();
    QString device() const { return device_; }
    static bool available();

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString device_;
};

} // namespace kelvaro::test
