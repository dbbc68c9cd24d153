#include "ser2netprocess.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace kelvaro::test {
namespace {

QString ser2net() { return QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/bin", "/sbin"}); }

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

bool Ser2NetProcess::available() { return !ser2net().isEmpty(); }

Ser2NetProcess::Ser2NetProcess(const QString& serialDevice, quint16 fixedPort)
{
    if (!available() || serialDevice.isEmpty())
        return;
    const quint16 port = fixedPort ? fixedPort : freePort();
    const QString config = dir_.filePath("ser2net.yaml");
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write(QStringLiteral("connection: &bus\n"
                           "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                           "  connector: serialdev,%2,2400e81,local\n"
                           "  options:\n"
                           "    kickolduser: true\n")
                .arg(port)
                .arg(serialDevice)
                .toUtf8());
    f.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(ser2net(), {"-n", "-u", "-c", config, "-P", dir_.filePath("ser2net.pid")});
    if (!process_.waitForStarted(5000))
        return;
    // Ready once the accepter takes a connection.
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (probe.waitForConnected(200)) {
            probe.abort();
            device_ = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
            QThread::msleep(100); // let ser2net finish with the probe before the first real client
            return;
        }
        QThread::msleep(50);
    }
}

Ser2NetProcess::~Ser2NetProcess()
{
    process_.terminate();
    if (!process_.waitForFinished(3000))
        process_.kill();
}

} // namespace kelvaro::test
