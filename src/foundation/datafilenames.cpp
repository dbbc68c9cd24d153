#include "foundation/datafilenames.h"

#include "foundation/clientpaths.h"
#include "foundation/textutil.h"

#include <cmath>

namespace kelvaro {

QString RB6FileName(const QString& directory, qint64 channel, int slot)
{
    const qint64 client = static_cast<qint64>(std::llround(Val(Mandant)));
    return directory + QStringLiteral("Z") + QString::number(client) + QStringLiteral("\\")
        + QStringLiteral("%1").arg(channel, 6, 10, QLatin1Char('0')) + QStringLiteral("%1").arg(slot, 3, 10, QLatin1Char('0'))
        + QStringLiteral(".ovx");
}

QString QuarterHourFileName(const QString& directory, qint64 channel, int slot)
{
    const QString base = directory + QStringLiteral("%1").arg(channel, 8, 10, QLatin1Char('0'));
    if (slot == -1)
        return base + QStringLiteral(".15p");
    return base + QStringLiteral(".") + QStringLiteral("%1").arg(slot, 3, 10, QLatin1Char('0'));
}

QString StationFileName(const QString& datenPath, int station, qint64 input, bool quarterHour)
{
    QString name = datenPath;
    if (!name.endsWith('\\'))
        name += '\\';
    name += QStringLiteral("z") + QStringLiteral("%1").arg(station, 2, 10, QLatin1Char('0')) + QStringLiteral("a");
    if (quarterHour)
        return name + QStringLiteral("015p.dat");
    return name + QStringLiteral("%1").arg(input, 4, 10, QLatin1Char('0')) + QStringLiteral(".dat");
}

QString DataFileName(const QString& directory, qint64 channel, int slot, int station, int rb6Slot)
{
    if (station == -1)
        return QuarterHourFileName(directory, channel, slot);
    if (station == -2)
        return RB6FileName(directory, channel, rb6Slot);
    return {};
}

} // namespace kelvaro
