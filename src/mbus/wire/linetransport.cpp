#include "mbus/wire/linetransport.h"

#include "mbus/wire/serialtransport.h"
#include "mbus/wire/tcptransport.h"

#include <QUrl>

#include <algorithm>

namespace kelvaro::mbus {
namespace {

// Control characters (a NUL from a damaged INI file, say) make no device name;
// the serial port's lock-file handling must never see them.
bool hasControlCharacters(const QString& device)
{
    return std::any_of(device.cbegin(), device.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

QString printable(const QString& device)
{
    QString out;
    for (const QChar c : device)
        out += c.unicode() < 0x20 || c.unicode() == 0x7F ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar('0'))
                                                         : QString(c);
    return out;
}

bool hasScheme(const QString& device, QLatin1String scheme)
{
    return device.startsWith(scheme, Qt::CaseInsensitive);
}

} // namespace

void LineTransport::markLineLost(const QString& reason)
{
    if (lost_)
        return;
    lost_ = true;
    lostText_ = reason;
    error_ = reason;
    emit lineLost(reason);
}

bool IsTcpDevice(const QString& device) { return hasScheme(device, QLatin1String("tcp://")); }
bool IsRfc2217Device(const QString& device) { return hasScheme(device, QLatin1String("rfc2217://")); }

std::unique_ptr<LineTransport> CreateLineTransport(const QString& device, QString* error)
{
    if (device.trimmed().isEmpty() || hasControlCharacters(device)) {
        *error = QStringLiteral("Ungültiger Gerätename: \"%1\"").arg(printable(device));
        return nullptr;
    }
    if (!IsNetworkDevice(device))
        return std::make_unique<SerialTransport>(device);
    const QUrl url(device);
    if (url.host().isEmpty() || url.port() <= 0) {
        *error = QStringLiteral("Ungültige Geräteadresse: ") + device;
        return nullptr;
    }
    const auto port = static_cast<quint16>(url.port());
    if (IsRfc2217Device(device))
        return std::make_unique<Rfc2217Transport>(url.host(), port);
    return std::make_unique<TcpTransport>(url.host(), port);
}

} // namespace kelvaro::mbus
