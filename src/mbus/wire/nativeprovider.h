#pragma once
#include "mbus/provider.h"
#include "mbus/wire/buslink.h"
#include "mbus/wire/busport.h"
#include "mbus/wire/portdevice.h"

#include <QString>
#include <array>

namespace kelvaro::mbus {

// The provider on the wire: the decoding members of MBusProvider plus the
// port, request and modem members. Every request runs to its end before the
// call returns (the event loop keeps running meanwhile), so APPReceiveTest
// reports 255 only to code that asks while an exchange is still under way.
//
// APPReceiveTest values: 0 nothing requested, 2 acknowledged (E5), 3 RSP_UD
// received, 5 failed (APPReceiveError tells why), 255 busy.
// APPIsComOpen: non-zero means open, for every caller.
class NativeProvider : public MBusProvider {
public:
    NativeProvider();

    // Time-out properties (see BusTimeouts for their meaning). COMTimeoutParam
    // 2 makes the four values below take effect; other values keep the defaults.
    int COMTimeoutParam = 2;
    int COMTimeout = 330;
    int COMTimeoutOffset = 50;
    int COMTimeoutByte = 4;
    int COMDeadtime = 11;
    // Added to the answer window and the inter-byte gap on network lines.
    int COMTimeoutNetwork = 250;
    // Repeats of a REQ_UD2 that got no valid answer (same FCB).
    int requestRepeats = 1;

    int APPInitCom(int port, int baud);
    int APPIsComOpen() const;
    void APPCloseCom();
    // Opens a device directly (see CreateLineTransport for the addresses).
    bool openDevice(const QString& device, int baud);
    // The devices the port numbers of APPInitCom reach.
    void setPortDirectory(const PortDirectory& ports) { ports_ = ports; }
    const PortDirectory& portDirectory() const { return ports_; }

    void APPSNDNKE(int address);
    void APPREQUD2(int address);
    // Secondary selection; `mask` holds eight digits or "f" wildcards.
    void APPSelect(int mode, const QString& mask, const QString& manufacturer = {}, const QString& version = {},
                   const QString& medium = {});
    // Sends the last request again (same FCB) when it failed.
    void APPRetry();
    int APPReceiveTest() const { return receiveTest_; }
    int APPReceiveError() const { return receiveError_; }
    void APPBreak();

    // A received frame or hex telegram decoded; APPReceiveTest 3 on success.
    int APPInterpretTelegramHex(const QString& hex);

    // Hayes modem on the same port. TELStatus: 0 initialised, 1 dialling,
    // 2 failed, 3 hung up, 4 connected.
    void TELInit(int port, int baud, const QString& initString);
    void TELMakeCall(int port, int baud, const QString& dialString);
    int TELStatus() const { return telStatus_; }
    void TELHangUp();
    // Guard time around "+++" (Hayes default 1 s).
    int modemGuardMs = 1000;
    int modemAnswerMs = 60000;

    BusPort& port() { return port_; }
    BusLink& link() { return link_; }
    // The frames of the last exchange (request and what came back), for consoles and logs.
    QByteArray lastRequest() const { return lastRequest_; }
    QByteArray lastAnswer() const { return lastAnswer_; }

private:
    void applyTimeouts();
    bool exchangeFrame(const QByteArray& request, std::uint8_t address);
    void finish(const Answer& answer);
    QString modemCommand(const QString& command, const QStringList& finals, int timeoutMs);

    BusPort port_;
    BusLink link_;
    PortDirectory ports_;
    int receiveTest_ = 0;
    int receiveError_ = 0;
    std::array<int, 256> nextFcb_{}; // per address: FCB of the next request (1 after SND_NKE)
    QByteArray lastRequest_;
    QByteArray lastAnswer_;
    std::uint8_t lastAddress_ = 0;
    int telStatus_ = 3;
    bool break_ = false;
};

} // namespace kelvaro::mbus
