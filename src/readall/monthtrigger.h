#pragma once

namespace kelvaro::readall {

// Remembers the month last read (only while the program runs): the first tick
// in a new calendar month asks for a read, later ticks in that month do not.
class MonthTrigger {
public:
    explicit MonthTrigger(int presentMonth) : lastMonth_(presentMonth) {}
    bool tick(int presentMonth)
    {
        if (presentMonth == lastMonth_)
            return false;
        lastMonth_ = presentMonth;
        return true;
    }
    int lastMonth() const { return lastMonth_; }

private:
    int lastMonth_;
};

} // namespace kelvaro::readall
