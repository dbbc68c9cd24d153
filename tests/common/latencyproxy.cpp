#include "latencyproxy.h"

#include <QPointer>
#include <QTimer>

namespace kelvaro::test {

LatencyProxy::LatencyProxy(const QString& targetHost, quint16 targetPort, int latencyMs, int splitGapMs)
    : host_(targetHost)
    , port_(targetPort)
    , latencyMs_(latencyMs)
    , splitGapMs_(splitGapMs)
{
    connect(&server_, &QTcpServer::newConnection, this, &LatencyProxy::accept);
    server_.listen(QHostAddress::LocalHost, 0);
}

void LatencyProxy::forward(QTcpSocket* to, const QByteArray& bytes, int delayMs)
{
    QPointer<QTcpSocket> target(to);
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [target, bytes] {
        if (target)
            target->write(bytes);
    });
}

void LatencyProxy::accept()
{
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        auto* upstream = new QTcpSocket(client);
        upstream->connectToHost(host_, port_);
        upstream->waitForConnected(3000);
        connect(client, &QTcpSocket::readyRead, this, [this, client, upstream] {
            forward(upstream, client->readAll(), latencyMs_);
        });
        connect(upstream, &QTcpSocket::readyRead, this, [this, client, upstream] {
            const QByteArray bytes = upstream->readAll();
            if (splitGapMs_ > 0 && bytes.size() > 1) {
                forward(client, bytes.left(bytes.size() / 2), latencyMs_);
                forward(client, bytes.mid(bytes.size() / 2), latencyMs_ + splitGapMs_);
            } else {
                forward(client, bytes, latencyMs_);
            }
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }
}

} // namespace kelvaro::test
