#pragma once
#include <QString>

namespace kelvaro::master {

// The state of a service; the numbers are those of its state texts.
enum class ServiceState {
    Unknown = -1, // the service manager cannot be asked
    Stopped = 1,  // found stopped (inactive or failed): it is being started
    Starting = 2,
    Stopping = 3,
    Running = 4,
    Reloading = 5,
    Paused = 7,
};

// The state of the installation's service through systemd on the system bus;
// a stopped service is started. A name without a suffix gets ".service".
ServiceState CheckService(const QString& name);
// "Dienst war beendet", "Dienst ist gestartet", "Dienst war angehalten",
// "Dienst Status = <n>".
QString ServiceStateText(ServiceState state);

// Device-server reset over UDP: sends "L", waits up to 0.5 s for "A", and
// always sends "E". True when "A" came back.
bool TibboReset(const QString& address, quint16 port);

} // namespace kelvaro::master
