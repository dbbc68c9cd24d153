#pragma once
#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

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

// A bus file with one meter per entry: {"primary":.., "id":.., ...} objects as JSON text.
QByteArray BusJson(const QStringList& meterObjects, bool echo = false);

} // namespace kelvaro::test
