#include "foundation/safefile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QThread>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

QString uniqueSiblingName(const QString& path)
{
    return QStringLiteral("%1.%2-%3.tmp")
        .arg(path)
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// Gives `from` the name `to` unless `to` exists. On Unix a hard link does it
// atomically; QFile::rename would fall back to copying over a file that
// appeared in the meantime.
CreateResult linkIntoPlace(const QString& from, const QString& to, QString* error)
{
#ifdef Q_OS_UNIX
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) {
        QFile::remove(from);
        return CreateResult::Created;
    }
    if (errno == EEXIST) {
        QFile::remove(from);
        return CreateResult::Exists;
    }
    // File systems without hard links (FAT): an ordinary rename.
#endif
    if (QFile::rename(from, to))
        return CreateResult::Created;
    QFile::remove(from);
    if (QFileInfo::exists(to))
        return CreateResult::Exists;
    fail(error, QStringLiteral("%1 kann nicht angelegt werden").arg(to));
    return CreateResult::Failed;
}

} // namespace

ReadResult ReadWholeFile(const QString& path, QByteArray& bytes, QString* error)
{
    bytes.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!QFileInfo::exists(path))
            return ReadResult::Missing;
        fail(error, file.errorString());
        return ReadResult::Failed;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        bytes.clear();
        fail(error, file.errorString());
        return ReadResult::Failed;
    }
    return ReadResult::Read;
}

bool ReplaceWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    // Unbuffered, so that a failing write shows in write()'s result and not
    // only in the flush inside commit().
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(error, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(error, why);
    }
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

CreateResult CreateWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    if (QFileInfo::exists(path))
        return CreateResult::Exists;
    // The temporary file is an ordinary new file, so it gets the permissions
    // of one (QTemporaryFile would make it readable by its owner only).
    QFile temp;
    for (int attempt = 0; attempt < 8 && !temp.isOpen(); ++attempt) {
        temp.setFileName(uniqueSiblingName(path));
        temp.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    if (!temp.isOpen()) {
        fail(error, temp.errorString());
        return CreateResult::Failed;
    }
    const bool written = temp.write(bytes) == bytes.size();
    const QString why = temp.errorString();
    temp.close();
    if (!written || temp.error() != QFileDevice::NoError) {
        temp.remove();
        fail(error, written ? temp.errorString() : why);
        return CreateResult::Failed;
    }
    return linkIntoPlace(temp.fileName(), path, error);
}

bool ReserveFileSpace(QFile& file, qint64 bytes, QString* error)
{
    if (bytes <= 0)
        return true;
#ifdef Q_OS_UNIX
    int rc = 0;
    do {
        rc = ::posix_fallocate(file.handle(), 0, bytes);
    } while (rc == EINTR);
    if (rc == 0)
        return true;
    if (rc != EOPNOTSUPP && rc != EINVAL)
        return fail(error, QString::fromLocal8Bit(std::strerror(rc)));
#else
    // NTFS and FAT give an extended file its clusters at once.
    if (file.resize(bytes))
        return true;
#endif
    const QByteArray zeros(128 * 1024, '\0');
    if (!file.seek(0))
        return fail(error, file.errorString());
    for (qint64 left = bytes; left > 0;) {
        const qint64 n = std::min<qint64>(left, zeros.size());
        if (file.write(zeros.constData(), n) != n)
            return fail(error, file.errorString());
        left -= n;
    }
    return file.flush() || fail(error, file.errorString());
}

FileLock::FileLock(const QString& path)
    : lock_(std::make_unique<QLockFile>(path + QStringLiteral(".lock")))
    , path_(path)
{
    lock_->setStaleLockTime(kStaleMs);
}

FileLock::~FileLock() = default;

bool FileLock::lock(QString* error)
{
    // A lock file sends no wake-up, so this polls, briefly at first (writers
    // hold it for a few milliseconds) and never past the deadline. It does not
    // run the event loop: a write must not re-enter its caller.
    const QDeadlineTimer deadline(kWaitMs);
    int pauseMs = 1;
    for (;;) {
        if (lock_->tryLock(0))
            return true;
        if (lock_->error() == QLockFile::PermissionError)
            return fail(error, QStringLiteral("Sperrdatei für %1 kann nicht angelegt werden").arg(path_));
        if (lock_->error() == QLockFile::UnknownError)
            return fail(error, QStringLiteral("Sperrdatei für %1 kann nicht geschrieben werden").arg(path_));
        if (deadline.hasExpired())
            return fail(error, QStringLiteral("%1 ist von einem anderen Programm gesperrt").arg(path_));
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(pauseMs, deadline.remainingTime())));
        pauseMs = std::min(pauseMs * 2, 50);
    }
}

void FileLock::unlock() { lock_->unlock(); }

} // namespace kelvaro
