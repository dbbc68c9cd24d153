#pragma once
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTime>
#include <QTimer>
#include <functional>

namespace kelvaro::overview {

class MasterLauncher;

// "MBus Neustart um :": once a day at the set time every master this overview
// started ends cleanly (SIGTERM) and is started again as the supervisor
// starts one. A master that has not ended `killAfterMs` after the SIGTERM
// gets SIGKILL (logged). A minute that has seen the restart does not see it
// twice, even when the check runs many times in it.
class DailyRestart : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit DailyRestart(QObject* parent = nullptr);

    void setLauncher(MasterLauncher* launcher) { launcher_ = launcher; }
    // An invalid time switches the restart off.
    void setTime(const QTime& time) { time_ = time; }
    QTime time() const { return time_; }
    void setKillAfterMs(int ms) { killAfterMs_ = ms; }
    // The wall clock (naive local time); tests set their own.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // Looks at the clock and at the masters being restarted every `ms`.
    void start(int ms = 1'000);

    // One look (the timer calls it).
    void check();
    // Masters sent SIGTERM and not yet started again.
    bool restarting() const { return !pending_.isEmpty(); }

Q_SIGNALS:
    void restarted(int port);

private:
    struct Pending {
        qint64 pid = 0;
        qint64 deadlineMs = 0;
        bool killed = false;
    };
    void begin(const QDateTime& now);
    void advance();

    MasterLauncher* launcher_ = nullptr;
    QTime time_;
    int killAfterMs_ = 30'000;
    Clock clock_;
    QString lastMinute_; // "yyyyMMddhhmm" of the last restart
    QHash<int, Pending> pending_;
    QElapsedTimer elapsed_;
    QTimer timer_;
};

} // namespace kelvaro::overview
