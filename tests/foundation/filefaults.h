#pragma once
// Real file-system faults for tests: child processes, a file size limit that
// makes writes fail part-way (EFBIG, as a full disk does), and a tiny tmpfs
// filled to the brim. POSIX only.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvaro::test {

// A forked child running `body`; its return value is the exit code. The child
// leaves by _exit, so no destructor of the test runs twice.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body)
    {
        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ == 0)
            ::_exit(body());
    }
    ~ChildProcess()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Exit code, or -1 when the child was killed or never started.
    int wait()
    {
        if (pid_ <= 0)
            return -1;
        if (!reaped_) {
            while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
            }
            reaped_ = true;
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    void kill()
    {
        if (pid_ > 0 && !reaped_)
            ::kill(pid_, SIGKILL);
        wait();
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool reaped_ = false;
};

inline int RunInChild(const std::function<int()>& body) { return ChildProcess(body).wait(); }

// Children wait at the gate until it opens, so that they start together.
class StartGate {
public:
    StartGate() { ok_ = ::pipe(fds_) == 0; }
    ~StartGate() { open(); closeRead(); }
    bool ok() const { return ok_; }
    void wait() const
    {
        char c;
        ::close(fds_[1]);
        while (::read(fds_[0], &c, 1) < 0 && errno == EINTR) {
        }
    }
    void open()
    {
        if (fds_[1] >= 0)
            ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    void closeRead()
    {
        if (fds_[0] >= 0)
            ::close(fds_[0]);
        fds_[0] = -1;
    }
    int fds_[2] = {-1, -1};
    bool ok_ = false;
};

// This process may write files up to `bytes` long; writes beyond fail with
// EFBIG instead of raising SIGXFSZ. Meant for a child process.
inline bool LimitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    limit.rlim_cur = bytes;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Lifts the limit again (up to the hard limit, which an unprivileged process may do).
inline bool LiftFileSizeLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return false;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Writers appending at once while the space runs out again and again. Each of
// `writers` children may write files up to a limit that rises in `rounds`
// steps of `step` bytes; child w's limit stands w * `stagger` bytes above
// child 0's, so that one child's write fails part-way while another's still
// go in. A child calls append(w, n) for its n-th line until the limit bites,
// then takes the next step; at the end its limit is lifted and it appends one
// more line (n = -1), which must go in. The number of children that did not
// finish so.
inline int AppendWhileSpaceRunsOut(int writers, int rounds, rlim_t step, rlim_t stagger,
                                   const std::function<bool(int writer, int line)>& append)
{
    StartGate gate;
    if (!gate.ok())
        return writers;
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int w = 0; w < writers; ++w)
        children.push_back(std::make_unique<ChildProcess>([&, w] {
            gate.wait();
            int line = 0;
            for (int r = 1; r <= rounds; ++r) {
                if (!LimitFileSize(rlim_t(r) * step + rlim_t(w) * stagger))
                    return 10;
                for (int tries = 0; tries < 100000 && append(w, line++); ++tries) {
                }
            }
            if (!LiftFileSizeLimit())
                return 11;
            return append(w, -1) ? 0 : 12;
        }));
    gate.open();
    int failed = 0;
    for (auto& child : children)
        failed += child->wait() != 0;
    return failed;
}

// A tmpfs of `bytes` mounted on `dir` (created) for the lifetime of the object.
// Mounting needs privileges: test with mounted() and skip when it is false.
class TinyFileSystem {
public:
    TinyFileSystem(const QString& dir, int bytes)
        : dir_(QDir(dir).absolutePath())
    {
        QDir().mkpath(dir_);
        const QByteArray options = "size=" + QByteArray::number(bytes);
        if (::mount("tmpfs", QFile::encodeName(dir_).constData(), "tmpfs", 0, options.constData()) == 0)
            mounted_ = true;
        else
            error_ = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~TinyFileSystem()
    {
        if (mounted_)
            ::umount2(QFile::encodeName(dir_).constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    QString error() const { return error_; }

    // Fills the file system with the file "filler" until a write fails.
    // `spare` bytes are given back afterwards (in whole pages on tmpfs).
    bool fill(qint64 spare = 0)
    {
        QFile filler(dir_ + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'F');
        while (filler.write(block) == block.size()) {
        }
        const qint64 size = filler.size();
        return filler.resize(std::max<qint64>(0, size - spare)) && size > 0;
    }
    void release() { QFile::remove(dir_ + QStringLiteral("/filler")); }

private:
    QString dir_;
    QString error_;
    bool mounted_ = false;
};

#define KELVARO_REQUIRE_MOUNT(fs)                                                                                       \
    if (!(fs).mounted())                                                                                                \
    GTEST_SKIP() << "cannot mount a tmpfs here (" << (fs).error().toStdString() << ")"

// The user RunAsUnprivileged runs as: "nobody" when the tests run as root.
inline uid_t UnprivilegedUser() { return ::geteuid() == 0 ? 65534 : ::geteuid(); }

// Makes `file` writable but not readable for that user: a file that exists
// and cannot be read.
inline bool MakeWriteOnly(const QString& file)
{
    if (::chown(QFile::encodeName(file).constData(), UnprivilegedUser(), gid_t(-1)) != 0)
        return false;
    return QFile::setPermissions(file, QFileDevice::WriteOwner);
}

// Runs `body` in a child as that user. The directory `dir` is opened to all.
inline int RunAsUnprivileged(const QString& dir, const std::function<int()>& body)
{
    QFile::setPermissions(dir, QFileDevice::Permissions(0x7777));
    return RunInChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(UnprivilegedUser()) != 0))
            return 99;
        return body();
    });
}

} // namespace kelvaro::test
