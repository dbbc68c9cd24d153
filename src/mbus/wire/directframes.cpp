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

int MB_LeseDirektSekAdr(BusPort& serial, const QByteArray& selection, QByteArray& reply, bool log,
                        double preDelay, int sendLimit, double postDelay, double timeoutSeconds)
{
    reply.clear();
    if (!serial.isOpen())
        return -1;
    // One request and its acknowledgement; false when it was not sent or not acknowledged.
    const auto acknowledged = [&](const QByteArray& frame, bool logSend) {
        if (V3CommSendMsg(serial, frame, preDelay, sendLimit, postDelay, logSend) != 0)
            return false;
        QByteArray ack;
        return V3CommReadMsg(serial, '\xE5', '\xE5', timeoutSeconds, ack, log, frame).kind == ReadMsgResult::Single;
    };
    if (V3CommSendMsg(serial, selection, preDelay, sendLimit, postDelay, true) != 0)
        return -2;
    QByteArray ack;
    if (V3CommReadMsg(serial, '\xE5', '\xE5', timeoutSeconds, ack, log, selection).kind != ReadMsgResult::Single)
        return -3;
    // Reset the selected meter's link and select it again, so that the request
    // below (FCB 1) gets its first telegram and never a repeat of an earlier answer.
    acknowledged(BuildSndNke(kAddressSelected), log);
    if (!acknowledged(selection, log))
        return -3;
    const QByteArray request = BuildReqUd2(kAddressSelected, true);
    const int sent = V3CommSendMsg(serial, request, preDelay, sendLimit, postDelay, log);
    if (sent != 0)
        return sent;
    QByteArray frame;
    const ReadMsgResult read = V3CommReadMsg(serial, '\x68', '\x16', timeoutSeconds, frame, log, request);
    if (read.kind != ReadMsgResult::Frame)
        return -4;
    reply = frame;
    return read.length;
}

} // namespace kelvaro::mbus
