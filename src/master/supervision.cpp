#include "master/supervision.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUdpSocket>

namespace kelvaro::master {
namespace {

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManager = QStringLiteral("org.freedesktop.systemd1.Manager");

ServiceState stateOf(const QString& activeState)
{
    if (activeState == QLatin1String("active"))
        return ServiceState::Running;
    if (activeState == QLatin1String("inactive") || activeState == QLatin1String("failed"))
        return ServiceState::Stopped;
    if (activeState == QLatin1String("activating"))
        return ServiceState::Starting;
    if (activeState == QLatin1String("deactivating"))
        return ServiceState::Stopping;
    if (activeState == QLatin1String("reloading"))
        return ServiceState::Reloading;
    return ServiceState::Unknown;
}

} // namespace

ServiceState CheckService(const QString& name)
{
    const QString unit = name.contains('.') ? name : name + QStringLiteral(".service");
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return ServiceState::Unknown;
    QDBusInterface manager(kSystemd, kManagerPath, kManager, bus);
    const QDBusReply<QDBusObjectPath> path = manager.call(QStringLiteral("LoadUnit"), unit);
    if (!path.isValid())
        return ServiceState::Unknown;
    QDBusInterface props(kSystemd, path.value().path(), QStringLiteral("org.freedesktop.DBus.Properties"), bus);
    const QDBusReply<QDBusVariant> state =
        props.call(QStringLiteral("Get"), QStringLiteral("org.freedesktop.systemd1.Unit"), QStringLiteral("ActiveState"));
    if (!state.isValid())
        return ServiceState::Unknown;
    const ServiceState found = stateOf(state.value().variant().toString());
    if (found == ServiceState::Stopped)
        manager.call(QStringLiteral("StartUnit"), unit, QStringLiteral("replace"));
    return found;
}

QString ServiceStateText(ServiceState state)
{
    switch (state) {
    case ServiceState::Stopped: return QStringLiteral("Dienst war beendet");
    case ServiceState::Running: return QStringLiteral("Dienst ist gestartet");
    case ServiceState::Paused: return QStringLiteral("Dienst war angehalten");
    default: return QStringLiteral("Dienst Status = ") + QString::number(static_cast<int>(state));
    }
}

bool TibboReset(const QString& address, quint16 port)
{
    QUdpSocket socket;
    // An ephemeral local port: masters of several ports may reset at once.
    if (!socket.bind(QHostAddress::AnyIPv4, 0))
        return false;
    const QHostAddress host(address);
    if (host.isNull())
        return false;
    socket.writeDatagram("L", host, port);
    bool answered = false;
    const QDeadlineTimer deadline(500);
    while (!answered && !deadline.hasExpired()) {
        if (!socket.hasPendingDatagrams()) {
            QEventLoop loop;
            QTimer::singleShot(static_cast<int>(deadline.remainingTime()), &loop, &QEventLoop::quit);
            QObject::connect(&socket, &QUdpSocket::readyRead, &loop, &QEventLoop::quit);
            loop.exec();
        }
        while (socket.hasPendingDatagrams()) {
            QByteArray data(static_cast<qsizetype>(std::max<qint64>(0, socket.pendingDatagramSize())), '\0');
            socket.readDatagram(data.data(), data.size());
            if (data == "A")
                answered = true;
        }
    }
    socket.writeDatagram("E", host, port);
    socket.waitForBytesWritten(100);
    socket.close();
    return answered;
}

} // namespace kelvaro::master
