#include "foundation/safefile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelvaro {
namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

#ifdef Q_OS_UNIX

// Writers hold the lock for one write; one that keeps it longer is stopped or
// hung, and a reading must not wait for it.
constexpr int kAppendLockWaitMs = 2000;

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// Every appender of a shared file holds this lock (on the file itself, so it
// ends with the holder's process) from the moment it looks at the file's end
// until its bytes stand whole or are taken back: a failed write can then be
// cut back without touching another process's line. False when the lock is
// not to be had within the wait or the file system has no locks.
bool lockForAppend(int fd)
{
    const QDeadlineTimer deadline(kAppendLockWaitMs);
    unsigned long pauseMs = 1;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || deadline.hasExpired())
            return false;
        QThread::msleep(pauseMs);
        pauseMs = std::min(pauseMs * 2, 20UL);
    }
}

qint64 fileSize(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? qint64(st.st_size) : -1;
}

// What puts new lines on a line of their own: a file whose last line lacks
// its end (its writer was killed during the write, or the cut-back failed)
// gets the end first, so a fragment stands alone and the new line is whole.
QByteArray lineStart(int fd, qint64 size)
{
    char last = '\n';
    if (size <= 0 || ::pread(fd, &last, 1, size - 1) != 1 || last == '\n')
        return {};
    return last == '\r' ? QByteArray("\n") : QByteArray("\r\n");
}

// Writes `bytes` in as few writes as the system allows; the count written,
// `code` the reason when that is not all of them.
qint64 writeAll(int fd, const QByteArray& bytes, int& code)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            code = n < 0 ? errno : ENOSPC;
            break;
        }
    }
    return done;
}

int openForAppend(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EACCES)
        return fd;
    // A file this user may write but not read: appended without the look at its end.
    return ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
}

#endif

} // namespace

#ifdef Q_OS_UNIX

bool AppendWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    const int fd = openForAppend(path);
    if (fd < 0)
        return fail(error, systemError(errno));
    const bool locked = lockForAppend(fd);
    const qint64 before = fileSize(fd);
    const QByteArray whole = (bytes.endsWith('\n') ? lineStart(fd, before) : QByteArray()) + bytes;
    int code = 0;
    const qint64 written = writeAll(fd, whole, code);
    bool ok = written == whole.size();
    if (!ok && before >= 0) {
        // Under the lock everything past `before` is ours. Without it only a
        // fragment that nothing followed may go; one that stays is ended by
        // the next writer's lineStart.
        const qint64 now = fileSize(fd);
        if (now > before && (locked || now == before + written))
            while (::ftruncate(fd, before) != 0 && errno == EINTR) {
            }
    }
    // Closing lets go of the lock. A file system that reports a full disk only
    // here leaves the line in doubt: it is reported as not written.
    if (::close(fd) != 0 && errno != EINTR && ok) {
        ok = false;
        code = errno;
    }
    return ok || fail(error, systemError(code));
}

#else

bool AppendWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return fail(error, file.errorString());
    const qint64 before = file.size();
    const qint64 written = file.write(bytes);
    if (written == bytes.size()) {
        file.close();
        return file.error() == QFileDevice::NoError || fail(error, file.errorString());
    }
    const QString why = file.errorString();
    if (written > 0 && file.size() == before + written)
        file.resize(before);
    return fail(error, why);
}

#endif

} // namespace kelvaro
