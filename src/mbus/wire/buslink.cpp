#include "mbus/wire/buslink.h"

#include <QString>

#include "mbus/frame.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/eventwait.h"

#include <cmath>
#include <utility>

namespace kelvaro::mbus {
namespace {


int ceilMs(double ms) { return static_cast<int>(std::ceil(ms)); }

// The look at the line after a deadline: long enough for the event loop to
// take in bytes the system already holds, too short to be a wait.
constexpr int kLookMs = 1;

} // namespace

BusLink::BusLink(BusPort& port)
    : port_(port)
{
}

int BusLink::baud() const { return port_.baudRate() > 0 ? port_.baudRate() : 2400; }

int BusLink::allowanceMs() const { return port_.isNetwork() ? timeouts_.networkMs : 0; }

// From the send: the request's own wire time, then the slave's answer window.
int BusLink::answerWindowMs() const
{
    return ceilMs(timeouts_.wireMs(sentBytes_, baud()) + timeouts_.answerWindowMs(baud())) + allowanceMs();
}

int BusLink::interByteMs() const { return ceilMs(timeouts_.interByteMs(baud())) + allowanceMs(); }

void BusLink::requestBreak()
{
    break_ = true;
    port_.interruptWait();
}

bool BusLink::send(const QByteArray& frame)
{
    if (!port_.isOpen())
        return false;
    if (lastTraffic_.isValid()) {
        const qint64 idle = lastTraffic_.elapsed();
        const int dead = ceilMs(timeouts_.deadTimeMs(baud()));
        if (idle < dead)
            PauseWithEvents(static_cast<int>(dead - idle));
    }
    break_ = false;
    port_.discardInput();
    port_.setRts(true);
    const bool ok = port_.write(frame);
    echo_ = frame;
    sentBytes_ = frame.size();
    lastTraffic_.start();
    return ok;
}

void BusLink::dropEcho(QByteArray& buffer)
{
    if (echo_.isEmpty() || buffer.isEmpty())
        return;
    const qsizetype n = std::min(buffer.size(), echo_.size());
    if (buffer.left(n) != echo_.left(n)) {
        echo_.clear(); // not an echo: this is the answer
        return;
    }
    buffer.remove(0, n);
    echo_.remove(0, n);
}

// Gathers answer bytes. The first answer byte must come within firstByteMs
// (counted from the send). Then, depending on `until`, a complete frame or an
// E5 ends it, or a quiet gap of quietMs (never before minEndMs).
QByteArray BusLink::collect(int firstByteMs, Until until, int quietMs, int minEndMs, int* errorBits)
{
    QElapsedTimer clock;
    clock.start();
    // Upper bound of the whole answer: window + the longest frame + margins.
    const int hardLimit = std::max(firstByteMs, minEndMs) + ceilMs(timeouts_.wireMs(261, baud()) * 1.5) + quietMs;
    QByteArray buffer;
    qint64 lastByteAt = 0;
    FrameReceiver receiver;
    *errorBits = 0;
    bool lookedPastLimit = false;

    while (!break_) {
        const qint64 now = clock.elapsed();
        qint64 deadline = buffer.isEmpty() ? firstByteMs : std::max<qint64>(lastByteAt + quietMs, minEndMs);
        deadline = std::min<qint64>(deadline, hardLimit);
        if (now >= deadline) {
            // This process may have been held up past the deadline while the
            // answer came in: what already waits on the line still counts.
            // Past the hard limit only once, so that a peer that never stops
            // sending cannot hold the wait.
            if (now >= hardLimit && std::exchange(lookedPastLimit, true))
                break;
            if (!port_.waitForBytes(kLookMs))
                break;
        } else if (!port_.waitForBytes(static_cast<int>(deadline - now))) {
            if (!port_.isOpen())
                break; // the line is gone: nothing more can come
            continue;
        }
        QByteArray chunk = port_.readAll();
        dropEcho(chunk);
        if (chunk.isEmpty())
            continue;
        buffer += chunk;
        lastByteAt = clock.elapsed();
        lastTraffic_.start();
        if (until == Until::Frame) {
            receiver.append(chunk);
            QByteArray frame;
            if (receiver.next(frame) == FrameReceiver::Result::Frame)
                return frame;
        } else if (until == Until::FirstAck && buffer.startsWith('\xE5')) {
            return buffer.left(1);
        }
    }
    if (until == Until::Frame)
        *errorBits = buffer.isEmpty() ? ErrTimeout : (receiver.errorBits() | receiver.pendingErrorBits());
    return buffer;
}

Answer BusLink::receiveAck(bool collisionCheck, bool fullWindow)
{
    QElapsedTimer clock;
    clock.start();
    Answer answer;
    const int window = answerWindowMs();
    int bits = 0;
    // After a wildcard selection several meters may answer at different
    // moments of the window, so it is observed to its end. Otherwise the first
    // E5 ends the wait; anything else that arrives first counts as garbled.
    const QByteArray bytes = collisionCheck && fullWindow
        ? collect(window, Until::Quiet, ceilMs(timeouts_.charMs(baud()) * 2 + timeouts_.offsetMs / 2.0), window, &bits)
        : collect(window, Until::FirstAck, interByteMs(), 0, &bits);
    answer.elapsedMs = clock.elapsed();
    if (bytes.isEmpty()) {
        answer.kind = Answer::None;
        answer.errorBits = ErrTimeout;
    } else if (bytes == QByteArray(1, '\xE5') || (!collisionCheck && bytes.startsWith('\xE5'))) {
        answer.kind = Answer::Ack;
        answer.frame = bytes.left(1);
    } else {
        answer.kind = Answer::Collision;
        answer.errorBits = ErrCollision;
        answer.skipped = bytes;
    }
    return answer;
}

Answer BusLink::receiveFrame()
{
    QElapsedTimer clock;
    clock.start();
    Answer answer;
    int bits = 0;
    const QByteArray bytes = collect(answerWindowMs(), Until::Frame, interByteMs(), 0, &bits);
    answer.elapsedMs = clock.elapsed();
    if (bits == 0 && !bytes.isEmpty()) {
        answer.kind = bytes == QByteArray(1, '\xE5') ? Answer::Ack : Answer::Frame;
        answer.frame = bytes;
    } else {
        answer.kind = bytes.isEmpty() ? Answer::None : Answer::Invalid;
        answer.errorBits = bits ? bits : ErrTimeout;
        answer.skipped = bytes;
    }
    return answer;
}

} // namespace kelvaro::mbus
