#pragma once
#include "simbus.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <map>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

namespace kelvaro::sim {

// Puts a SimBus on a pseudo-terminal or a TCP port: cuts the incoming bytes
// into frames, answers them with wire timing (11 bits per character at the
// line's baud rate plus each meter's answer delay) and, with a modem in front,
// speaks Hayes commands until a call stands.
class SimServer : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool fast = false;   // no wire time
        bool modem = false;  // Hayes modem in front of the bus
        int tcpBaud = 2400;  // the device server's fixed line rate
        bool verbose = false;
    };

    SimServer(SimBus bus, Options options, QObject* parent = nullptr);
    ~SimServer() override;

    // Returns the slave path of a new pseudo-terminal, or empty on failure.
    QString openPty();
    // Listens on 127.0.0.1:port (0 = any free port); returns the port or 0.
    quint16 listenTcp(quint16 port);

private:
    void onInput(const QByteArray& bytes);
    void handleModemCommand(const QString& line);
    void processFrames();
    int currentBaud() const;
    void schedule(const QByteArray& bytes, qint64 firstByteAtMs, int baud);
    void flushDue();
    void writeOut(const QByteArray& bytes);

    SimBus bus_;
    Options options_;
    int masterFd_ = -1;
    int slaveFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTcpServer* server_ = nullptr;
    QTcpSocket* client_ = nullptr;
    QByteArray input_;
    QElapsedTimer clock_;
    std::multimap<qint64, QByteArray> outgoing_;
    QTimer flushTimer_;
    bool modemCommandMode_ = true;
    QByteArray modemLine_;
};

} // namespace kelvaro::sim
