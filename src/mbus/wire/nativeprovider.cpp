#include "mbus/wire/nativeprovider.h"

#include "foundation/lasterror.h"
#include "mbus/frame.h"
#include "mbus/wire/eventwait.h"

#include <QElapsedTimer>

namespace kelvaro::mbus {
namespace {

constexpr int kIdle = 0;
constexpr int kAcknowledged = 2;
constexpr int kResponse = 3;
constexpr int kFailed = 5;
constexpr int kBusy = 255;

bool isResponseC(std::uint8_t c) { return (c & 0xCF) == 0x08; }

} // namespace

NativeProvider::NativeProvider()
    : link_(port_)
{
    nextFcb_.fill(1);
}

void NativeProvider::applyTimeouts()
{
    BusTimeouts t;
    if (COMTimeoutParam == 2) {
        t.answerBits = COMTimeout;
        t.offsetMs = COMTimeoutOffset;
        t.byteChars = COMTimeoutByte;
        t.deadBits = COMDeadtime;
    }
    t.networkMs = COMTimeoutNetwork;
    link_.setTimeouts(t);
}

int NativeProvider::APPInitCom(int port, int baud)
{
    const QString device = ports_.deviceFor(port);
    if (port_.isOpen() && port_.deviceName() == device) {
        port_.setBaudRate(baud > 0 ? baud : 2400);
        return 0;
    }
    return openDevice(device, baud) ? 0 : -1;
}

bool NativeProvider::openDevice(const QString& device, int baud)
{
    nextFcb_.fill(1);
    return port_.open(device, baud > 0 ? baud : 2400);
}

int NativeProvider::APPIsComOpen() const { return port_.isOpen() ? 1 : 0; }

void NativeProvider::APPCloseCom() { port_.close(); }

void NativeProvider::finish(const Answer& answer)
{
    lastAnswer_ = answer.kind == Answer::Frame || answer.kind == Answer::Ack ? answer.frame : answer.skipped;
    receiveError_ = answer.errorBits;
}

void NativeProvider::APPSNDNKE(int address)
{
    break_ = false;
    applyTimeouts();
    const auto a = static_cast<std::uint8_t>(address);
    lastRequest_ = BuildSndNke(a);
    lastAddress_ = a;
    receiveTest_ = kBusy;
    if (!link_.send(lastRequest_)) {
        receiveError_ = ErrUart;
        receiveTest_ = kFailed;
        return;
    }
    // Several meters may answer at 253 and 254; the first E5 is enough here.
    const Answer answer = link_.receiveAck(false, false);
    finish(answer);
    nextFcb_[a] = 1;
    receiveTest_ = answer.kind == Answer::Ack ? kAcknowledged : kFailed;
}

bool NativeProvider::exchangeFrame(const QByteArray& request, std::uint8_t address)
{
    for (int attempt = 0; attempt <= std::max(0, requestRepeats) && !break_; ++attempt) {
        if (!link_.send(request)) {
            receiveError_ = ErrUart;
            return false;
        }
        const Answer answer = link_.receiveFrame();
        finish(answer);
        if (port_.isLineLost()) {
            receiveError_ = ErrUart; // no repeat on a line that is gone
            return false;
        }
        if (answer.kind != Answer::Frame)
            continue;
        const auto c = static_cast<std::uint8_t>(answer.frame.size() > 4 ? answer.frame[4] : 0);
        const auto a = static_cast<std::uint8_t>(answer.frame.size() > 5 ? answer.frame[5] : 0);
        if (!isResponseC(c) || (address < 251 && a != address)) {
            receiveError_ = ErrUart;
            continue;
        }
        if (interpretFrame(answer.frame) != 0) {
            receiveError_ = ErrUart;
            return false;
        }
        receiveError_ = 0;
        return true;
    }
    return false;
}

void NativeProvider::APPREQUD2(int address)
{
    break_ = false;
    applyTimeouts();
    const auto a = static_cast<std::uint8_t>(address);
    lastRequest_ = BuildReqUd2(a, nextFcb_[a] != 0);
    lastAddress_ = a;
    receiveTest_ = kBusy;
    clearTelegram();
    const bool ok = exchangeFrame(lastRequest_, a);
    if (ok)
        nextFcb_[a] ^= 1; // toggled after every valid answer, kept for a repeat
    receiveTest_ = ok ? kResponse : kFailed;
}

void NativeProvider::APPSelect(int /*mode*/, const QString& mask, const QString& manufacturer, const QString& version,
                               const QString& medium)
{
    break_ = false;
    applyTimeouts();
    bool ok = true;
    const auto field = [&ok](const QString& text, uint wildcard) {
        if (text.trimmed().isEmpty())
            return wildcard;
        bool valid = false;
        const uint v = text.trimmed().toUInt(&valid, 16);
        ok = ok && valid;
        return v;
    };
    const auto man = static_cast<std::uint16_t>(field(manufacturer, 0xFFFF));
    const auto ver = static_cast<std::uint8_t>(field(version, 0xFF));
    const auto med = static_cast<std::uint8_t>(field(medium, 0xFF));
    lastRequest_ = BuildSelection(mask, man, ver, med);
    lastAddress_ = kAddressSelected;
    if (!ok || lastRequest_.isEmpty()) {
        SetLastErrorText(QStringLiteral("Ungültige Sekundäradresse: ") + mask);
        receiveError_ = ErrUart;
        receiveTest_ = kFailed;
        return;
    }
    receiveTest_ = kBusy;
    if (!link_.send(lastRequest_)) {
        receiveError_ = ErrUart;
        receiveTest_ = kFailed;
        return;
    }
    // With wildcards several meters may answer at different moments of the
    // answer window, so it is observed to its end.
    const bool wildcard = mask.contains('f', Qt::CaseInsensitive);
    const Answer answer = link_.receiveAck(true, wildcard);
    finish(answer);
    nextFcb_[kAddressSelected] = 1;
    switch (answer.kind) {
    case Answer::Ack:
        receiveError_ = 0;
        receiveTest_ = kAcknowledged;
        break;
    case Answer::None:
        receiveError_ = ErrTimeout;
        receiveTest_ = kFailed;
        break;
    default:
        receiveError_ = ErrCollision;
        receiveTest_ = kFailed;
        break;
    }
}

void NativeProvider::APPRetry()
{
    if (receiveTest_ != kFailed || lastRequest_.isEmpty() || break_)
        return;
    receiveTest_ = kBusy;
    const bool ok = exchangeFrame(lastRequest_, lastAddress_);
    if (ok)
        nextFcb_[lastAddress_] ^= 1;
    receiveTest_ = ok ? kResponse : kFailed;
}

void NativeProvider::APPBreak()
{
    break_ = true;
    link_.requestBreak();
}

int NativeProvider::APPInterpretTelegramHex(const QString& hex)
{
    const int rc = MBusProvider::APPInterpretTelegramHex(hex);
    receiveTest_ = rc == 0 ? kResponse : kFailed;
    receiveError_ = rc == 0 ? 0 : ErrUart;
    return rc;
}

QString NativeProvider::modemCommand(const QString& command, const QStringList& finals, int timeoutMs)
{
    port_.discardInput();
    port_.write(command.toLatin1() + "\r");
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    while (!break_ && clock.elapsed() < timeoutMs) {
        if (!port_.waitForBytes(static_cast<int>(timeoutMs - clock.elapsed()))) {
            if (!port_.isOpen())
                break;
            continue;
        }
        answer += port_.readAll();
        for (const QString& final : finals)
            if (answer.contains(final.toLatin1()))
                return final;
    }
    return {};
}

void NativeProvider::TELInit(int port, int baud, const QString& initString)
{
    break_ = false;
    if (!port_.isOpen() && APPInitCom(port, baud) != 0) {
        telStatus_ = 2;
        return;
    }
    const QString init = initString.trimmed().isEmpty() ? QStringLiteral("AT") : initString.trimmed();
    telStatus_ = modemCommand(init, {QStringLiteral("OK")}, 3000).isEmpty() ? 2 : 0;
}

void NativeProvider::TELMakeCall(int port, int baud, const QString& dialString)
{
    break_ = false;
    if (!port_.isOpen() && APPInitCom(port, baud) != 0) {
        telStatus_ = 2;
        return;
    }
    telStatus_ = 1;
    const QString final = modemCommand(dialString.trimmed(),
                                       {QStringLiteral("CONNECT"), QStringLiteral("NO CARRIER"), QStringLiteral("BUSY"),
                                        QStringLiteral("NO DIALTONE"), QStringLiteral("NO ANSWER"), QStringLiteral("ERROR")},
                                       modemAnswerMs);
    if (final == QLatin1String("CONNECT")) {
        // The rest of the CONNECT line (the rate) arrives with it; drop it.
        PauseWithEvents(50);
        port_.discardInput();
        telStatus_ = 4;
    } else {
        telStatus_ = 2;
    }
}

void NativeProvider::TELHangUp()
{
    if (!port_.isOpen()) {
        telStatus_ = 3;
        return;
    }
    break_ = false;
    if (telStatus_ == 4) {
        PauseWithEvents(modemGuardMs);
        port_.write("+++");
        PauseWithEvents(modemGuardMs);
    }
    modemCommand(QStringLiteral("ATH"), {QStringLiteral("OK"), QStringLiteral("NO CARRIER")}, 3000);
    port_.discardInput();
    telStatus_ = 3;
}

} // namespace kelvaro::mbus
