#pragma once

namespace kelvaro::mbus {

// Reply timing of the bus, as the four time-out settings of a port describe it.
//
//   answerBits   ("COMTimeout", default 330): a meter starts its answer within
//                this many bit times after the request ...
//   offsetMs     ("COMTimeoutOffset", default 50): ... plus these milliseconds
//                (the standard's slave answer window). The offset also covers
//                the scheduling jitter of converters and device servers.
//   byteChars    ("COMTimeoutByte", default 4): once an answer has begun, a gap
//                of this many character times (+ offsetMs) ends it.
//   deadBits     ("COMDeadtime", default 11): the line stays idle this many bit
//                times after an answer before the next request is sent.
//   networkMs    ("COMTimeoutNetwork", default 250): on lines through a network
//                (device servers) this is added to the answer window and to the
//                gap inside an answer, which latency and the server's packet
//                timer stretch; serial lines keep the standard window.
//
// A character on the wire is 11 bits (8E1).
struct BusTimeouts {
    int answerBits = 330;
    int offsetMs = 50;
    int byteChars = 4;
    int deadBits = 11;
    int networkMs = 250;

    static constexpr int kBitsPerChar = 11;

    double bitMs(int baud) const { return 1000.0 / (baud > 0 ? baud : 2400); }
    double charMs(int baud) const { return kBitsPerChar * bitMs(baud); }
    double answerWindowMs(int baud) const { return answerBits * bitMs(baud) + offsetMs; }
    double interByteMs(int baud) const { return byteChars * charMs(baud) + offsetMs; }
    double deadTimeMs(int baud) const { return deadBits * bitMs(baud); }
    double wireMs(int bytes, int baud) const { return bytes * charMs(baud); }

    // Replaces zero or negative settings by their defaults.
    BusTimeouts sanitized() const;
};

inline BusTimeouts BusTimeouts::sanitized() const
{
    BusTimeouts t = *this;
    const BusTimeouts d;
    if (t.answerBits <= 0) t.answerBits = d.answerBits;
    if (t.offsetMs <= 0) t.offsetMs = d.offsetMs;
    if (t.byteChars <= 0) t.byteChars = d.byteChars;
    if (t.deadBits <= 0) t.deadBits = d.deadBits;
    if (t.networkMs < 0) t.networkMs = d.networkMs;
    return t;
}

} // namespace kelvaro::mbus
