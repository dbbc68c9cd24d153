#include "wiretap.h"

#include <QTcpSocket>

namespace kelvaro::test {

WireTap::WireTap(quint16 targetPort) : target_(targetPort)
{
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* client = server_.nextPendingConnection()) {
            auto* upstream = new QTcpSocket(client);
            upstream->connectToHost(QHostAddress::LocalHost, target_);
            connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream] {
                const QByteArray bytes = client->readAll();
                fromClient_ += bytes;
                upstream->write(bytes); // buffered until the connection stands
            });
            connect(upstream, &QTcpSocket::readyRead, client, [client, upstream] { client->write(upstream->readAll()); });
            connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, upstream, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        }
    });
}

} // namespace kelvaro::test
