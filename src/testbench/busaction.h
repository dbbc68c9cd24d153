#pragma once
#include "foundation/termination.h"
#include "testbench/testbench.h"

namespace kelvaro::testbench {

// One bus action of the test bench from its start to its end. A second one
// started while the first waits on the bus (a click handled inside its
// event-loop waits) is refused: it tests false and does nothing.
class TestBench::BusAction {
public:
    explicit BusAction(TestBench& bench)
        : bench_(bench)
    {
        if (bench.busy_ || TerminationRequested())
            return;
        active_ = true;
        bench.busy_ = true;
        emit bench.busyChanged(true);
    }
    ~BusAction()
    {
        if (!active_)
            return;
        bench_.busy_ = false;
        bench_.running_ = nullptr;
        emit bench_.busyChanged(false);
        emit bench_.changed();
    }
    BusAction(const BusAction&) = delete;
    BusAction& operator=(const BusAction&) = delete;

    explicit operator bool() const { return active_; }
    // The provider a stop breaks.
    void use(mbus::NativeProvider* provider) { bench_.running_ = provider; }
    // The provider slot of the reading frame for this action; null (and its
    // message shown) when there is none, or when the action was refused.
    mbus::NativeProvider* useSlotProvider()
    {
        if (!active_)
            return nullptr;
        mbus::NativeProvider* provider = bench_.slotProvider();
        use(provider);
        return provider;
    }

private:
    TestBench& bench_;
    bool active_ = false;
};

} // namespace kelvaro::testbench
