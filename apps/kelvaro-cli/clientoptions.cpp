#include "clientoptions.h"

QString FirstNonClientOption(const QStringList& args)
{
    for (const QString& arg : args)
        if (!arg.startsWith(QLatin1String("-M")) || arg.size() == 2)
            return arg;
    return {};
}

bool ReadDayOption(const QString& value, QDate& day, QString& error)
{
    day = QDate::fromString(value, QStringLiteral("d.M.yyyy"));
    if (!day.isValid())
        error = QStringLiteral("not a date (dd.mm.yyyy): ") + value;
    return day.isValid();
}
