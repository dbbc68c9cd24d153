#pragma once
#include <QByteArray>
#include <QList>
#include <cstdint>

namespace kelvaro::mbus {

// The telnet layer of an RFC 2217 line: data bytes with IAC doubled, option
// negotiation (binary both ways, suppress go-ahead, COM port option) and the
// COM port option's subnegotiations. Pure bytes in, bytes out; no I/O.
class TelnetCodec {
public:
    static constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
    static constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPortOption = 44;
    // Client-to-server COM port commands; the server answers with command + 100.
    enum ComPortCommand : std::uint8_t { SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4,
                                         SetControl = 5, PurgeData = 12 };
    static constexpr std::uint8_t kServerOffset = 100;

    struct ComPortAnswer {
        std::uint8_t command = 0; // without the server offset
        QByteArray value;
    };

    // What the client offers when it connects.
    static QByteArray greeting();
    // Data for the line, IAC doubled.
    static QByteArray escape(const QByteArray& data);
    // IAC SB COM-PORT-OPTION command value IAC SE.
    static QByteArray comPortCommand(ComPortCommand command, const QByteArray& value);
    static QByteArray baudRateValue(int baud);

    // Bytes from the server; returns the line data among them. Negotiation
    // replies and COM port answers are kept for take...().
    QByteArray feed(const QByteArray& bytes);
    QByteArray takeReplies();
    QList<ComPortAnswer> takeComPortAnswers();

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    void negotiate(std::uint8_t verb, std::uint8_t option);
    void endSubnegotiation();

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    QByteArray sub_;
    QByteArray replies_;
    QList<ComPortAnswer> answers_;
    // Options whose state we have told the server (ours: WILL, theirs: DO).
    quint64 ourEnabled_ = (1ull << kBinary) | (1ull << kSuppressGoAhead) | (1ull << kComPortOption);
    quint64 theirEnabled_ = (1ull << kBinary) | (1ull << kSuppressGoAhead);
};

} // namespace kelvaro::mbus
