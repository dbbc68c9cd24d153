#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>

namespace kelvaro::test {

// The master program's arguments for an unattended run of one port: "Auto -M<client> -C<port> -T0".
QStringList MasterArgs(const QString& client, int port);

// The test's environment with the offscreen platform: no window opens.
QProcessEnvironment OffscreenEnvironment();

// The master program `kelvaro` of the build tree, started in an installation
// directory with standard output and error merged. One still running when the
// object goes is asked to end (SIGTERM) and killed when it does not.
class MasterProcess : public QProcess {
public:
    MasterProcess() = default;
    MasterProcess(const QString& installationDir, const QStringList& args,
                  const QProcessEnvironment& environment = OffscreenEnvironment());
    ~MasterProcess() override;
    void startIn(const QString& installationDir, const QStringList& args,
                 const QProcessEnvironment& environment = OffscreenEnvironment());
    // All it printed since the start (what is read here is kept).
    QString output();
    // SIGTERM and wait until it has ended.
    bool stop(int timeoutMs = 10000);
    bool running() const { return state() != QProcess::NotRunning; }

private:
    QString output_;
};

} // namespace kelvaro::test
