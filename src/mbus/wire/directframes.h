#pragma once
#include <QByteArray>
#include <QString>

namespace kelvaro::mbus {

class BusPort;
class PortDirectory;

// Opens the device of COM number `port` for the direct path: 8E1 at `baud`
// (9600 when 0), DTR on, RTS off. 0 open, -2 not open, -1 on a port error.
int MB_ComOpen(BusPort& serial, const PortDirectory& ports, int port, int baud);

// Sends a frame: clears the input, raises RTS, waits the pre-delay, writes,
// waits the post-delay and drops RTS when that delay is positive.
// 0 sent, -1 port not open. The send limit is accepted and not applied.
int V3CommSendMsg(BusPort& serial, const QByteArray& frame, double preDelaySeconds, int sendLimit,
                  double postDelaySeconds, bool log);

// The outcome of V3CommReadMsg: a single character, a frame of some length,
// or a time-out with its text ("Timeout : " ...). Never text where a number
// is expected.
struct ReadMsgResult {
    enum Kind { Single, Frame, Timeout };
    Kind kind = Timeout;
    int length = 0;       // 1 for a single character, the frame length otherwise
    QString timeoutText;  // only for Timeout
    bool ok() const { return kind != Timeout; }
    // The classic numeric result: 1, the length, or 0 for a time-out.
    int code() const { return kind == Timeout ? 0 : length; }
};

// Waits for a single character (start == stop) or a long frame starting at the
// first received byte. A time-out of 0 means 0.8 s; the clock restarts with
// every arrival, and the whole wait is bounded. An exact echo of `sentFrame`
// at the start of the input is dropped first.
ReadMsgResult V3CommReadMsg(BusPort& serial, char startChar, char stopChar, double timeoutSeconds,
                            QByteArray& received, bool log, const QByteArray& sentFrame = {});

// Timing and logging of the direct path's requests.
struct DirectLineOptions {
    bool log = false;
    double preDelay = 0;
    int sendLimit = 0;
    double postDelay = 0;
    double timeoutSeconds = 0.8;
};

struct DirectReadResult {
    enum Kind { Read, PortNotOpen, NotSent, NoAcknowledge, NoFrame };
    Kind kind = NoFrame;
    int length = 0; // of the reply frame
    bool ok() const { return kind == Read; }
    // The classic number: the reply length, or -1 port not open, -2 not sent,
    // -3 no E5, -4 no frame.
    int code() const;
};

// Direct secondary reading: selection frame, E5, SND_NKE to 253, the selection
// again, E5, REQ_UD2 to 253 (FCB 1), long frame.
DirectReadResult ReadWithStoredSelection(BusPort& serial, const QByteArray& selection, QByteArray& reply,
                                         const DirectLineOptions& options);
int MB_LeseDirektSekAdr(BusPort& serial, const QByteArray& selection, QByteArray& reply, bool log,
                        double preDelay, int sendLimit, double postDelay, double timeoutSeconds);

} // namespace kelvaro::mbus
