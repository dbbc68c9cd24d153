#include "migration/filecopy.h"

#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFile>
#include <QFileInfo>
#endif

namespace kelvaro::migration {

namespace {

QString nativeText(const std::filesystem::path& path)
{
#ifdef Q_OS_UNIX
    return DisplayName(path);
#else
    return QString::fromStdWString(path.native());
#endif
}

} // namespace

bool IsUtf8Name(const std::filesystem::path& path)
{
#ifdef Q_OS_UNIX
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(QByteArrayView(path.native().data(), qsizetype(path.native().size())));
    Q_UNUSED(decoded);
    return !utf8.hasError();
#else
    return true;
#endif
}

QString DisplayName(const std::filesystem::path& path)
{
#ifdef Q_OS_UNIX
    const std::string& bytes = path.native();
    if (IsUtf8Name(path))
        return QString::fromStdString(bytes);
    QString text;
    for (char c : bytes)
        text += uchar(c) < 0x80 ? QString(QLatin1Char(c)) : QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    return text;
#else
    return QString::fromStdWString(path.native());
#endif
}

#ifdef Q_OS_UNIX

namespace {

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool writeAll(int fd, const char* data, size_t size, off_t at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

// The next stretch of data at or after `from`: [start, end). Without the
// file system's help the whole rest is data.
bool nextData(int fd, off_t from, off_t size, off_t& start, off_t& end)
{
#ifdef SEEK_DATA
    start = ::lseek(fd, from, SEEK_DATA);
    if (start < 0) {
        if (errno == ENXIO) // only a hole is left
            return false;
        start = from; // the file system cannot tell
        end = size;
        return from < size;
    }
    end = ::lseek(fd, start, SEEK_HOLE);
    if (end < 0)
        end = size;
    return true;
#else
    start = from;
    end = size;
    return from < size;
#endif
}

} // namespace

bool CopyFileExactly(const std::filesystem::path& source, const std::filesystem::path& target, QString& error)
{
    const auto fail = [&](const QString& what) {
        error = QStringLiteral("%1 nicht nach %2 kopiert: %3: %4")
                    .arg(nativeText(source), nativeText(target), what, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    Fd in, out;
    in.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in.fd < 0)
        return fail(QStringLiteral("öffnen"));
    struct stat st {};
    if (::fstat(in.fd, &st) != 0)
        return fail(QStringLiteral("lesen"));
    out.fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777);
    if (out.fd < 0)
        return fail(QStringLiteral("anlegen"));
    std::vector<char> block(64 * 1024);
    off_t from = 0, start = 0, end = 0;
    while (nextData(in.fd, from, st.st_size, start, end)) {
        for (off_t at = start; at < end;) {
            const size_t want = size_t(std::min<off_t>(off_t(block.size()), end - at));
            const ssize_t n = ::pread(in.fd, block.data(), want, at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail(QStringLiteral("lesen"));
            if (n == 0)
                break;
            const bool zeros = std::all_of(block.begin(), block.begin() + n, [](char c) { return c == 0; });
            if (!zeros && !writeAll(out.fd, block.data(), size_t(n), at))
                return fail(QStringLiteral("schreiben"));
            at += n;
        }
        from = end;
    }
    if (::ftruncate(out.fd, st.st_size) != 0)
        return fail(QStringLiteral("Länge setzen"));
    ::fchmod(out.fd, st.st_mode & 07777);
    if (::fchown(out.fd, st.st_uid, st.st_gid) != 0) {
        // Only the owner's own files keep their owner; the copy is then ours.
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out.fd, times) != 0)
        return fail(QStringLiteral("Zeitstempel setzen"));
    if (::fsync(out.fd) != 0)
        return fail(QStringLiteral("auf die Platte schreiben"));
    if (::close(out.fd) != 0) {
        out.fd = -1;
        return fail(QStringLiteral("schließen"));
    }
    out.fd = -1;
    return true;
}

void SyncDirectory(const std::filesystem::path& directory)
{
    Fd dir;
    dir.fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd >= 0)
        ::fsync(dir.fd);
}

#else

bool CopyFileExactly(const std::filesystem::path& source, const std::filesystem::path& target, QString& error)
{
    const QString from = QString::fromStdWString(source.native());
    const QString to = QString::fromStdWString(target.native());
    QFile::remove(to);
    if (!QFile::copy(from, to) || QFileInfo(to).size() != QFileInfo(from).size()) {
        error = QStringLiteral("%1 nicht nach %2 kopiert").arg(from, to);
        return false;
    }
    QFile out(to);
    if (!out.open(QIODevice::ReadWrite)
        || !out.setFileTime(QFileInfo(from).lastModified(), QFileDevice::FileModificationTime)) {
        error = QStringLiteral("%1: Zeitstempel nicht gesetzt").arg(to);
        return false;
    }
    return true;
}

void SyncDirectory(const std::filesystem::path&) {}

#endif

} // namespace kelvaro::migration
