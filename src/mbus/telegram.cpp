#include "mbus/telegram.h"

#include "mbus/frame.h"

#include <cmath>
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

// Bytes of a number field in LSB-first order (mode 2 telegrams send MSB first).
struct NumberBytes {
    std::uint8_t b[8];
    std::size_t n;
};

NumberBytes numberBytes(const std::uint8_t* p, std::size_t n, bool msbFirst)
{
    NumberBytes out{};
    out.n = n;
    for (std::size_t i = 0; i < n; ++i)
        out.b[i] = msbFirst ? p[n - 1 - i] : p[i];
    return out;
}

std::uint64_t unsignedValue(const NumberBytes& nb)
{
    std::uint64_t v = 0;
    for (std::size_t i = nb.n; i-- > 0;)
        v = (v << 8) | nb.b[i];
    return v;
}

std::int64_t signedValue(const NumberBytes& nb)
{
    const std::uint64_t v = unsignedValue(nb);
    if (nb.n == 0 || nb.n >= 8)
        return static_cast<std::int64_t>(v);
    const std::uint64_t sign = std::uint64_t(1) << (8 * nb.n - 1);
    return static_cast<std::int64_t>((v ^ sign) - sign);
}

// BCD, LSB first. A most significant F nibble is a minus sign; all F is
// "no value"; any other A-F nibble makes the value invalid.
ValueType bcdValue(const NumberBytes& nb, std::int64_t& out)
{
    const std::size_t digits = nb.n * 2;
    bool allF = true;
    for (std::size_t i = 0; i < nb.n; ++i)
        allF = allF && nb.b[i] == 0xFF;
    if (allF && nb.n > 0)
        return ValueType::Empty;
    std::int64_t v = 0;
    bool negative = false;
    for (std::size_t d = digits; d-- > 0;) {
        const unsigned nibble = (nb.b[d / 2] >> (4 * (d % 2))) & 0xF;
        if (nibble > 9) {
            if (d == digits - 1 && nibble == 0xF) {
                negative = true;
                continue;
            }
            return ValueType::Invalid;
        }
        v = v * 10 + nibble;
    }
    out = negative ? -v : v;
    return ValueType::Number;
}

int fullYear(int yy, int hundredYears)
{
    if (hundredYears > 0)
        return 1900 + 100 * hundredYears + yy;
    return yy <= 80 ? 2000 + yy : 1900 + yy;
}

bool allZero(const NumberBytes& nb)
{
    for (std::size_t i = 0; i < nb.n; ++i)
        if (nb.b[i] != 0)
            return false;
    return true;
}

// Types G (2 bytes), J (3), F (4) and I (6), chosen by length.
ValueType dateValue(const NumberBytes& nb, DateParts& d)
{
    if (allZero(nb))
        return ValueType::Empty;
    const std::uint8_t* b = nb.b;
    auto dateFrom = [&](std::uint8_t dayByte, std::uint8_t monthByte) {
        d.day = dayByte & 0x1F;
        d.month = monthByte & 0x0F;
        return ((dayByte & 0xE0) >> 5) | ((monthByte & 0xF0) >> 1);
    };
    auto dateOk = [&](int yy) { return yy <= 99 && d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31; };
    switch (nb.n) {
    case 2: {
        const int yy = dateFrom(b[0], b[1]);
        d.year = static_cast<std::uint16_t>(fullYear(yy, 0));
        return dateOk(yy) ? ValueType::Date : ValueType::Invalid;
    }
    case 3:
        d.second = b[0] & 0x3F;
        d.minute = b[1] & 0x3F;
        d.hour = b[2] & 0x1F;
        d.hasSeconds = true;
        return d.second <= 59 && d.minute <= 59 && d.hour <= 23 ? ValueType::Time : ValueType::Invalid;
    case 4: {
        d.minute = b[0] & 0x3F;
        d.hour = b[1] & 0x1F;
        d.summerTime = (b[1] & 0x80) != 0;
        const int yy = dateFrom(b[2], b[3]);
        d.year = static_cast<std::uint16_t>(fullYear(yy, (b[1] >> 5) & 3));
        const bool ok = !(b[0] & 0x80) && dateOk(yy) && d.hour <= 23 && d.minute <= 59;
        return ok ? ValueType::DateTime : ValueType::Invalid;
    }
    case 6: {
        d.second = b[0] & 0x3F;
        d.minute = b[1] & 0x3F;
        d.hour = b[2] & 0x1F;
        d.hasSeconds = true;
        const int yy = dateFrom(b[3], b[4]);
        d.year = static_cast<std::uint16_t>(fullYear(yy, 0));
        const bool ok = !(b[1] & 0x80) && dateOk(yy) && d.hour <= 23 && d.minute <= 59 && d.second <= 59;
        return ok ? ValueType::DateTime : ValueType::Invalid;
    }
    default:
        return ValueType::Invalid;
    }
}

constexpr std::int8_t kDataLength[16] = {0, 1, 2, 3, 4, 4, 6, 8, 0, 1, 2, 3, 4, -1, 6, -1};

bool isDateVife(std::uint8_t code)
{
    switch (code) {
    case 0x39:
    case 0x42: case 0x43: case 0x46: case 0x47: case 0x4A: case 0x4B: case 0x4E: case 0x4F:
    case 0x6A: case 0x6B: case 0x6E: case 0x6F:
        return true;
    default:
        return false;
    }
}

bool isRecordErrorCode(std::uint8_t code)
{
    return (code >= 0x01 && code <= 0x0F) || (code >= 0x15 && code <= 0x1C);
}

double pow10i(int e)
{
    static const double table[] = {1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4,
                                   1e-3,  1e-2,  1e-1,  1,    1e1,  1e2,  1e3,  1e4,  1e5};
    return e >= -12 && e <= 5 ? table[e + 12] : std::pow(10.0, e);
}

class RecordParser {
public:
    RecordParser(Telegram& t, std::size_t begin, std::size_t end)
        : t_(t), p_(t.bytes.data()), pos_(begin), end_(end)
    {
    }

    void run()
    {
        while (pos_ < end_) {
            const std::size_t start = pos_;
            if (p_[pos_] == 0x2F) { // idle filler
                ++pos_;
                continue;
            }
            if (t_.records.size() >= kMaxRecords) {
                fail(DecodeError::TooManyRecords, start);
                return;
            }
            const DecodeError e = parseOne();
            if (e != DecodeError::None) {
                fail(e, start);
                return;
            }
            if (stop_)
                return;
        }
    }

private:
    Telegram& t_;
    const std::uint8_t* p_;
    std::size_t pos_;
    std::size_t end_;
    bool stop_ = false;

    void fail(DecodeError e, std::size_t start)
    {
        t_.error = e;
        t_.errorOffset = static_cast<std::uint16_t>(start);
        DataRecord r;
        // Behind a signature, records that do not decode are most likely encrypted.
        r.info = t_.signature != 0 ? &EncryptedInfo() : &UndecodableInfo();
        r.offset = r.vibOffset = r.dataOffset = static_cast<std::uint16_t>(start);
        r.dataLength = static_cast<std::uint8_t>(end_ - start);
        r.type = ValueType::Hex;
        t_.records.push_back(r);
    }

    DecodeError parseOne()
    {
        DataRecord r;
        r.offset = static_cast<std::uint16_t>(pos_);
        r.dif = p_[pos_++];

        if ((r.dif & 0x0F) == 0x0F) {
            if (r.dif == 0x0F || r.dif == 0x1F) {
                r.info = &ManufacturerDataInfo();
                r.vibOffset = r.dataOffset = static_cast<std::uint16_t>(pos_);
                r.dataLength = static_cast<std::uint8_t>(end_ - pos_);
                r.type = ValueType::Hex;
                t_.moreRecordsFollow = r.dif == 0x1F;
                t_.records.push_back(r);
                pos_ = end_;
                stop_ = true;
                return DecodeError::None;
            }
            if (r.dif == 0x7F) {
                r.info = &GlobalReadoutInfo();
                r.vibOffset = r.dataOffset = static_cast<std::uint16_t>(pos_);
                t_.records.push_back(r);
                return DecodeError::None;
            }
            return DecodeError::ReservedDif;
        }

        // DIFEs: storage, tariff, subunit.
        r.storage = (r.dif >> 6) & 1;
        bool extension = (r.dif & 0x80) != 0;
        while (extension) {
            if (pos_ >= end_)
                return DecodeError::PrematureEnd;
            if (r.difeCount == 10)
                return DecodeError::TooManyDife;
            const std::uint8_t dife = p_[pos_++];
            const int i = ++r.difeCount;
            r.storage |= std::uint64_t(dife & 0x0F) << (4 * i - 3);
            r.tariff |= std::uint32_t((dife >> 4) & 3) << (2 * i - 2);
            r.subunit |= static_cast<std::uint16_t>(((dife >> 6) & 1) << (i - 1));
            extension = (dife & 0x80) != 0;
        }

        // VIF (with plain text or extension table) and VIFEs.
        if (pos_ >= end_)
            return DecodeError::PrematureEnd;
        r.vibOffset = static_cast<std::uint16_t>(pos_);
        r.vif = p_[pos_++];
        const std::uint8_t code = r.vif & 0x7F;
        bool manufacturerRest = false;
        extension = (r.vif & 0x80) != 0;
        if (r.vif == 0xFB || r.vif == 0xFD) {
            if (pos_ >= end_)
                return DecodeError::PrematureEnd;
            r.trueVif = p_[pos_++];
            r.info = &LookupVif(r.vif == 0xFB ? VifTable::FB : VifTable::FD, r.trueVif);
            extension = (r.trueVif & 0x80) != 0;
        } else if (code == 0x7C) {
            if (pos_ >= end_)
                return DecodeError::PrematureEnd;
            const std::size_t len = p_[pos_++];
            if (len > end_ - pos_)
                return DecodeError::PrematureEnd;
            r.textOffset = static_cast<std::uint8_t>(pos_ - r.vibOffset);
            r.textLength = static_cast<std::uint8_t>(len);
            pos_ += len;
            r.trueVif = r.vif;
            r.info = &PlainTextVif();
        } else {
            r.trueVif = r.vif;
            r.info = &LookupVif(VifTable::Primary, r.vif);
            manufacturerRest = code == 0x7F;
        }

        double factor = r.info->factor;
        double offsetUnits = 0;
        int decimals = r.info->decimals;
        bool dateVife = false;
        bool skipNext = false;
        r.vifeStart = static_cast<std::uint8_t>(pos_ - r.vibOffset);
        while (extension) {
            if (pos_ >= end_)
                return DecodeError::PrematureEnd;
            if (r.vifeCount == 10)
                return DecodeError::TooManyVife;
            const std::uint8_t vife = p_[pos_++];
            ++r.vifeCount;
            extension = (vife & 0x80) != 0;
            const std::uint8_t c = vife & 0x7F;
            if (manufacturerRest)
                continue;
            if (skipNext) { // code of the second combinable table
                skipNext = false;
                continue;
            }
            if (c == 0x7F) {
                manufacturerRest = true;
            } else if (c == 0x7C) {
                skipNext = true;
            } else if (isRecordErrorCode(c)) {
                r.errorCode = c;
            } else if (c >= 0x20 && c <= 0x26) {
                r.perTime = static_cast<std::uint8_t>(c - 0x1F);
            } else if (c >= 0x70 && c <= 0x77) {
                const int e = (c & 7) - 6;
                factor *= pow10i(e);
                decimals -= e;
            } else if (c >= 0x78 && c <= 0x7B) {
                offsetUnits += pow10i((c & 3) - 3);
            } else if (c == 0x7D) {
                factor *= 1000;
                decimals -= 3;
            } else if (isDateVife(c)) {
                dateVife = true;
            }
        }
        r.vibLength = static_cast<std::uint8_t>(pos_ - r.vibOffset);
        r.decimals = static_cast<std::int8_t>(decimals < 0 ? 0 : (decimals > 12 ? 12 : decimals));

        // Data.
        r.dataOffset = static_cast<std::uint16_t>(pos_);
        const std::uint8_t df = r.dataField();
        std::size_t length = 0;
        std::uint8_t lvar = 0;
        if (df == 0x0D) {
            if (pos_ >= end_)
                return DecodeError::PrematureEnd;
            lvar = p_[pos_];
            std::size_t content;
            if (lvar <= 0xBF)
                content = lvar;
            else if (lvar <= 0xCF)
                content = lvar - 0xC0u;
            else if (lvar <= 0xDF)
                content = lvar - 0xD0u;
            else if (lvar <= 0xEF)
                content = lvar - 0xE0u;
            else if (lvar <= 0xF4)
                content = 4u * (lvar - 0xECu);
            else if (lvar == 0xF5)
                content = 48;
            else if (lvar == 0xF6)
                content = 64;
            else
                return DecodeError::ReservedLvar;
            length = 1 + content;
        } else {
            length = static_cast<std::size_t>(kDataLength[df]);
        }
        if (length > end_ - pos_)
            return DecodeError::PrematureEnd;
        r.dataLength = static_cast<std::uint8_t>(length);
        pos_ += length;

        decodeValue(r, df, lvar, factor, offsetUnits, dateVife);
        if (r.errorCode == 0x15 && r.type != ValueType::Invalid)
            r.type = ValueType::Empty;
        else if (r.errorCode != 0)
            r.type = ValueType::Invalid;
        t_.records.push_back(r);
        return DecodeError::None;
    }

    void setNumber(DataRecord& r, std::int64_t raw, double factor, double offsetUnits)
    {
        r.raw = raw;
        const double v = r.unsignedRaw ? static_cast<double>(static_cast<std::uint64_t>(raw)) : static_cast<double>(raw);
        r.value = (v + offsetUnits) * factor + r.info->addend;
        r.type = ValueType::Number;
    }

    void decodeValue(DataRecord& r, std::uint8_t df, std::uint8_t lvar, double factor, double offsetUnits,
                     bool dateVife)
    {
        const std::uint8_t* data = p_ + r.dataOffset;
        const VifKind kind = r.info->kind;
        if (r.dataLength == 0 || df == 0x08) {
            r.type = ValueType::None;
            return;
        }
        const bool wantsDate = kind == VifKind::Date || kind == VifKind::DateTime || dateVife;
        switch (df) {
        case 0x1: case 0x2: case 0x3: case 0x4: case 0x6: case 0x7: {
            const NumberBytes nb = numberBytes(data, r.dataLength, t_.msbFirst);
            if (wantsDate && (nb.n == 2 || nb.n == 3 || nb.n == 4 || nb.n == 6)) {
                r.type = dateValue(nb, r.date);
                return;
            }
            r.unsignedRaw = r.info->unsignedInt || kind == VifKind::Digits || kind == VifKind::BitField;
            setNumber(r, r.unsignedRaw ? static_cast<std::int64_t>(unsignedValue(nb)) : signedValue(nb), factor,
                      offsetUnits);
            return;
        }
        case 0x5: {
            const NumberBytes nb = numberBytes(data, 4, t_.msbFirst);
            float f;
            std::uint32_t bits = static_cast<std::uint32_t>(unsignedValue(nb));
            std::memcpy(&f, &bits, 4);
            if (!std::isfinite(f)) {
                r.type = ValueType::Invalid;
                return;
            }
            r.value = (static_cast<double>(f) + offsetUnits) * factor + r.info->addend;
            r.raw = 0; // a float has no integer form; its value is in `value`
            r.type = ValueType::Number;
            r.decimals = -1; // shortest form of a float
            return;
        }
        case 0x9: case 0xA: case 0xB: case 0xC: case 0xE: {
            const NumberBytes nb = numberBytes(data, r.dataLength, t_.msbFirst);
            std::int64_t v = 0;
            r.type = bcdValue(nb, v);
            if (r.type == ValueType::Number)
                setNumber(r, v, factor, offsetUnits);
            return;
        }
        case 0xD:
            decodeVariable(r, lvar, factor, offsetUnits);
            return;
        default:
            r.type = ValueType::None;
        }
    }

    void decodeVariable(DataRecord& r, std::uint8_t lvar, double factor, double offsetUnits)
    {
        const std::uint8_t* content = p_ + r.dataOffset + 1;
        const std::size_t n = r.dataLength - 1u;
        if (lvar <= 0xBF) {
            r.type = ValueType::Text;
            return;
        }
        if (lvar <= 0xDF) {
            if (n > 8) { // more digits than a 64-bit integer holds
                r.type = ValueType::Hex;
                return;
            }
            NumberBytes nb{};
            nb.n = n;
            std::memcpy(nb.b, content, n);
            std::int64_t v = 0;
            r.type = n == 0 ? ValueType::Empty : bcdValue(nb, v);
            if (r.type == ValueType::Number)
                setNumber(r, lvar >= 0xD0 ? -v : v, factor, offsetUnits);
            return;
        }
        if (n <= 8 && n > 0) {
            NumberBytes nb{};
            nb.n = n;
            std::memcpy(nb.b, content, n);
            r.unsignedRaw = true;
            setNumber(r, static_cast<std::int64_t>(unsignedValue(nb)), factor, offsetUnits);
            return;
        }
        r.type = n == 0 ? ValueType::Empty : ValueType::Hex;
    }
};

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
            r.value = static_cast<double>(v) * info->factor;
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
        RecordParser(t, begin + 12, end).run();
        return true;
    }
    case 0x7A:
        if (available < 4)
            return fail(t, DecodeError::HeaderTooShort);
        t.accessNumber = p[0];
        t.status = p[1];
        t.signature = static_cast<std::uint16_t>(p[2] | (p[3] << 8));
        t.hasShortHeader = true;
        RecordParser(t, begin + 4, end).run();
        return true;
    case 0x78:
        RecordParser(t, begin, end).run();
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
