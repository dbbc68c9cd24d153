#pragma once
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

namespace kelvaro::test {

// A TCP proxy in the test process in front of a device server: every chunk is
// passed on `latencyMs` later, in both directions; with `splitGapMs` a chunk
// from the server is cut in two and its second half sent that much later (a
// device server's packet timer splitting an answer). Runs on the event loop,
// which the bus waits keep running.
class LatencyProxy : public QObject {
public:
    LatencyProxy(const QString& targetHost, quint16 targetPort, int latencyMs, int splitGapMs = 0);
    QString device() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(server_.serverPort()); }

private:
    void accept();
    void forward(QTcpSocket* to, const QByteArray& bytes, int delayMs);

    QTcpServer server_;
    QString host_;
    quint16 port_;
    int latencyMs_;
    int splitGapMs_;
};

} // namespace kelvaro::test
