#pragma once
#include "mbus/wire/providerselect.h"

#include <QString>
#include <array>

namespace kelvaro::testbench {

// The settings fields of the test bench as texts, the way the window shows
// them. Address, port and baud live in section "Tarvolin" + client of
// ".\OVX.INI"; both sets of time-out fields in section client + "MBus".
struct TestBenchFields {
    QString primAdr = QStringLiteral("1");
    QString comPort = QStringLiteral("1");
    QString baud = QStringLiteral("9600");
    std::array<QString, 4> readTimeouts;   // "bittime :", "offset :", "bit :", "dead :"
    std::array<QString, 4> searchTimeouts; // the same keys, fields of the search frame
    int network = mbus::TimeoutSettings{}.network;
};

inline constexpr int kTimeoutFields = 4;
// "COMTimeout", "COMTimeoutOffset", "COMTimeoutByte", "COMDeadtime".
const std::array<QString, kTimeoutFields>& TimeoutKeys();
// "bittime :", "offset :", "bit :", "dead :".
const std::array<QString, kTimeoutFields>& TimeoutCaptions();
// "Default : 330", "Default : 50", "Default : 4", "Default : 11".
QString TimeoutToolTip(int field);

// The client of the test bench: "-M" on the command line, else OVXMandant of
// ".\OVX.INI", else "200"; then its directories. No message when none is set.
void ResolveTestBenchClient(const QString& commandLine);

QString TarvolinSection(); // "Tarvolin" + client

// Reads every field: address, port and baud with 0 or nothing replaced by
// 1, 1, 9600; the time-outs with 0 or nothing replaced by their defaults and
// those written back.
TestBenchFields LoadTestBenchFields();

// Writing one field's key (what an edit of the field does at once).
bool WritePrimAdr(const QString& text);
bool WriteComPort(const QString& text);
bool WriteBaud(const QString& text);
bool WriteTimeoutField(int field, const QString& text);

// The provider time-outs of a set of fields; a field that is not a positive
// number counts as its default.
mbus::TimeoutSettings TimeoutsOf(const std::array<QString, kTimeoutFields>& fields, int network);

} // namespace kelvaro::testbench
