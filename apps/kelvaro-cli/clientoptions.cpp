#include "clientoptions.h"

QString FirstNonClientOption(const QStringList& args)
{
    for (const QString& arg : args)
        if (!arg.startsWith(QLatin1String("-M")) || arg.size() == 2)
            return arg;
    return {};
}
