#include "simprocess.h"

#include <QFile>
#include <QRegularExpression>

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

QByteArray BusJson(const QStringList& meterObjects, bool echo)
{
    return QStringLiteral("{\"echo\": %1, \"meters\": [%2]}")
        .arg(echo ? "true" : "false", meterObjects.join(','))
        .toUtf8();
}

} // namespace kelvaro::test
