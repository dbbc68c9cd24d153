#include "foundation/processlock.h"

#include "foundation/paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QDir>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kelvaro {

namespace {

#ifdef Q_OS_WIN
qintptr openLockFile(const QString& fileName, QString& error)
{
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(fileName.utf16()), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = QStringLiteral("Sperrdatei %1 kann nicht geöffnet werden (Fehler %2)").arg(fileName).arg(GetLastError());
        return -1;
    }
    return reinterpret_cast<qintptr>(h);
}

void closeLockFile(qintptr handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

// 1: taken, 0: held elsewhere, -1: failed
int lockHandle(qintptr handle, ProcessLock::Mode mode, QString& error)
{
    OVERLAPPED where{};
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (mode == ProcessLock::Mode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (LockFileEx(reinterpret_cast<HANDLE>(handle), flags, 0, 1, 0, &where))
        return 1;
    if (GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING)
        return 0;
    error = QStringLiteral("Sperre nicht möglich (Fehler %1)").arg(GetLastError());
    return -1;
}

void unlockHandle(qintptr handle)
{
    OVERLAPPED where{};
    UnlockFileEx(reinterpret_cast<HANDLE>(handle), 0, 1, 0, &where);
}
#else
qintptr openLockFile(const QString& fileName, QString& error)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        error = QStringLiteral("Sperrdatei %1 kann nicht geöffnet werden: %2").arg(fileName, QString::fromLocal8Bit(std::strerror(errno)));
    return fd;
}

void closeLockFile(qintptr handle) { ::close(static_cast<int>(handle)); }

int lockHandle(qintptr handle, ProcessLock::Mode mode, QString& error)
{
    const int operation = (mode == ProcessLock::Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (;;) {
        if (::flock(static_cast<int>(handle), operation) == 0)
            return 1;
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return 0;
        error = QStringLiteral("Sperre nicht möglich: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
}

void unlockHandle(qintptr handle) { ::flock(static_cast<int>(handle), LOCK_UN); }
#endif

// True when a lock of `mode` could not be taken right now by a new holder.
bool conflicts(const QString& fileName, ProcessLock::Mode mode)
{
    QString error;
    const qintptr handle = openLockFile(fileName, error);
    if (handle < 0)
        return false;
    const int taken = lockHandle(handle, mode, error);
    if (taken == 1)
        unlockHandle(handle);
    closeLockFile(handle);
    return taken == 0;
}

void pause(int ms)
{
    if (QCoreApplication::instance()) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    } else {
        QThread::msleep(ms);
    }
}

} // namespace

ProcessLock::ProcessLock(QString fileName) : fileName_(std::move(fileName)) {}

ProcessLock::~ProcessLock() { unlock(); }

bool ProcessLock::tryLock(Mode mode)
{
    error_.clear();
    heldElsewhere_ = false;
    const qintptr handle = handle_ != kNoHandle ? handle_ : openLockFile(fileName_, error_);
    if (handle < 0)
        return false;
#ifdef Q_OS_WIN
    if (handle_ != kNoHandle)
        unlockHandle(handle); // a Windows lock changes its mode only by being taken anew
#endif
    const int taken = lockHandle(handle, mode, error_);
    if (taken == 1) {
        handle_ = handle;
        return true;
    }
    // A failed change of mode may have dropped the old lock: hold nothing then.
    closeLockFile(handle);
    handle_ = kNoHandle;
    if (taken == 0) {
        heldElsewhere_ = true;
        error_ = QStringLiteral("%1 ist gesperrt").arg(fileName_);
    }
    return false;
}

bool ProcessLock::lock(Mode mode, int timeoutMs, const std::function<bool()>& cancelled)
{
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    for (;;) {
        if (tryLock(mode))
            return true;
        if (!heldElsewhere_)
            return false; // the file cannot be opened: waiting will not help
        if (deadline.hasExpired() || (cancelled && cancelled()))
            return false;
        pause(static_cast<int>(std::min<qint64>(kPollMs, std::max<qint64>(1, deadline.remainingTime()))));
    }
}

void ProcessLock::unlock()
{
    if (handle_ == kNoHandle)
        return;
    unlockHandle(handle_);
    closeLockFile(handle_);
    handle_ = kNoHandle;
}

bool ProcessLock::isHeldExclusively(const QString& fileName) { return conflicts(fileName, Mode::Shared); }

bool ProcessLock::isHeld(const QString& fileName) { return conflicts(fileName, Mode::Exclusive); }

QString RB6DirectoryLockFile(const QString& rb6Directory)
{
    return QDir(NativePath(rb6Directory)).filePath(QStringLiteral("rb6.lock"));
}

QString MasterPortLockFile(const QString& dbPath, const QString& client, int port)
{
    return NativePath(dbPath + QStringLiteral("kelvaro-M%1-C%2.lock").arg(client).arg(port));
}

} // namespace kelvaro
