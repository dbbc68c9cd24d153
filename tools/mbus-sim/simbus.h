#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

namespace kelvaro::sim {

// One simulated meter: identity, telegrams and fault switches.
struct SimMeter {
    int primary = 0;
    QString id = QStringLiteral("00000000"); // eight digits
    QString manufacturer = QStringLiteral("KEL");
    int version = 1;
    int medium = 7;
    QList<int> bauds;           // rates it answers at; empty = any
    QList<QByteArray> records;  // one data block (records after the header) per telegram
    QList<QByteArray> frames;   // or whole RSP_UD frames, sent as they stand (A field and checksum set)
    int answerDelayMs = 5;      // time from the end of the request to the answer

    // Fault switches.
    bool silent = false;
    bool wrongChecksum = false;
    bool garbageBefore = false;
    bool secondTryOnly = false;  // the first REQ_UD2 of each reading goes unanswered
    int unansweredRequests = 0;  // the first n REQ_UD2 since start go unanswered
    int lateMs = 0;             // extra delay on top of answerDelayMs

    // State on the bus.
    bool selected = false;
    int telegram = 0;
    int lastFcb = -1;
    int accessNumber = 0;
    int unansweredTries = 0;

    int telegramCount() const { return static_cast<int>(frames.isEmpty() ? records.size() : frames.size()); }
};

// What the bus sends back, after `delayMs` from the end of the request.
struct SimReply {
    QByteArray bytes;
    int delayMs = 0;
};

// The meters of one bus and their answers to master frames. Pure logic: the
// server feeds it complete request frames and puts the replies on the line.
class SimBus {
public:
    QList<SimMeter> meters;
    bool echo = false; // level converter echoes every request

    // The reply to one request frame at the line's current baud rate; an empty
    // reply when nobody answers. Several answering meters collide.
    SimReply handle(const QByteArray& frame, int baud);

    // The RSP_UD frame of a meter's current telegram.
    QByteArray responseFrame(SimMeter& meter, std::uint8_t address);

private:
    QList<SimMeter*> addressed(std::uint8_t address, int baud);
    SimReply answerAll(const QList<SimMeter*>& who, const std::function<QByteArray(SimMeter&)>& answer);
};

// Whether a meter matches the eight selection bytes (BCD id with F wildcards,
// manufacturer FFFF, version FF, medium FF wildcards).
bool MatchesSelection(const SimMeter& meter, const QByteArray& selection);
std::uint16_t ManufacturerCode(const QString& letters);

} // namespace kelvaro::sim
