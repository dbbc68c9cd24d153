#pragma once
#include "mbus/wire/timeouts.h"

#include <QByteArray>
#include <QElapsedTimer>

namespace kelvaro::mbus {

class BusPort;

// What came back after a request.
struct Answer {
    enum Kind { None, Ack, Frame, Collision, Invalid };
    Kind kind = None;
    QByteArray frame;   // the E5 or the complete frame
    int errorBits = 0;  // receive-error bits (1 time-out, 4 checksum, 64 collision, ...)
    QByteArray skipped; // stray bytes that were not part of the answer
    qint64 elapsedMs = 0;
};

// Request/answer exchange on one line: sends frames, drops the converter's
// echo of them, and collects the answer within the bus timing. Every wait
// runs the event loop and ends at its deadline.
class BusLink {
public:
    explicit BusLink(BusPort& port);

    void setTimeouts(const BusTimeouts& timeouts) { timeouts_ = timeouts.sanitized(); }
    const BusTimeouts& timeouts() const { return timeouts_; }

    // Sends one frame after the line's dead time; false when the port is gone.
    bool send(const QByteArray& frame);

    // An E5 answer. With `collisionCheck` (after a selection) anything but one
    // clean E5 is a collision, and with `fullWindow` (wildcards: several meters
    // may answer late) the whole answer window is observed. Otherwise the first
    // E5 ends the wait.
    Answer receiveAck(bool collisionCheck, bool fullWindow);
    // A link-layer frame (RSP_UD); stray bytes before it are skipped.
    Answer receiveFrame();

    // Ends the exchange under way (the provider's break): a running wait
    // returns at once and nothing more is collected for it.
    void requestBreak();

    BusPort& port() { return port_; }

private:
    enum class Until { Frame, FirstAck, Quiet };
    QByteArray collect(int firstByteMs, Until until, int quietMs, int minEndMs, int* errorBits);
    void dropEcho(QByteArray& buffer);
    int baud() const;
    // The network allowance when the line runs through a device server.
    int allowanceMs() const;
    int answerWindowMs() const;
    int interByteMs() const;

    BusPort& port_;
    BusTimeouts timeouts_;
    QByteArray echo_;     // the last frame sent, until its echo has been seen or ruled out
    int sentBytes_ = 0;
    QElapsedTimer lastTraffic_;
    bool break_ = false;
};

} // namespace kelvaro::mbus
