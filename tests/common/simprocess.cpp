#include "simprocess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QUrl>

namespace kelvaro::test {

SimProcess::SimProcess(const QByteArray& busJson, const QStringList& extraArgs)
{
    const QString busFile = dir_.filePath("bus.json");
    QFile f(busFile);
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write(busJson);
    f.close();
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(QStringLiteral(KELVARO_BINARY_DIR "/tools/mbus-sim/mbus-sim"), QStringList{busFile} + extraArgs);
    if (!process_.waitForStarted(5000))
        return;
    const QRegularExpression ready(QStringLiteral("on (\\S+)"));
    QByteArray out;
    while (!out.contains('\n') && process_.waitForReadyRead(5000))
        out += process_.readAllStandardOutput();
    const auto m = ready.match(QString::fromLocal8Bit(out));
    if (m.hasMatch())
        device_ = m.captured(1);
}

SimProcess::~SimProcess()
{
    process_.terminate();
    if (!process_.waitForFinished(3000))
        process_.kill();
}

QString SimProcess::output() const
{
    return QString::fromLocal8Bit(const_cast<QProcess&>(process_).readAllStandardError());
}

ReturningLine::ReturningLine(const QByteArray& busJson, Kind kind, const QStringList& simArgs)
    : kind_(kind)
    , bus_(busJson)
    , simArgs_(simArgs)
{
    if (kind_ == Tcp) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        tcpPort_ = probe.serverPort();
        device_ = QStringLiteral("tcp://127.0.0.1:%1").arg(tcpPort_);
    } else {
        device_ = dir_.filePath(QStringLiteral("usb-M-Bus_Adapter-if00-port0"));
    }
    restore();
}

ReturningLine::~ReturningLine() { drop(); }

void ReturningLine::drop()
{
    sim_.reset();
    if (kind_ == PseudoTerminal)
        QFile::remove(device_);
}

bool ReturningLine::restore()
{
    drop();
    QStringList args = simArgs_;
    if (kind_ == Tcp)
        args << QStringLiteral("--tcp") << QString::number(tcpPort_);
    auto sim = std::make_unique<SimProcess>(bus_, args);
    if (sim->device().isEmpty())
        return false;
    if (kind_ == PseudoTerminal && !QFile::link(sim->device(), device_))
        return false;
    sim_ = std::move(sim);
    return true;
}

QByteArray BusJson(const QStringList& meterObjects, bool echo)
{
    return QStringLiteral("{\"echo\": %1, \"meters\": [%2]}")
        .arg(echo ? "true" : "false", meterObjects.join(','))
        .toUtf8();
}

} // namespace kelvaro::test
