#include "mbus/recordparser.h"

#include "mbus/datafield.h"

#include <cmath>
#include <cstring>

namespace kelvaro::mbus {

using namespace detail;

namespace {

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

// E101 ufnn (duration of a limit exceed) and E110 0fnn (duration of first/last).
bool isDurationVife(std::uint8_t code)
{
    return (code >= 0x50 && code <= 0x5F) || (code >= 0x60 && code <= 0x67);
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

        Scale scale = ScaleOf(*r.info);
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
                scale.exponent += e;
                decimals -= e;
            } else if (c >= 0x78 && c <= 0x7B) {
                static const int thousandths[4] = {1, 10, 100, 1000};
                scale.offsetThousandths += thousandths[c & 3];
            } else if (c == 0x7D) {
                scale.exponent += 3;
                decimals -= 3;
            } else if (isDurationVife(c)) {
                // The record counts the duration in its own unit, not the quantity.
                r.durationUnit = static_cast<std::uint8_t>((c & 3) + 1);
                scale = Scale{};
                decimals = 0;
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

        r.timePoint = r.info->kind == VifKind::Date || r.info->kind == VifKind::DateTime || dateVife;
        decodeValue(r, df, lvar, scale);
        if (r.errorCode == 0x15 && r.type != ValueType::Invalid)
            r.type = ValueType::Empty;
        else if (r.errorCode != 0)
            r.type = ValueType::Invalid;
        t_.records.push_back(r);
        return DecodeError::None;
    }

    void setNumber(DataRecord& r, std::int64_t raw, const Scale& scale)
    {
        r.raw = raw;
        const double v = r.unsignedRaw ? static_cast<double>(static_cast<std::uint64_t>(raw)) : static_cast<double>(raw);
        r.value = ScaledValue(v, 0, scale);
        r.type = ValueType::Number;
    }

    void decodeValue(DataRecord& r, std::uint8_t df, std::uint8_t lvar, const Scale& scale)
    {
        const std::uint8_t* data = p_ + r.dataOffset;
        const VifKind kind = r.info->kind;
        if (r.dataLength == 0 || df == 0x08) {
            r.type = ValueType::None;
            return;
        }
        switch (df) {
        case 0x1: case 0x2: case 0x3: case 0x4: case 0x6: case 0x7: {
            const NumberBytes nb = numberBytes(data, r.dataLength, t_.msbFirst);
            if (r.timePoint && (nb.n == 2 || nb.n == 3 || nb.n == 4 || nb.n == 6)) {
                r.type = dateValue(nb, r.date);
                return;
            }
            r.unsignedRaw = r.info->unsignedInt || kind == VifKind::Digits || kind == VifKind::BitField;
            setNumber(r, r.unsignedRaw ? static_cast<std::int64_t>(unsignedValue(nb)) : signedValue(nb), scale);
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
            double mantissa = 0;
            int exponent = 0;
            FloatDigits(f, mantissa, exponent);
            r.value = ScaledValue(mantissa, exponent, scale);
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
                setNumber(r, v, scale);
            return;
        }
        case 0xD:
            decodeVariable(r, lvar, scale);
            return;
        default:
            r.type = ValueType::None;
        }
    }

    void decodeVariable(DataRecord& r, std::uint8_t lvar, const Scale& scale)
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
                setNumber(r, lvar >= 0xD0 ? -v : v, scale);
            return;
        }
        if (n <= 8 && n > 0) {
            NumberBytes nb{};
            nb.n = n;
            std::memcpy(nb.b, content, n);
            r.unsignedRaw = true;
            setNumber(r, static_cast<std::int64_t>(unsignedValue(nb)), scale);
            return;
        }
        r.type = n == 0 ? ValueType::Empty : ValueType::Hex;
    }
};

} // namespace

void ParseRecords(Telegram& t, std::size_t begin, std::size_t end)
{
    RecordParser(t, begin, end).run();
}

} // namespace kelvaro::mbus
