#include "masterprocess.h"

namespace kelvaro::test {

QStringList MasterArgs(const QString& client, int port)
{
    return {QStringLiteral("Auto"), QStringLiteral("-M") + client, QStringLiteral("-C%1").arg(port), QStringLiteral("-T0")};
}

QProcessEnvironment OffscreenEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

MasterProcess::MasterProcess(const QString& installationDir, const QStringList& args,
                             const QProcessEnvironment& environment)
{
    startIn(installationDir, args, environment);
}

MasterProcess::~MasterProcess()
{
    if (running() && !stop())
        kill();
    waitForFinished(3000);
}

void MasterProcess::startIn(const QString& installationDir, const QStringList& args,
                            const QProcessEnvironment& environment)
{
    setWorkingDirectory(installationDir);
    setProcessEnvironment(environment);
    setProcessChannelMode(QProcess::MergedChannels);
    start(QStringLiteral(KELVARO_BINARY_DIR "/apps/kelvaro/kelvaro"), args);
}

QString MasterProcess::output() { return output_ += QString::fromUtf8(readAll()); }

bool MasterProcess::stop(int timeoutMs)
{
    terminate();
    return waitForFinished(timeoutMs);
}

} // namespace kelvaro::test
