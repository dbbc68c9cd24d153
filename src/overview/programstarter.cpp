#include "overview/programstarter.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#endif

namespace kelvaro::overview {
namespace {

// A started program shares the overview's terminal or journal. A pipe,
// though, is read by whoever started the overview and closed when the
// overview ends; a program still writing into it would die of SIGPIPE.
bool isPipe(int fd)
{
#ifdef Q_OS_UNIX
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode);
#else
    Q_UNUSED(fd);
    return false;
#endif
}

} // namespace

ProgramStarter DetachedStarter()
{
    return [](const QString& program, const QStringList& arguments, qint64* pid) {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.setWorkingDirectory(QDir::currentPath());
        process.setStandardInputFile(QProcess::nullDevice());
        if (isPipe(1))
            process.setStandardOutputFile(QProcess::nullDevice());
        if (isPipe(2))
            process.setStandardErrorFile(QProcess::nullDevice());
        return process.startDetached(pid);
    };
}

bool ProcessRuns(qint64 pid, const QString& program, const QStringList& arguments)
{
    if (pid <= 0)
        return false;
#ifdef Q_OS_LINUX
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly))
        return false;
    QList<QByteArray> parts = cmdline.readAll().split('\0');
    if (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    if (parts.size() != arguments.size() + 1 || QString::fromLocal8Bit(parts[0]) != program)
        return false;
    for (qsizetype i = 0; i < arguments.size(); ++i)
        if (QString::fromLocal8Bit(parts[i + 1]) != arguments[i])
            return false;
    // A process that has ended but not yet been reaped is no longer running.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        if (close >= 0 && close + 2 < text.size() && (text[close + 2] == 'Z' || text[close + 2] == 'X'))
            return false;
    }
    return true;
#elif defined(Q_OS_UNIX)
    Q_UNUSED(program);
    Q_UNUSED(arguments);
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#else
    Q_UNUSED(program);
    Q_UNUSED(arguments);
    return false;
#endif
}

} // namespace kelvaro::overview
