#include "mbus/wire/telnetcodec.h"

#include <QtEndian>

namespace kelvaro::mbus {
namespace {

bool wanted(std::uint8_t option, quint64 mask) { return option < 64 && ((mask >> option) & 1); }

QByteArray bytes(std::initializer_list<std::uint8_t> list)
{
    QByteArray out;
    for (const std::uint8_t b : list)
        out.append(static_cast<char>(b));
    return out;
}

} // namespace

QByteArray TelnetCodec::greeting()
{
    return bytes({kIac, kWill, kComPortOption, kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill,
                  kSuppressGoAhead, kIac, kDo, kSuppressGoAhead});
}

QByteArray TelnetCodec::escape(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size() + 8);
    for (const char c : data) {
        out.append(c);
        if (static_cast<std::uint8_t>(c) == kIac)
            out.append(c);
    }
    return out;
}

QByteArray TelnetCodec::comPortCommand(ComPortCommand command, const QByteArray& value)
{
    return bytes({kIac, kSb, kComPortOption, command}) + escape(value) + bytes({kIac, kSe});
}

QByteArray TelnetCodec::baudRateValue(int baud)
{
    QByteArray value(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(baud), value.data());
    return value;
}

QByteArray TelnetCodec::feed(const QByteArray& input)
{
    QByteArray data;
    for (const char ch : input) {
        const auto b = static_cast<std::uint8_t>(ch);
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Iac;
            else
                data.append(ch);
            break;
        case State::Iac:
            if (b == kIac) {
                data.append(ch);
                state_ = State::Data;
            } else if (b == kSb) {
                sub_.clear();
                state_ = State::Sub;
            } else if (b >= kWill && b <= kDont) {
                verb_ = b;
                state_ = State::Verb;
            } else {
                state_ = State::Data; // NOP, GA and the like carry nothing for us
            }
            break;
        case State::Verb:
            negotiate(verb_, b);
            state_ = State::Data;
            break;
        case State::Sub:
            if (b == kIac)
                state_ = State::SubIac;
            else if (sub_.size() < 64)
                sub_.append(ch);
            break;
        case State::SubIac:
            if (b == kSe) {
                endSubnegotiation();
                state_ = State::Data;
            } else {
                if (b == kIac && sub_.size() < 64)
                    sub_.append(ch);
                state_ = State::Sub;
            }
            break;
        }
    }
    return data;
}

void TelnetCodec::negotiate(std::uint8_t verb, std::uint8_t option)
{
    // Answer only a change of state, so that both sides never loop.
    const quint64 bit = option < 64 ? (1ull << option) : 0;
    const bool ours = verb == kDo || verb == kDont;
    quint64& enabled = ours ? ourEnabled_ : theirEnabled_;
    const bool on = verb == kDo || verb == kWill;
    const bool isOn = bit && (enabled & bit);
    if (on == isOn)
        return;
    const quint64 supported = ours ? ((1ull << kBinary) | (1ull << kSuppressGoAhead) | (1ull << kComPortOption))
                                   : ((1ull << kBinary) | (1ull << kSuppressGoAhead));
    if (on && wanted(option, supported)) {
        enabled |= bit;
        replies_ += bytes({kIac, ours ? kWill : kDo, option});
    } else if (on) {
        replies_ += bytes({kIac, ours ? kWont : kDont, option});
    } else {
        enabled &= ~bit;
        replies_ += bytes({kIac, ours ? kWont : kDont, option});
    }
}

void TelnetCodec::endSubnegotiation()
{
    if (sub_.size() < 2 || static_cast<std::uint8_t>(sub_[0]) != kComPortOption)
        return;
    const auto command = static_cast<std::uint8_t>(sub_[1]);
    if (command <= kServerOffset)
        return;
    answers_ << ComPortAnswer{static_cast<std::uint8_t>(command - kServerOffset), sub_.mid(2)};
}

QByteArray TelnetCodec::takeReplies() { return std::exchange(replies_, {}); }

QList<TelnetCodec::ComPortAnswer> TelnetCodec::takeComPortAnswers() { return std::exchange(answers_, {}); }

} // namespace kelvaro::mbus
