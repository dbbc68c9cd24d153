#include "master/supervision.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"

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

int stateNumber(const QString& activeState)
{
    if (activeState == QLatin1String("active"))
        return 4;
    if (activeState == QLatin1String("inactive") || activeState == QLatin1String("failed"))
        return 1;
    if (activeState == QLatin1String("activating"))
        return 2;
    if (activeState == QLatin1String("deactivating"))
        return 3;
    if (activeState == QLatin1String("reloading"))
        return 5;
    return -1;
}

} // namespace

QString OrmundServiceName()
{
    const QString configured = ReadIniString(QStringLiteral("OVX"), QStringLiteral("OrmundService"), kOvxIni);
    return configured.isEmpty() ? QStringLiteral("ormund.service") : configured;
}

int CheckService(const QString& name)
{
    const QString unit = name.contains('.') ? name : name + QStringLiteral(".service");
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return -1;
    QDBusInterface manager(kSystemd, kManagerPath, kManager, bus);
    const QDBusReply<QDBusObjectPath> path = manager.call(QStringLiteral("LoadUnit"), unit);
    if (!path.isValid())
        return -1;
    QDBusInterface props(kSystemd, path.value().path(), QStringLiteral("org.freedesktop.DBus.Properties"), bus);
    const QDBusReply<QDBusVariant> state =
        props.call(QStringLiteral("Get"), QStringLiteral("org.freedesktop.systemd1.Unit"), QStringLiteral("ActiveState"));
    if (!state.isValid())
        return -1;
    const int number = stateNumber(state.value().variant().toString());
    if (number == 1)
        manager.call(QStringLiteral("StartUnit"), unit, QStringLiteral("replace"));
    return number;
}

QString ServiceStateText(int state)
{
    switch (state) {
    case 1: return QStringLiteral("Dienst war beendet");
    case 4: return QStringLiteral("Dienst ist gestartet");
    case 7: return QStringLiteral("Dienst war angehalten");
    default: return QStringLiteral("Dienst Status = ") + QString::number(state);
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
