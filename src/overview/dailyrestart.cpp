#include "overview/dailyrestart.h"

#include "foundation/programlog.h"
#include "foundation/timeutil.h"
#include "overview/masterlauncher.h"

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace kelvaro::overview {
namespace {

bool sendSignal(qint64 pid, bool kill)
{
#ifdef Q_OS_UNIX
    return pid > 0 && ::kill(static_cast<pid_t>(pid), kill ? SIGKILL : SIGTERM) == 0;
#else
    Q_UNUSED(pid);
    Q_UNUSED(kill);
    return false;
#endif
}

} // namespace

DailyRestart::DailyRestart(QObject* parent) : QObject(parent), clock_(&LocalNow)
{
    elapsed_.start();
    connect(&timer_, &QTimer::timeout, this, &DailyRestart::check);
}

void DailyRestart::start(int ms)
{
    timer_.setInterval(ms);
    timer_.start();
}

void DailyRestart::check()
{
    if (!launcher_)
        return;
    const QDateTime now = clock_();
    if (time_.isValid() && now.time().hour() == time_.hour() && now.time().minute() == time_.minute()) {
        const QString minute = now.toString(QStringLiteral("yyyyMMddhhmm"));
        if (minute != lastMinute_) {
            lastMinute_ = minute;
            begin(now);
        }
    }
    advance();
}

void DailyRestart::begin(const QDateTime& now)
{
    for (const int port : launcher_->startedPorts()) {
        if (pending_.contains(port) || !launcher_->ownProcessRuns(port))
            continue; // a master that has ended is the supervisor's to start
        const qint64 pid = launcher_->pid(port);
        WriteProgramLog(QStringLiteral("Kelvaro Com%1: Neustart um %2, beende PID %3")
                            .arg(port)
                            .arg(now.toString(QStringLiteral("hh:mm")))
                            .arg(pid));
        if (!sendSignal(pid, false)) {
            WriteProgramLog(QStringLiteral("Kelvaro Com%1: PID %2 kann nicht beendet werden").arg(port).arg(pid));
            continue;
        }
        pending_.insert(port, {pid, elapsed_.elapsed() + killAfterMs_, false});
    }
}

void DailyRestart::advance()
{
    for (auto it = pending_.begin(); it != pending_.end();) {
        const int port = it.key();
        Pending& p = it.value();
        // The launcher knows the master by its process id, program and arguments.
        const bool oldRuns = launcher_->pid(port) == p.pid && launcher_->ownProcessRuns(port);
        if (oldRuns) {
            if (!p.killed && elapsed_.elapsed() >= p.deadlineMs) {
                p.killed = true;
                WriteProgramLog(QStringLiteral("Kelvaro Com%1 hat sich nach %2 s nicht beendet: SIGKILL an PID %3")
                                    .arg(port)
                                    .arg(killAfterMs_ / 1000.0)
                                    .arg(p.pid));
                sendSignal(p.pid, true);
            }
            ++it;
            continue;
        }
        it = pending_.erase(it);
        if (launcher_->restart(port) == MasterLauncher::Result::Started)
            Q_EMIT restarted(port);
    }
}

} // namespace kelvaro::overview
