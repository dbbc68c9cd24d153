#pragma once
#include <QString>
#include <optional>
#include <utility>

namespace kelvaro::master {

// What may use the station's M-Bus line (and the database connection a cycle
// keeps open): the cycle and each manual action.
enum class BusUser { Cycle, ManualReading, SecondaryReading, TestMeters, IndexListSave };

// One user at a time. The cycle and the manual readings wait in nested event
// loops, so a click or a timer tick can arrive while the line is in use; it is
// refused instead of reaching into the running exchange.
class BusLock {
public:
    // Held while it lives; empty when the lock was refused.
    class Hold {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept : lock_(std::exchange(other.lock_, nullptr)) {}
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() { release(); }
        explicit operator bool() const { return lock_ != nullptr; }
        void release();

    private:
        friend class BusLock;
        explicit Hold(BusLock* lock) : lock_(lock) {}
        BusLock* lock_ = nullptr;
    };

    Hold take(BusUser user);
    bool isFree() const { return !holder_; }
    std::optional<BusUser> holder() const { return holder_; }

private:
    std::optional<BusUser> holder_;
};

// "Com3 belegt (Lesezyklus): Handlesen abgewiesen"
QString BusRefusalText(int port, BusUser holder, BusUser refused);

} // namespace kelvaro::master
