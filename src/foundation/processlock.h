#pragma once
#include <QString>
#include <functional>

namespace kelvaro {

// An advisory lock on a file that several processes of an installation take,
// shared or exclusive. The operating system drops it when the holder dies, so
// a killed process never leaves a lock behind. Two ProcessLock objects on one
// file exclude each other also inside one process. Paths are native; the file
// is created (empty) when missing and is never removed, so that a lock is
// always taken on the same file.
class ProcessLock {
public:
    enum class Mode { Shared, Exclusive };
    static constexpr int kPollMs = 50;

    explicit ProcessLock(QString fileName);
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // False at once when a conflicting lock is held (heldElsewhere()) or the
    // file cannot be opened (errorText()). Taking another mode while locked
    // changes the mode; when that fails, no lock is held any more.
    bool tryLock(Mode mode);
    // Tries every kPollMs while letting the event loop run, until the lock is
    // taken, timeoutMs has passed (negative: no limit) or cancelled() is true.
    bool lock(Mode mode, int timeoutMs, const std::function<bool()>& cancelled = {});
    void unlock();

    bool isLocked() const { return handle_ != kNoHandle; }
    const QString& fileName() const { return fileName_; }
    const QString& errorText() const { return error_; }
    bool heldElsewhere() const { return heldElsewhere_; }

    // True when another holder keeps a lock on the file (any mode), so that
    // even a shared lock of this process would have to wait for it.
    static bool isHeldExclusively(const QString& fileName);
    // True when any other holder keeps a lock on the file, shared or exclusive.
    static bool isHeld(const QString& fileName);

private:
    static constexpr qintptr kNoHandle = -1;
    qintptr handle_ = kNoHandle;
    QString fileName_;
    QString error_;
    bool heldElsewhere_ = false;
};

// The lock that guards a client's RB6 directory: masters write under a shared
// lock, a log import rebuilds under an exclusive one.
QString RB6DirectoryLockFile(const QString& rb6Directory);
// The lock a master holds on its line for as long as it runs:
// DBPATH + "kelvaro-M<client>-C<port>.lock".
QString MasterPortLockFile(const QString& dbPath, const QString& client, int port);

} // namespace kelvaro
