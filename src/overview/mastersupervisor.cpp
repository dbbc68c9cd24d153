#include "overview/mastersupervisor.h"

#include "foundation/programlog.h"
#include "overview/masterlauncher.h"

namespace kelvaro::overview {

MasterSupervisor::MasterSupervisor(MasterLauncher& launcher, SupervisionSettings settings, QObject* parent)
    : QObject(parent), launcher_(launcher), settings_(settings)
{
    clock_.start();
    timer_.setInterval(settings_.checkIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &MasterSupervisor::check);
}

void MasterSupervisor::supervise(const QList<int>& ports)
{
    ports_.clear();
    for (const int port : ports)
        if (port != 0 && !ports_.contains(port)) {
            ports_ << port;
            lastStartMs_.insert(port, clock_.elapsed());
        }
    timer_.start();
}

void MasterSupervisor::check()
{
    for (const int port : std::as_const(ports_)) {
        if (launcher_.isRunning(port))
            continue;
        const qint64 now = clock_.elapsed();
        if (now - lastStartMs_.value(port) < settings_.restartIntervalMs)
            continue;
        lastStartMs_.insert(port, now);
        WriteProgramLog(QStringLiteral("Kelvaro Com%1 läuft nicht mehr, Neustart: %2").arg(port).arg(launcher_.commandLine(port)));
        if (launcher_.restart(port) == MasterLauncher::Result::Started)
            Q_EMIT restarted(port);
    }
}

} // namespace kelvaro::overview
