#pragma once
#include <QByteArray>
#include <QObject>
#include <QTcpServer>

namespace kelvaro::test {

// A TCP relay in front of a server that keeps every byte the client sent:
// what anyone on the line could read. Runs on the test's event loop.
class WireTap : public QObject {
public:
    explicit WireTap(quint16 targetPort);
    quint16 port() const { return server_.serverPort(); }
    const QByteArray& fromClient() const { return fromClient_; }

private:
    QTcpServer server_;
    quint16 target_;
    QByteArray fromClient_;
};

} // namespace kelvaro::test
