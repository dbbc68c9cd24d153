#pragma once
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvaro::mbus {

enum class FrameType : std::uint8_t { Ack, Short, Control, Long };

// Receive-error bits as the provider reports them (APPReceiveError).
enum ReceiveErrorBit : int {
    ErrTimeout = 1,
    ErrParity = 2,
    ErrChecksum = 4,
    ErrStartCharacter = 8,
    ErrLength = 16,
    ErrStopCharacter = 32,
    ErrCollision = 64,
    ErrFraming = 128,
    ErrUart = 256,
};

// A validated link-layer frame inside a caller's buffer (no copy).
struct FrameView {
    FrameType type = FrameType::Ack;
    std::uint8_t c = 0;
    std::uint8_t a = 0;
    std::uint8_t ci = 0;                   // control and long frames
    std::span<const std::uint8_t> raw;     // the whole frame, start to stop character
    std::span<const std::uint8_t> payload; // bytes after CI (long frames)
};

enum class ScanStatus : std::uint8_t {
    Complete,   // a valid frame starts at the first byte
    Incomplete, // a frame may start here but bytes are missing
    Invalid,    // the first byte does not start a valid frame (see error bits)
};

struct ScanResult {
    ScanStatus status = ScanStatus::Incomplete;
    int errorBits = 0;      // ReceiveErrorBit values when Invalid
    std::size_t length = 0; // frame length when Complete; when Invalid, the
                            // length the L field gives (0 if not known)
    bool onlyChecksum = false; // Invalid: everything but the checksum is right
    FrameView frame;
};

// Examines the frame that starts at bytes[0]: E5, short (10), control or long
// (68) frame with start and stop characters, both L fields, L >= 3 and the
// checksum checked. Never reads beyond `bytes`.
ScanResult ScanFrame(std::span<const std::uint8_t> bytes);

// Checks that `bytes` is exactly one valid frame.
bool ParseFrame(std::span<const std::uint8_t> bytes, FrameView& frame, int* errorBits = nullptr);

// Collects bytes as they arrive from a port and cuts them into frames: hunts
// for a start character, skips stray bytes and, after a failed frame, hunts
// again from the byte after its start (a stray 68 or 10 may precede the real
// frame). A frame that is whole but for its checksum (start, L fields and
// stop character in place) is dropped as one: its checksum error is the only
// one reported, and nothing inside it counts as a frame. Candidates that fail
// inside the extent of another rejected frame add no error bits of their own.
class FrameReceiver {
public:
    void append(const QByteArray& bytes);
    void append(std::span<const std::uint8_t> bytes);

    enum class Result { NeedMore, Frame };
    // Takes the next complete frame out of the buffer into `frame`. With
    // `endOfInput` (the caller stops waiting) a frame start that is still
    // incomplete counts as failed (ErrLength) and the hunt goes on behind it.
    Result next(QByteArray& frame, bool endOfInput = false);

    // Bytes skipped while hunting, and the error bits of the failed frame starts
    // seen since the last clear.
    const QByteArray& skipped() const { return skipped_; }
    int errorBits() const { return errorBits_; }
    // Bytes received but not yet part of a frame.
    const QByteArray& pending() const { return buffer_; }
    // Error bits of the pending bytes, were no more to come: ErrLength for a
    // truncated frame, 0 when nothing is pending.
    int pendingErrorBits() const;
    void clear();

private:
    void drop(qsizetype n);

    QByteArray buffer_;
    QByteArray skipped_;
    int errorBits_ = 0;
    qsizetype rejectedRest_ = 0; // bytes at the buffer's start that belong to a rejected frame
};

std::uint8_t Checksum(std::span<const std::uint8_t> bytes);

// The bytes of a QByteArray as the codec takes them.
inline std::span<const std::uint8_t> ByteSpan(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

// Master frames.
inline constexpr std::uint8_t kAddressSelected = 0xFD;
inline constexpr std::uint8_t kAddressBroadcastReply = 0xFE;
inline constexpr std::uint8_t kAddressBroadcast = 0xFF;

QByteArray BuildShortFrame(std::uint8_t c, std::uint8_t a);
QByteArray BuildLongFrame(std::uint8_t c, std::uint8_t a, std::uint8_t ci, std::span<const std::uint8_t> data = {});
QByteArray BuildSndNke(std::uint8_t address);
QByteArray BuildReqUd2(std::uint8_t address, bool fcb);
QByteArray BuildReqUd1(std::uint8_t address, bool fcb);

// Secondary selection (CI 52 to address 253). `id` holds eight characters, digits
// or "f"/"F" for a wildcard digit; manufacturer 0xFFFF, version and medium 0xFF
// are wildcards. With a fabrication number (eight digits/wildcards) the enhanced
// selection is built. Returns no bytes for a malformed id.
QByteArray BuildSelection(const QString& id, std::uint16_t manufacturer = 0xFFFF, std::uint8_t version = 0xFF,
                          std::uint8_t medium = 0xFF, const QString& fabricationNumber = {}, bool fcb = false);
// Record selection (CI 51): data records to write or to select for readout.
QByteArray BuildRecordSelection(std::uint8_t address, std::span<const std::uint8_t> records, bool fcb = false);
// Application reset (CI 50), optionally with its sub-code byte.
QByteArray BuildApplicationReset(std::uint8_t address, int subCode = -1, bool fcb = false);
// Baud-rate switch (CI B8..BF); no bytes for a rate the bus does not know.
QByteArray BuildBaudSwitch(std::uint8_t address, int baud, bool fcb = false);
// The CI byte of a baud rate, 0 when there is none.
std::uint8_t BaudRateCi(int baud);

} // namespace kelvaro::mbus
