#include "mbus/frame.h"

#include <QString>

namespace kelvaro::mbus {

namespace {
constexpr std::uint8_t kAck = 0xE5;
constexpr std::uint8_t kShortStart = 0x10;
constexpr std::uint8_t kLongStart = 0x68;
constexpr std::uint8_t kStop = 0x16;

ScanResult invalid(int bits)
{
    ScanResult r;
    r.status = ScanStatus::Invalid;
    r.errorBits = bits;
    return r;
}

} // namespace

std::uint8_t Checksum(std::span<const std::uint8_t> bytes)
{
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint8_t>(sum);
}

ScanResult ScanFrame(std::span<const std::uint8_t> bytes)
{
    ScanResult r;
    if (bytes.empty())
        return r;
    switch (bytes[0]) {
    case kAck:
        r.status = ScanStatus::Complete;
        r.length = 1;
        r.frame.type = FrameType::Ack;
        r.frame.raw = bytes.first(1);
        return r;
    case kShortStart: {
        if (bytes.size() < 5)
            return r;
        if (Checksum(bytes.subspan(1, 2)) != bytes[3]) {
            r = invalid(ErrChecksum);
            r.length = 5;
            r.onlyChecksum = bytes[4] == kStop;
            return r;
        }
        if (bytes[4] != kStop) {
            r = invalid(ErrStopCharacter);
            r.length = 5;
            return r;
        }
        r.status = ScanStatus::Complete;
        r.length = 5;
        r.frame.type = FrameType::Short;
        r.frame.c = bytes[1];
        r.frame.a = bytes[2];
        r.frame.raw = bytes.first(5);
        return r;
    }
    case kLongStart: {
        if (bytes.size() >= 3 && bytes[1] != bytes[2])
            return invalid(ErrLength);
        if (bytes.size() >= 2 && bytes[1] < 3)
            return invalid(ErrLength);
        if (bytes.size() >= 4 && bytes[3] != kLongStart)
            return invalid(ErrStartCharacter);
        if (bytes.size() < 4)
            return r;
        const std::size_t l = bytes[1];
        const std::size_t total = l + 6;
        if (bytes.size() < total)
            return r;
        if (Checksum(bytes.subspan(4, l)) != bytes[4 + l]) {
            r = invalid(ErrChecksum);
            r.length = total;
            r.onlyChecksum = bytes[5 + l] == kStop;
            return r;
        }
        if (bytes[5 + l] != kStop) {
            r = invalid(ErrStopCharacter);
            r.length = total;
            return r;
        }
        r.status = ScanStatus::Complete;
        r.length = total;
        r.frame.type = l == 3 ? FrameType::Control : FrameType::Long;
        r.frame.c = bytes[4];
        r.frame.a = bytes[5];
        r.frame.ci = bytes[6];
        r.frame.raw = bytes.first(total);
        r.frame.payload = bytes.subspan(7, l - 3);
        return r;
    }
    default:
        return invalid(ErrStartCharacter);
    }
}

bool ParseFrame(std::span<const std::uint8_t> bytes, FrameView& frame, int* errorBits)
{
    const ScanResult r = ScanFrame(bytes);
    int bits = r.errorBits;
    if (r.status == ScanStatus::Incomplete)
        bits = bytes.empty() ? ErrTimeout : ErrLength;
    else if (r.status == ScanStatus::Complete && r.length != bytes.size())
        bits = ErrLength;
    if (errorBits)
        *errorBits = bits;
    if (bits != 0)
        return false;
    frame = r.frame;
    return true;
}

void FrameReceiver::append(const QByteArray& bytes)
{
    buffer_ += bytes;
}

void FrameReceiver::append(std::span<const std::uint8_t> bytes)
{
    buffer_.append(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

void FrameReceiver::drop(qsizetype n)
{
    buffer_.remove(0, n);
    rejectedRest_ = rejectedRest_ > n ? rejectedRest_ - n : 0;
}

FrameReceiver::Result FrameReceiver::next(QByteArray& frame, bool endOfInput)
{
    for (;;) {
        qsizetype start = 0;
        while (start < buffer_.size()) {
            const auto b = static_cast<std::uint8_t>(buffer_[start]);
            if (b == kAck || b == kShortStart || b == kLongStart)
                break;
            ++start;
        }
        if (start > 0) {
            skipped_ += buffer_.left(start);
            drop(start);
        }
        if (buffer_.isEmpty())
            return Result::NeedMore;

        const ScanResult r = ScanFrame(ByteSpan(buffer_));
        if (r.status == ScanStatus::Complete) {
            frame = buffer_.left(static_cast<qsizetype>(r.length));
            drop(static_cast<qsizetype>(r.length));
            return Result::Frame;
        }
        if (r.status == ScanStatus::Incomplete && !endOfInput)
            return Result::NeedMore;
        if (rejectedRest_ == 0) {
            errorBits_ |= r.status == ScanStatus::Incomplete ? int(ErrLength) : r.errorBits;
            rejectedRest_ = static_cast<qsizetype>(r.length);
        }
        const qsizetype n = r.onlyChecksum ? static_cast<qsizetype>(r.length) : 1;
        skipped_ += buffer_.left(n);
        drop(n);
    }
}

int FrameReceiver::pendingErrorBits() const
{
    if (buffer_.isEmpty() || rejectedRest_ > 0)
        return 0;
    const ScanResult r = ScanFrame(ByteSpan(buffer_));
    if (r.status == ScanStatus::Incomplete)
        return ErrLength;
    return r.status == ScanStatus::Invalid ? r.errorBits : 0;
}

void FrameReceiver::clear()
{
    buffer_.clear();
    skipped_.clear();
    errorBits_ = 0;
    rejectedRest_ = 0;
}

QByteArray BuildShortFrame(std::uint8_t c, std::uint8_t a)
{
    const std::uint8_t f[5] = {kShortStart, c, a, static_cast<std::uint8_t>(c + a), kStop};
    return QByteArray(reinterpret_cast<const char*>(f), 5);
}

QByteArray BuildLongFrame(std::uint8_t c, std::uint8_t a, std::uint8_t ci, std::span<const std::uint8_t> data)
{
    if (data.size() > 252)
        return {};
    const auto l = static_cast<std::uint8_t>(3 + data.size());
    QByteArray f;
    f.reserve(l + 6);
    f += char(kLongStart);
    f += char(l);
    f += char(l);
    f += char(kLongStart);
    f += char(c);
    f += char(a);
    f += char(ci);
    f.append(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    f += char(Checksum(ByteSpan(f).subspan(4)));
    f += char(kStop);
    return f;
}

QByteArray BuildSndNke(std::uint8_t address)
{
    return BuildShortFrame(0x40, address);
}

QByteArray BuildReqUd2(std::uint8_t address, bool fcb)
{
    return BuildShortFrame(fcb ? 0x7B : 0x5B, address);
}

QByteArray BuildReqUd1(std::uint8_t address, bool fcb)
{
    return BuildShortFrame(fcb ? 0x7A : 0x5A, address);
}

namespace {
constexpr std::uint8_t sndUd(bool fcb)
{
    return fcb ? 0x73 : 0x53;
}

// Eight digits or wildcards, most significant first, to four BCD bytes LSB first.
bool packDigits(const QString& digits, std::uint8_t out[4])
{
    if (digits.size() != 8)
        return false;
    for (int i = 0; i < 8; ++i) {
        const QChar ch = digits.at(7 - i);
        int nibble;
        if (ch.isDigit() && ch.unicode() < 128)
            nibble = ch.unicode() - '0';
        else if (ch == QLatin1Char('f') || ch == QLatin1Char('F'))
            nibble = 0xF;
        else
            return false;
        if (i % 2 == 0)
            out[i / 2] = static_cast<std::uint8_t>(nibble);
        else
            out[i / 2] |= static_cast<std::uint8_t>(nibble << 4);
    }
    return true;
}
} // namespace

QByteArray BuildSelection(const QString& id, std::uint16_t manufacturer, std::uint8_t version, std::uint8_t medium,
                          const QString& fabricationNumber, bool fcb)
{
    std::uint8_t data[14];
    if (!packDigits(id, data))
        return {};
    data[4] = static_cast<std::uint8_t>(manufacturer & 0xFF);
    data[5] = static_cast<std::uint8_t>(manufacturer >> 8);
    data[6] = version;
    data[7] = medium;
    std::size_t size = 8;
    if (!fabricationNumber.isEmpty()) {
        data[8] = 0x0C;
        data[9] = 0x78;
        if (!packDigits(fabricationNumber, data + 10))
            return {};
        size = 14;
    }
    return BuildLongFrame(sndUd(fcb), kAddressSelected, 0x52, std::span(data, size));
}

QByteArray BuildRecordSelection(std::uint8_t address, std::span<const std::uint8_t> records, bool fcb)
{
    return BuildLongFrame(sndUd(fcb), address, 0x51, records);
}

QByteArray BuildApplicationReset(std::uint8_t address, int subCode, bool fcb)
{
    if (subCode < 0)
        return BuildLongFrame(sndUd(fcb), address, 0x50);
    const auto code = static_cast<std::uint8_t>(subCode);
    return BuildLongFrame(sndUd(fcb), address, 0x50, std::span(&code, 1));
}

std::uint8_t BaudRateCi(int baud)
{
    switch (baud) {
    case 300: return 0xB8;
    case 600: return 0xB9;
    case 1200: return 0xBA;
    case 2400: return 0xBB;
    case 4800: return 0xBC;
    case 9600: return 0xBD;
    case 19200: return 0xBE;
    case 38400: return 0xBF;
    default: return 0;
    }
}

QByteArray BuildBaudSwitch(std::uint8_t address, int baud, bool fcb)
{
    const std::uint8_t ci = BaudRateCi(baud);
    return ci ? BuildLongFrame(sndUd(fcb), address, ci) : QByteArray();
}

} // namespace kelvaro::mbus
