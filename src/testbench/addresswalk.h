#pragma once
#include <QString>
#include <functional>

namespace kelvaro::mbus {
class NativeProvider;
struct TimeoutSettings;
} // namespace kelvaro::mbus

namespace kelvaro::testbench {

// Opens the line for a run of the test bench: the time-outs, then the port
// at `baud`. The text to show ("Fehler Open Com <port>") when it does not
// open; the port is closed again then.
QString OpenLineForRun(mbus::NativeProvider& provider, int port, int baud, const mbus::TimeoutSettings& timeouts);

// How a walk over primary addresses ended.
struct AddressWalkEnd {
    int stoppedAt = -1;  // the address a stop ended it at (not asked, or asked and its answer dropped)
    int lineLostAt = -1; // the address whose exchange the line's loss cut
    bool stopped() const { return stoppedAt >= 0; }
    bool lineLost() const { return lineLostAt >= 0; }
};

struct AddressWalkSteps {
    // Asked before each address; true ends the walk there. Optional.
    std::function<bool()> stopRequested;
    // Before the request to each address. Optional.
    std::function<void(int address)> asking;
    // After each exchange the line survived: whether the meter answered
    // (a data telegram). False ends the walk at this address. Required.
    std::function<bool(int address, bool answered)> answered;
};

// The primary search and the speed test: every address from..to (within
// 0..250, on an open line) is asked once for its data. A silent address
// costs one answer window, not one per repeat: the provider's request
// repeats are off for the walk. A lost line ends it at once.
AddressWalkEnd WalkAddresses(mbus::NativeProvider& provider, int from, int to, const AddressWalkSteps& steps);

} // namespace kelvaro::testbench
