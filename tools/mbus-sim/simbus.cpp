#include "simbus.h"

#include <QString>

#include "mbus/frame.h"

#include <functional>

namespace kelvaro::sim {
namespace {

constexpr std::uint8_t kAck = 0xE5;

QByteArray idBcd(const QString& id)
{
    const QString digits = id.rightJustified(8, '0').right(8);
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        const int hi = digits[6 - 2 * i].digitValue();
        const int lo = digits[7 - 2 * i].digitValue();
        out[i] = static_cast<char>(((hi & 0xF) << 4) | (lo & 0xF));
    }
    return out;
}

bool matchesBcdNibbles(const QByteArray& actual, const QByteArray& mask)
{
    for (int i = 0; i < 4; ++i) {
        const auto a = static_cast<std::uint8_t>(actual[i]);
        const auto m = static_cast<std::uint8_t>(mask[i]);
        if ((m & 0xF0) != 0xF0 && (m & 0xF0) != (a & 0xF0))
            return false;
        if ((m & 0x0F) != 0x0F && (m & 0x0F) != (a & 0x0F))
            return false;
    }
    return true;
}

} // namespace

std::uint16_t ManufacturerCode(const QString& letters)
{
    const QString l = letters.toUpper().leftJustified(3, 'A').left(3);
    return static_cast<std::uint16_t>(((l[0].unicode() - 64) << 10) | ((l[1].unicode() - 64) << 5)
                                      | (l[2].unicode() - 64));
}

bool MatchesSelection(const SimMeter& meter, const QByteArray& selection)
{
    if (selection.size() < 8 || !matchesBcdNibbles(idBcd(meter.id), selection.left(4)))
        return false;
    const auto man = static_cast<std::uint16_t>(static_cast<std::uint8_t>(selection[4])
                                                | static_cast<std::uint8_t>(selection[5]) << 8);
    const auto ver = static_cast<std::uint8_t>(selection[6]);
    const auto med = static_cast<std::uint8_t>(selection[7]);
    return (man == 0xFFFF || man == ManufacturerCode(meter.manufacturer))
        && (ver == 0xFF || ver == meter.version) && (med == 0xFF || med == meter.medium);
}

QByteArray SimBus::responseFrame(SimMeter& meter, std::uint8_t address)
{
    const int count = std::max(1, meter.telegramCount());
    const int index = meter.telegram % count;
    QByteArray frame;
    if (!meter.frames.isEmpty()) {
        frame = meter.frames[index];
        if (frame.size() >= 9) {
            frame[5] = static_cast<char>(address);
            frame[frame.size() - 2] = static_cast<char>(mbus::Checksum(mbus::ByteSpan(frame.mid(4, frame.size() - 6))));
        }
    } else {
        QByteArray data = idBcd(meter.id);
        const std::uint16_t man = ManufacturerCode(meter.manufacturer);
        data.append(static_cast<char>(man & 0xFF)).append(static_cast<char>(man >> 8));
        data.append(static_cast<char>(meter.version)).append(static_cast<char>(meter.medium));
        data.append(static_cast<char>(meter.accessNumber & 0xFF)).append('\0').append('\0').append('\0');
        data += meter.records.value(index);
        if (index + 1 < meter.records.size())
            data.append('\x1F'); // more records follow in the next telegram
        frame = mbus::BuildLongFrame(0x08, address, 0x72, mbus::ByteSpan(data));
    }
    meter.accessNumber = (meter.accessNumber + 1) & 0xFF;
    if (meter.wrongChecksum && frame.size() > 2)
        frame[frame.size() - 2] = static_cast<char>(frame[frame.size() - 2] + 1);
    if (meter.garbageBefore)
        frame.prepend(QByteArray::fromHex("12FF34"));
    return frame;
}

QList<SimMeter*> SimBus::addressed(std::uint8_t address, int baud)
{
    QList<SimMeter*> who;
    for (SimMeter& m : meters) {
        if (!m.bauds.isEmpty() && !m.bauds.contains(baud))
            continue;
        if ((address == mbus::kAddressSelected && m.selected) || address == mbus::kAddressBroadcastReply
            || address == mbus::kAddressBroadcast || (address < 251 && m.primary == address))
            who << &m;
    }
    return who;
}

SimReply SimBus::answerAll(const QList<SimMeter*>& who, const std::function<QByteArray(SimMeter&)>& answer)
{
    SimReply reply;
    QList<QByteArray> answers;
    for (SimMeter* m : who) {
        QByteArray a = answer(*m);
        if (m->silent || a.isEmpty())
            continue;
        answers << a;
        reply.delayMs = std::max(reply.delayMs, m->answerDelayMs + m->lateMs);
    }
    if (answers.size() == 1) {
        reply.bytes = answers.first();
    } else if (answers.size() > 1) {
        // Currents add on the bus: any 0 bit wins. The answers are never
        // perfectly aligned, so the master sees a mangled first byte and a
        // break (00) where a clean answer would have been.
        QByteArray mixed = answers.first();
        for (const QByteArray& a : answers.mid(1))
            for (qsizetype i = 0; i < std::min(mixed.size(), a.size()); ++i)
                mixed[i] = static_cast<char>(mixed[i] & a[i]);
        mixed[0] = static_cast<char>(mixed[0] & 0xC3);
        reply.bytes = mixed + QByteArray(1, '\0');
    }
    return reply;
}

SimReply SimBus::handle(const QByteArray& frameBytes, int baud)
{
    mbus::FrameView f;
    if (!mbus::ParseFrame(mbus::ByteSpan(frameBytes), f) || f.type == mbus::FrameType::Ack)
        return {};
    const std::uint8_t function = f.c & 0x4F;
    const bool fcv = f.c & 0x10;
    const int fcb = (f.c >> 5) & 1;
    const std::uint8_t address = f.a;
    const auto ack = [](SimMeter&) { return QByteArray(1, static_cast<char>(kAck)); };
    SimReply reply;

    if (f.type == mbus::FrameType::Short) {
        if (function == 0x40) { // SND_NKE: link reset, restart at telegram 1
            const QList<SimMeter*> who = addressed(address, baud);
            for (SimMeter* m : who) {
                m->telegram = 0;
                m->lastFcb = -1;
                if (address == mbus::kAddressSelected)
                    m->selected = false;
            }
            reply = answerAll(who, ack);
        } else if (function == 0x4B && fcv) { // REQ_UD2
            reply = answerAll(addressed(address, baud), [&](SimMeter& m) {
                if (m.unansweredRequests > 0) {
                    --m.unansweredRequests;
                    return QByteArray();
                }
                if (m.secondTryOnly && m.unansweredTries++ == 0)
                    return QByteArray();
                m.unansweredTries = 0;
                if (m.lastFcb >= 0 && fcb != m.lastFcb && m.telegramCount() > 0)
                    m.telegram = (m.telegram + 1) % m.telegramCount();
                m.lastFcb = fcb;
                return responseFrame(m, address == mbus::kAddressSelected ? std::uint8_t(m.primary) : address);
            });
        }
    } else if (function == 0x43) { // SND_UD
        if (f.ci == 0x52 && address == mbus::kAddressSelected) {
            const QByteArray selection(reinterpret_cast<const char*>(f.payload.data()),
                                       static_cast<qsizetype>(f.payload.size()));
            QList<SimMeter*> chosen;
            for (SimMeter& m : meters) {
                m.selected = MatchesSelection(m, selection);
                if (m.selected && (m.bauds.isEmpty() || m.bauds.contains(baud)))
                    chosen << &m;
            }
            reply = answerAll(chosen, ack);
        } else if (f.ci == 0x50 || f.ci == 0x51) { // application reset, record selection
            const QList<SimMeter*> who = addressed(address, baud);
            for (SimMeter* m : who)
                if (f.ci == 0x50)
                    m->telegram = 0;
            reply = answerAll(who, ack);
        } else if (f.ci >= 0xB8 && f.ci <= 0xBF) { // baud switch: E5 at the old rate, then switch
            static const int rates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400};
            const QList<SimMeter*> who = addressed(address, baud);
            reply = answerAll(who, ack);
            for (SimMeter* m : who)
                m->bauds = {rates[f.ci - 0xB8]};
        }
    }
    if (address == mbus::kAddressBroadcast)
        return {}; // nobody answers a broadcast
    return reply;
}

} // namespace kelvaro::sim
