// The bytes a port delivers, on the path a reading takes and without any
// display text: frame scanner, frame receiver (fed in pieces, as a port
// delivers them) and telegram decoder. The same bytes are also decoded as the
// user data of a valid long frame (first byte = CI), so that the record
// decoder is reached without a checksum to guess. Fast enough for millions of
// runs; fuzz_mbus_decode adds every text in both languages.
//
// Besides crashes and undefined behaviour it checks what callers rely on:
// every byte is accounted for by the receiver, a frame it hands out is valid,
// and every record's offsets lie inside the telegram.
#include "mbus/frame.h"
#include "mbus/telegram.h"

#include <QByteArray>

#include <cmath>
#include <cstdlib>

using namespace kelvaro::mbus;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void decodeAndCheck(std::span<const std::uint8_t> frame, Telegram& t)
{
    DecodeTelegram(frame, t);
    require(t.size <= kMaxFrameSize);
    require(t.records.size() <= kMaxRecords + 1); // the undecodable tail comes on top
    for (const DataRecord& r : t.records) {
        require(r.info != nullptr);
        require(r.offset <= r.vibOffset && r.vibOffset <= r.dataOffset);
        require(std::size_t(r.dataOffset) + r.dataLength <= t.size);
        require(std::size_t(r.vibOffset) + r.vibLength <= t.size);
        require(std::size_t(r.vifeStart) + r.vifeCount <= r.vibLength || r.vibLength == 0);
        require(std::size_t(r.textOffset) + r.textLength <= r.vibLength || r.textLength == 0);
        if (r.type == ValueType::Number)
            require(std::isfinite(r.value));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    static Telegram t; // reused, as a reading loop does
    (void)ScanFrame(bytes);
    decodeAndCheck(bytes, t);

    // The receiver as the bus link uses it: after every piece, then at the deadline.
    FrameReceiver receiver;
    QByteArray frame;
    std::size_t handedOut = 0;
    auto takeFrames = [&](bool endOfInput) {
        while (receiver.next(frame, endOfInput) == FrameReceiver::Result::Frame) {
            FrameView view;
            require(ParseFrame(ByteSpan(frame), view));
            handedOut += static_cast<std::size_t>(frame.size());
            decodeAndCheck(ByteSpan(frame), t);
        }
    };
    const std::size_t cuts[] = {size / 3, 2 * size / 3, size};
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        receiver.append(bytes.subspan(from, cut - from));
        from = cut;
        takeFrames(false);
    }
    takeFrames(true);
    require(handedOut + static_cast<std::size_t>(receiver.skipped().size() + receiver.pending().size()) == size);
    (void)receiver.pendingErrorBits();

    if (size >= 1) {
        const std::size_t n = size - 1 > 252 ? 252 : size - 1;
        const QByteArray wrapped = BuildLongFrame(0x08, 0x01, data[0], bytes.subspan(1, n));
        decodeAndCheck(ByteSpan(wrapped), t);
    }
    return 0;
}
