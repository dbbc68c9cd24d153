#include "mbus/wire/directframes.h"

#include "foundation/programlog.h"
#include "foundation/textutil.h"
#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/eventwait.h"
#include "mbus/wire/portdevice.h"

#include <QElapsedTimer>

namespace kelvaro::mbus {
namespace {

int toMs(double seconds) { return seconds > 0 ? static_cast<int>(seconds * 1000.0 + 0.5) : 0; }

QString seconds(qint64 ms) { return GermanNumber(ms / 1000.0, 3); }

} // namespace

int MB_ComOpen(BusPort& serial, const PortDirectory& ports, int port, int baud)
{
    serial.close();
    if (serial.isOpen())
        return 0;
    return serial.open(ports.deviceFor(port), baud > 0 ? baud : 9600) ? 0 : -2;
}

int V3CommSendMsg(BusPort& serial, const QByteArray& frame, double preDelaySeconds, int /*sendLimit*/,
                  double postDelaySeconds, bool log)
{
    if (!serial.isOpen())
        return -1;
    serial.discardInput();
    serial.setRts(true);
    PauseWithEvents(toMs(preDelaySeconds));
    if (!serial.write(frame))
        return -1;
    PauseWithEvents(toMs(postDelaySeconds));
    if (postDelaySeconds > 0)
        serial.setRts(false);
    if (log)
        WriteProgramLog(QStringLiteral("Send Hex   : \t") + StrToHexListe(frame, QStringLiteral(";")));
    return 0;
}

ReadMsgResult V3CommReadMsg(BusPort& serial, char startChar, char stopChar, double timeoutSeconds,
                            QByteArray& received, bool log, const QByteArray& sentFrame)
{
    QElapsedTimer total;
    total.start();
    PauseWithEvents(15);
    const int timeoutMs = timeoutSeconds > 0 ? toMs(timeoutSeconds) : 800;
    // Bytes that keep trickling in restart the clock; this bounds the whole read.
    const int baud = serial.baudRate() > 0 ? serial.baudRate() : 2400;
    const qint64 hardLimitMs = timeoutMs + 261 * 11 * 1000 / baud + 2000;
    received.clear();

    QByteArray buffer;
    QByteArray lastChunk;
    QByteArray pendingEcho = sentFrame;
    QElapsedTimer sinceArrival;
    sinceArrival.start();
    ReadMsgResult result;

    for (;;) {
        const qint64 left = std::min<qint64>(timeoutMs - sinceArrival.elapsed(), hardLimitMs - total.elapsed());
        if (left <= 0 || !serial.isOpen())
            break;
        if (!serial.waitForBytes(static_cast<int>(left)))
            continue;
        lastChunk = serial.readAll();
        if (lastChunk.isEmpty())
            continue;
        buffer += lastChunk;
        sinceArrival.restart();
        if (!pendingEcho.isEmpty()) {
            // A level converter that echoes sends the request back first;
            // nothing inside it (an E5 of the selection bytes) is an answer.
            if (buffer.size() < pendingEcho.size() && pendingEcho.startsWith(buffer))
                continue;
            if (buffer.startsWith(pendingEcho))
                buffer.remove(0, pendingEcho.size());
            pendingEcho.clear();
            if (buffer.isEmpty())
                continue;
        }

        if (startChar == stopChar) {
            if (buffer.contains(startChar)) {
                received = QByteArray(1, startChar);
                result = {ReadMsgResult::Single, 1, {}};
                break;
            }
            continue;
        }
        // A long frame only counts when it starts at the first byte: 68 L L 68 ... 16.
        if (buffer.size() >= 4 && buffer[0] == startChar && buffer[3] == startChar && buffer[1] == buffer[2]) {
            const int l = static_cast<std::uint8_t>(buffer[1]);
            if (buffer.size() >= l + 6 && buffer[l + 5] == stopChar) {
                received = buffer.left(l + 6);
                serial.discardInput();
                result = {ReadMsgResult::Frame, l + 6, {}};
                break;
            }
        }
    }

    if (result.kind == ReadMsgResult::Timeout) {
        result.timeoutText = QStringLiteral("Timeout : ") + StrToHexListe(lastChunk, QStringLiteral(";"))
            + QStringLiteral("  ") + seconds(total.elapsed());
        if (log)
            WriteProgramLog(QStringLiteral("Timeout V3CommReadMsg : ") + StrToHexListe(buffer, QStringLiteral(";"))
                            + QStringLiteral(" ") + seconds(total.elapsed()) + QStringLiteral(" TmOut=")
                            + GermanNumber(timeoutMs / 1000.0));
    } else if (log) {
        WriteProgramLog(QStringLiteral("Gelesen Hex   : \t") + StrToHexListe(buffer, QStringLiteral(";")));
    }
    return result;
}

int DirectReadResult::code() const
{
    switch (kind) {
    case Read: return length;
    case PortNotOpen: return -1;
    case NotSent: return -2;
    case NoAcknowledge: return -3;
    case NoFrame: break;
    }
    return -4;
}

DirectReadResult ReadWithStoredSelection(BusPort& serial, const QByteArray& selection, QByteArray& reply,
                                         const DirectLineOptions& o)
{
    reply.clear();
    if (!serial.isOpen())
        return {DirectReadResult::PortNotOpen};
    const auto send = [&](const QByteArray& frame, bool logSend) {
        return V3CommSendMsg(serial, frame, o.preDelay, o.sendLimit, o.postDelay, logSend) == 0;
    };
    // One request and its acknowledgement; false when it was not sent or not acknowledged.
    const auto acknowledged = [&](const QByteArray& frame, bool logSend) {
        QByteArray ack;
        return send(frame, logSend)
            && V3CommReadMsg(serial, '\xE5', '\xE5', o.timeoutSeconds, ack, o.log, frame).kind == ReadMsgResult::Single;
    };
    if (!send(selection, true))
        return {DirectReadResult::NotSent};
    QByteArray ack;
    if (V3CommReadMsg(serial, '\xE5', '\xE5', o.timeoutSeconds, ack, o.log, selection).kind != ReadMsgResult::Single)
        return {DirectReadResult::NoAcknowledge};
    // Reset the selected meter's link and select it again, so that the request
    // below (FCB 1) gets its first telegram and never a repeat of an earlier answer.
    acknowledged(BuildSndNke(kAddressSelected), o.log);
    if (!acknowledged(selection, o.log))
        return {DirectReadResult::NoAcknowledge};
    const QByteArray request = BuildReqUd2(kAddressSelected, true);
    if (!send(request, o.log))
        return {DirectReadResult::PortNotOpen};
    QByteArray frame;
    const ReadMsgResult read = V3CommReadMsg(serial, '\x68', '\x16', o.timeoutSeconds, frame, o.log, request);
    if (read.kind != ReadMsgResult::Frame)
        return {DirectReadResult::NoFrame};
    reply = frame;
    return {DirectReadResult::Read, read.length};
}

int MB_LeseDirektSekAdr(BusPort& serial, const QByteArray& selection, QByteArray& reply, bool log,
                        double preDelay, int sendLimit, double postDelay, double timeoutSeconds)
{
    return ReadWithStoredSelection(serial, selection, reply, {log, preDelay, sendLimit, postDelay, timeoutSeconds}).code();
}

} // namespace kelvaro::mbus
