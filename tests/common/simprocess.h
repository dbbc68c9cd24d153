#pragma once
#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace kelvaro::test {

// mbus-sim running on a pseudo-terminal (or TCP with "--tcp", "0") for one test.
class SimProcess {
public:
    explicit SimProcess(const QByteArray& busJson, const QStringList& extraArgs = {});
    ~SimProcess();
    // The pseudo-terminal path or "tcp://127.0.0.1:port"; empty when the start failed.
    QString device() const { return device_; }
    QString output() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString device_;
};

// A simulated bus on a line that goes away and comes back under the same
// name: a pseudo-terminal reached through a symlink (as udev keeps
// /dev/serial/by-id/...), or a TCP device server on a fixed port.
class ReturningLine {
public:
    enum Kind { PseudoTerminal, Tcp };
    ReturningLine(const QByteArray& busJson, Kind kind, const QStringList& simArgs = {"--fast"});
    ~ReturningLine();
    // The symlink or "tcp://127.0.0.1:port"; the same whether the line is up or not.
    QString device() const { return device_; }
    bool isUp() const { return sim_ != nullptr; }
    // The simulator ends: the pseudo-terminal's peer closes and its name goes
    // away, or the device server closes its connection and stops listening.
    void drop();
    // A new simulator: a new pseudo-terminal behind the same name, or the
    // server listening on the same port again. False when it did not come up.
    bool restore();

private:
    Kind kind_;
    QByteArray bus_;
    QStringList simArgs_;
    QTemporaryDir dir_;
    QString device_;
    quint16 tcpPort_ = 0;
    std::unique_ptr<SimProcess> sim_;
};

// A bus file with one meter per entry: {"primary":.., "id":.., ...} objects as JSON text.
QByteArray BusJson(const QStringList& meterObjects, bool echo = false);

} // namespace kelvaro::test
