#include "simserver.h"

#include <QString>

#include "mbus/frame.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kelvaro::sim {
namespace {

int speedToBaud(speed_t s)
{
    switch (s) {
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
    }
}

} // namespace

SimServer::SimServer(SimBus bus, Options options, QObject* parent)
    : QObject(parent)
    , bus_(std::move(bus))
    , options_(options)
{
    clock_.start();
    flushTimer_.setTimerType(Qt::PreciseTimer);
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, &SimServer::flushDue);
    modemCommandMode_ = options_.modem;
}

SimServer::~SimServer()
{
    if (masterFd_ >= 0)
        ::close(masterFd_);
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
}

QString SimServer::openPty()
{
    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0 || ::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0)
        return {};
    const QString path = QString::fromLocal8Bit(::ptsname(masterFd_));
    // Holding the slave side open keeps the terminal alive between the
    // master's opens and lets us read the baud rate it set.
    slaveFd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (slaveFd_ < 0)
        return {};
    termios tio{};
    ::tcgetattr(slaveFd_, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B2400);
    ::cfsetospeed(&tio, B2400);
    ::tcsetattr(slaveFd_, TCSANOW, &tio);
    ::fcntl(masterFd_, F_SETFL, ::fcntl(masterFd_, F_GETFL) | O_NONBLOCK);

    notifier_ = new QSocketNotifier(masterFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(masterFd_, buf, sizeof buf);
            if (n <= 0)
                break;
            onInput(QByteArray(buf, static_cast<qsizetype>(n)));
        }
    });
    return path;
}

quint16 SimServer::listenTcp(quint16 port)
{
    server_ = new QTcpServer(this);
    if (!server_->listen(QHostAddress::LocalHost, port))
        return 0;
    connect(server_, &QTcpServer::newConnection, this, [this] {
        QTcpSocket* next = server_->nextPendingConnection();
        if (client_) // a device server serves one master at a time
            client_->abort();
        client_ = next;
        client_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        input_.clear();
        connect(client_, &QTcpSocket::readyRead, this, [this, next] {
            if (next == client_)
                onInput(client_->readAll());
        });
    });
    return server_->serverPort();
}

int SimServer::currentBaud() const
{
    if (slaveFd_ < 0)
        return options_.tcpBaud;
    termios tio{};
    if (::tcgetattr(slaveFd_, &tio) != 0)
        return 0;
    return speedToBaud(::cfgetispeed(&tio));
}

void SimServer::onInput(const QByteArray& bytes)
{
    if (options_.verbose)
        std::fprintf(stderr, "<- %s\n", bytes.toHex(' ').constData());
    if (options_.modem && modemCommandMode_) {
        for (char c : bytes) {
            if (c == '\r' || c == '\n') {
                if (!modemLine_.trimmed().isEmpty())
                    handleModemCommand(QString::fromLatin1(modemLine_.trimmed()));
                modemLine_.clear();
            } else {
                modemLine_.append(c);
            }
        }
        return;
    }
    if (options_.modem && bytes.contains("+++")) {
        modemCommandMode_ = true;
        writeOut("\r\nOK\r\n");
        return;
    }
    input_ += bytes;
    processFrames();
}

void SimServer::handleModemCommand(const QString& line)
{
    const QString cmd = line.toUpper();
    if (!cmd.startsWith(QLatin1String("AT"))) {
        writeOut("\r\nERROR\r\n");
    } else if (cmd.startsWith(QLatin1String("ATD"))) {
        const int baud = currentBaud() > 0 ? currentBaud() : options_.tcpBaud;
        schedule("\r\nCONNECT " + QByteArray::number(baud) + "\r\n", clock_.elapsed() + (options_.fast ? 0 : 200), 0);
        modemCommandMode_ = false;
    } else if (cmd.startsWith(QLatin1String("ATH"))) {
        writeOut("\r\nOK\r\n\r\nNO CARRIER\r\n");
    } else {
        writeOut("\r\nOK\r\n");
    }
}

void SimServer::processFrames()
{
    while (!input_.isEmpty()) {
        const mbus::ScanResult scan = mbus::ScanFrame(mbus::ByteSpan(input_));
        if (scan.status == mbus::ScanStatus::Incomplete)
            return;
        if (scan.status == mbus::ScanStatus::Invalid) {
            input_.remove(0, 1); // not a frame start: a meter ignores it
            continue;
        }
        const QByteArray frame = input_.left(static_cast<qsizetype>(scan.length));
        input_.remove(0, frame.size());

        const int baud = currentBaud();
        const double charMs = options_.fast || baud <= 0 ? 0.0 : 11000.0 / baud;
        const qint64 now = clock_.elapsed();
        // The master handed the whole request over at once; on the wire it
        // ends one request's wire time later.
        const qint64 requestEnd = now + static_cast<qint64>(frame.size() * charMs);
        if (bus_.echo)
            schedule(frame, now, baud);
        const SimReply reply = bus_.handle(frame, baud);
        if (options_.verbose)
            std::fprintf(stderr, "   baud %d -> %s\n", baud, reply.bytes.toHex(' ').constData());
        if (!reply.bytes.isEmpty())
            schedule(reply.bytes, requestEnd + (options_.fast ? 0 : reply.delayMs), baud);
    }
}

// Queues the bytes so that byte i arrives at firstByteAtMs + (i + 1) character times.
void SimServer::schedule(const QByteArray& bytes, qint64 firstByteAtMs, int baud)
{
    const double charMs = options_.fast || baud <= 0 ? 0.0 : 11000.0 / baud;
    if (charMs == 0.0) {
        outgoing_.emplace(firstByteAtMs, bytes);
    } else {
        // Chunks of at most 2 ms of wire time keep the timing fine enough.
        const int perChunk = std::max(1, static_cast<int>(2.0 / charMs));
        for (qsizetype i = 0; i < bytes.size(); i += perChunk) {
            const qsizetype n = std::min<qsizetype>(perChunk, bytes.size() - i);
            outgoing_.emplace(firstByteAtMs + static_cast<qint64>((i + n) * charMs), bytes.mid(i, n));
        }
    }
    flushDue();
}

void SimServer::flushDue()
{
    const qint64 now = clock_.elapsed();
    QByteArray due;
    while (!outgoing_.empty() && outgoing_.begin()->first <= now) {
        due += outgoing_.begin()->second;
        outgoing_.erase(outgoing_.begin());
    }
    if (!due.isEmpty())
        writeOut(due);
    if (!outgoing_.empty())
        flushTimer_.start(static_cast<int>(outgoing_.begin()->first - now));
}

void SimServer::writeOut(const QByteArray& bytes)
{
    if (options_.verbose)
        std::fprintf(stderr, "-> %s\n", bytes.toHex(' ').constData());
    if (masterFd_ >= 0) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(masterFd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
    } else if (client_) {
        client_->write(bytes);
        client_->flush();
    }
}

} // namespace kelvaro::sim
