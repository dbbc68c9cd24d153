#pragma once
#include "overview/overviewsettings.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

namespace kelvaro::overview {

class MasterLauncher;

// Keeps a master running on each supervised port: a port whose master has
// ended (killed, crashed, closed) gets a new one, but at most one start per
// port within the restart interval, so a master that fails at once does not
// start over and over. Ending the supervisor leaves the masters running.
class MasterSupervisor : public QObject {
    Q_OBJECT
public:
    MasterSupervisor(MasterLauncher& launcher, SupervisionSettings settings, QObject* parent = nullptr);

    // Begins with `ports`; their masters count as just started.
    void supervise(const QList<int>& ports);
    // One look at every port (the timer calls it).
    void check();

Q_SIGNALS:
    void restarted(int port);

private:
    MasterLauncher& launcher_;
    SupervisionSettings settings_;
    QList<int> ports_;
    QHash<int, qint64> lastStartMs_;
    QElapsedTimer clock_;
    QTimer timer_;
};

} // namespace kelvaro::overview
