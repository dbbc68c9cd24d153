#include "mbus/telegram.h"

#include "mbus/datafield.h"
#include "mbus/frame.h"
#include "mbus/recordparser.h"

#include <cstring>

namespace kelvaro::mbus {

const char* DecodeErrorText(DecodeError error)
{
    switch (error) {
    case DecodeError::None: return "kein Fehler";
    case DecodeError::Empty: return "kein Telegramm";
    case DecodeError::FrameIncomplete: return "Telegramm unvollständig";
    case DecodeError::FrameStart: return "Startzeichen falsch";
    case DecodeError::FrameLength: return "Längenfeld falsch";
    case DecodeError::FrameChecksum: return "Prüfsumme falsch";
    case DecodeError::FrameStop: return "Stoppzeichen falsch";
    case DecodeError::NotDataFrame: return "kein Datentelegramm";
    case DecodeError::NotResponse: return "kein Antworttelegramm eines Zählers";
    case DecodeError::UnsupportedCi: return "CI nicht unterstützt";
    case DecodeError::HeaderTooShort: return "Kopf zu kurz";
    case DecodeError::FixedLength: return "feste Datenstruktur hat nicht 16 Bytes";
    case DecodeError::PrematureEnd: return "vorzeitiges Datensatzende";
    case DecodeError::TooManyDife: return "mehr als 10 DIFE";
    case DecodeError::TooManyVife: return "mehr als 10 VIFE";
    case DecodeError::ReservedDif: return "reservierte DIF";
    case DecodeError::ReservedLvar: return "reservierte variable Länge";
    case DecodeError::TooManyRecords: return "mehr als 255 Datensätze";
    }
    return "unbekannter Fehler";
}

bool IsRecordError(DecodeError error)
{
    return error >= DecodeError::PrematureEnd;
}

void Telegram::clear()
{
    size = 0;
    payloadOffset = 0;
    c = a = ci = 0;
    hasId = hasShortHeader = fixedStructure = msbFirst = false;
    idRaw = 0;
    manufacturer = 0;
    version = medium = accessNumber = status = 0;
    signature = 0;
    applicationError = false;
    applicationErrorCode = 0;
    records.clear();
    moreRecordsFollow = false;
    error = DecodeError::None;
    errorOffset = 0;
}

bool IdentificationDigits(std::uint32_t idRaw, char out[8])
{
    bool ok = true;
    for (int i = 0; i < 8; ++i) {
        const unsigned nibble = (idRaw >> (28 - 4 * i)) & 0xF;
        ok = ok && nibble < 10;
        out[i] = static_cast<char>(nibble < 10 ? '0' + nibble : 'A' + nibble - 10);
    }
    return ok;
}

bool ManufacturerLetters(std::uint16_t code, char out[3])
{
    const unsigned groups[3] = {(code >> 10) & 31u, (code >> 5) & 31u, code & 31u};
    bool ok = (code & 0x8000) == 0;
    for (unsigned g : groups)
        ok = ok && g >= 1 && g <= 26;
    for (int i = 0; i < 3; ++i)
        out[i] = ok ? static_cast<char>('@' + groups[i]) : '?';
    return ok;
}

namespace {

using namespace detail;

bool fail(Telegram& t, DecodeError e)
{
    t.error = e;
    t.records.clear();
    return false;
}

DecodeError frameError(int bits, bool incomplete)
{
    if (incomplete)
        return DecodeError::FrameIncomplete;
    if (bits & ErrChecksum)
        return DecodeError::FrameChecksum;
    if (bits & ErrStopCharacter)
        return DecodeError::FrameStop;
    if (bits & ErrLength)
        return DecodeError::FrameLength;
    return DecodeError::FrameStart;
}

bool decodeFixed(Telegram& t, std::size_t begin, std::size_t end)
{
    if (end - begin != 16)
        return fail(t, DecodeError::FixedLength);
    const std::uint8_t* p = t.bytes.data() + begin;
    const NumberBytes id = numberBytes(p, 4, t.msbFirst);
    t.idRaw = static_cast<std::uint32_t>(unsignedValue(id));
    t.hasId = true;
    t.hasShortHeader = true;
    t.fixedStructure = true;
    t.accessNumber = p[4];
    t.status = p[5];
    t.medium = static_cast<std::uint8_t>((p[6] >> 6) | ((p[7] >> 6) << 2));
    const bool binary = (t.status & 0x80) != 0;
    bool firstValid = false;
    const VifInfo* firstInfo = &FixedCounterInfo(p[6], firstValid);
    for (int k = 0; k < 2; ++k) {
        DataRecord r;
        const std::uint8_t unitCode = p[6 + k] & 0x3F;
        bool valid = false;
        const VifInfo* info = &FixedCounterInfo(unitCode, valid);
        r.offset = r.vibOffset = static_cast<std::uint16_t>(begin + 6 + k);
        r.vif = r.trueVif = unitCode;
        r.vibLength = 1;
        r.dataOffset = static_cast<std::uint16_t>(begin + 8 + 4 * k);
        r.dataLength = 4;
        r.dif = binary ? 0x04 : 0x0C;
        // Counter 2 with code 3E: same unit as counter 1, historic value.
        const bool historic = (t.status & 0x40) != 0 || unitCode == 0x3E;
        if (unitCode == 0x3E) {
            info = firstInfo;
            valid = firstValid;
        }
        r.storage = historic ? 1 : 0;
        r.info = info;
        r.decimals = info->decimals;
        const NumberBytes nb = numberBytes(t.bytes.data() + r.dataOffset, 4, t.msbFirst);
        std::int64_t v = 0;
        if (binary) {
            v = static_cast<std::int64_t>(unsignedValue(nb));
            r.type = ValueType::Number;
        } else {
            r.type = bcdValue(nb, v);
        }
        if (r.type == ValueType::Number) {
            r.raw = v;
            r.value = ScaledValue(static_cast<double>(v), 0, ScaleOf(*info));
        }
        if (!valid)
            r.type = ValueType::Hex;
        t.records.push_back(r);
    }
    return true;
}

} // namespace

bool DecodeTelegram(std::span<const std::uint8_t> frame, Telegram& t)
{
    t.clear();
    if (frame.empty())
        return fail(t, DecodeError::Empty);
    const std::size_t n = frame.size() < kMaxFrameSize ? frame.size() : kMaxFrameSize;
    std::memcpy(t.bytes.data(), frame.data(), n);
    t.size = static_cast<std::uint16_t>(n);

    const ScanResult scan = ScanFrame(frame);
    if (scan.status != ScanStatus::Complete)
        return fail(t, frameError(scan.errorBits, scan.status == ScanStatus::Incomplete));
    if (scan.length != frame.size())
        return fail(t, DecodeError::FrameLength);
    const FrameView& f = scan.frame;
    if (f.type == FrameType::Ack || f.type == FrameType::Short)
        return fail(t, DecodeError::NotDataFrame);
    t.c = f.c;
    t.a = f.a;
    t.ci = f.ci;
    if ((f.c & 0x4F) != 0x08)
        return fail(t, DecodeError::NotResponse);

    const std::size_t begin = 7;
    const std::size_t end = scan.length - 2;
    t.payloadOffset = static_cast<std::uint16_t>(begin);
    const std::uint8_t* p = t.bytes.data() + begin;
    const std::size_t available = end - begin;

    switch (f.ci) {
    case 0x70:
        t.applicationError = true;
        t.applicationErrorCode = available > 0 ? p[0] : 0;
        return true;
    case 0x72:
    case 0x76: {
        t.msbFirst = f.ci == 0x76;
        if (available < 12)
            return fail(t, DecodeError::HeaderTooShort);
        const NumberBytes id = numberBytes(p, 4, t.msbFirst);
        const NumberBytes man = numberBytes(p + 4, 2, t.msbFirst);
        const NumberBytes sig = numberBytes(p + 10, 2, t.msbFirst);
        t.idRaw = static_cast<std::uint32_t>(unsignedValue(id));
        t.manufacturer = static_cast<std::uint16_t>(unsignedValue(man));
        t.version = p[6];
        t.medium = p[7];
        t.accessNumber = p[8];
        t.status = p[9];
        t.signature = static_cast<std::uint16_t>(unsignedValue(sig));
        t.hasId = true;
        t.hasShortHeader = true;
        ParseRecords(t, begin + 12, end);
        return true;
    }
    case 0x7A:
        if (available < 4)
            return fail(t, DecodeError::HeaderTooShort);
        t.accessNumber = p[0];
        t.status = p[1];
        t.signature = static_cast<std::uint16_t>(p[2] | (p[3] << 8));
        t.hasShortHeader = true;
        ParseRecords(t, begin + 4, end);
        return true;
    case 0x78:
        ParseRecords(t, begin, end);
        return true;
    case 0x73:
    case 0x77:
        t.msbFirst = f.ci == 0x77;
        return decodeFixed(t, begin, end);
    default:
        return fail(t, DecodeError::UnsupportedCi);
    }
}

} // namespace kelvaro::mbus
