#pragma once
#include <QString>

namespace kelvaro::master {

// The state of the installation's service through systemd on the system bus,
// in the numbers the station has always used: 1 stopped (inactive or failed;
// the service is started), 4 running, 2 starting, 3 stopping, 5 reloading,
// -1 when systemd cannot be asked. A name without a suffix gets ".service".
int CheckService(const QString& name);
// "Dienst war beendet", "Dienst ist gestartet", "Dienst war angehalten",
// "Dienst Status = <n>".
QString ServiceStateText(int state);
// The unit of the installation's service: [OVX] "OrmundService" in OVX.INI,
// default "ormund.service".
QString OrmundServiceName();

// Device-server reset over UDP: sends "L", waits up to 0.5 s for "A", and
// always sends "E". True when "A" came back.
bool TibboReset(const QString& address, quint16 port);

} // namespace kelvaro::master
