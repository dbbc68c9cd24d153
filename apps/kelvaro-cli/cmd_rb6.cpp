#include "command.h"

#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "storage/rb6file.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using namespace kelvaro;

// A time given as Unix seconds or as a German date ("dd.mm.yyyy[ hh:mm[:ss]]").
bool parseTime(const QString& text, qint64& seconds)
{
    bool isNumber = false;
    seconds = text.toLongLong(&isNumber);
    if (isNumber)
        return true;
    seconds = DateToSeconds(text);
    return seconds != 0;
}

QString dateText(qint64 seconds) { return GermanDateTime(SecondsToDate(seconds)); }

int info(const QString& file, bool json)
{
    RB6Header h;
    if (!RB6ReadHeader(file, h))
        return CliFail(CliDataFile, LastErrorText());
    const qint64 size = QFileInfo(NativePath(file)).size();
    const qint64 first = RB6FirstTime(file);
    const QString problem = RB6HeaderProblem(h, size);
    const auto lastIndex = static_cast<qint64>(h[1].Wert);
    const qint64 count = std::max<qint64>(0, lastIndex - kRB6FirstDataIndex + 1);
    const QJsonObject o{{"version", QJsonArray{h[0].Tm, h[0].Wert}},
                        {"lastTime", h[1].Tm},
                        {"lastIndex", lastIndex},
                        {"elements", count},
                        {"capacity", h[4].Tm},
                        {"creation", QJsonArray{h[2].Wert, h[3].Wert, h[4].Wert, h[5].Wert}},
                        {"fileSize", size},
                        {"damaged", problem}};
    if (!json) {
        CliOut(QStringLiteral("Datei          = ") + file);
        CliOut(QStringLiteral("Version        = %1 / %2").arg(h[0].Tm).arg(GermanNumber(h[0].Wert)));
        CliOut(QStringLiteral("Letzte Zeit    = %1  (%2)").arg(h[1].Tm).arg(dateText(h[1].Tm)));
        CliOut(QStringLiteral("Letzter Index  = %1  (%2 Werte)").arg(lastIndex).arg(count));
        if (count > 0)
            CliOut(QStringLiteral("Erste Zeit     = %1  (%2)").arg(first).arg(dateText(first)));
        CliOut(QStringLiteral("Kapazität      = %1 Elemente").arg(h[4].Tm));
        CliOut(QStringLiteral("Erzeugung      = %1; %2; %3; %4")
                   .arg(GermanNumber(h[2].Wert), GermanNumber(h[3].Wert), GermanNumber(h[4].Wert),
                        GermanNumber(h[5].Wert)));
        CliOut(QStringLiteral("Dateigröße     = %1 Bytes").arg(size));
        if (!problem.isEmpty())
            CliOut(QStringLiteral("Beschädigt     = ") + problem);
    }
    if (!problem.isEmpty())
        return CliFail(CliDataFile, QStringLiteral("beschädigt: ") + problem, o);
    if (json)
        CliOutJson(o);
    return CliOk;
}

int dump(const QString& file, const QStringList& options, bool json)
{
    qint64 from = LLONG_MIN, to = LLONG_MAX;
    for (qsizetype k = 0; k < options.size(); ++k) {
        const QString& o = options[k];
        qint64* target = o == QLatin1String("--from") ? &from : o == QLatin1String("--to") ? &to : nullptr;
        if (!target || k + 1 >= options.size() || !parseTime(options[k + 1], *target))
            return CliFail(CliUsage, QStringLiteral("rb6 dump FILE [--from T] [--to T]   (T: Unix seconds or "
                                                    "\"dd.mm.yyyy hh:mm:ss\")"));
        ++k;
    }
    QList<RB6IndexedElement> elements;
    if (!RB6ReadElements(file, elements, from, to))
        return CliFail(CliDataFile, LastErrorText());
    if (json) {
        QJsonArray rows;
        for (const RB6IndexedElement& e : elements)
            rows << QJsonObject{{"index", e.index}, {"time", e.element.Tm}, {"value", e.element.Wert}};
        CliOutJson(QJsonObject{{"elements", rows}});
        return CliOk;
    }
    for (const RB6IndexedElement& e : elements)
        CliOut(QStringLiteral("%1;%2;%3;%4")
                   .arg(e.index)
                   .arg(e.element.Tm)
                   .arg(dateText(e.element.Tm), GermanNumber(e.element.Wert)));
    return CliOk;
}

int rb6(const QStringList& args)
{
    const bool json = CliJsonOutput();
    if (args.size() == 2 && args[0] == QLatin1String("info"))
        return info(args[1], json);
    if (args.size() >= 2 && args[0] == QLatin1String("dump"))
        return dump(args[1], args.mid(2), json);
    return CliFail(CliUsage, QStringLiteral("rb6 info FILE [--json] | rb6 dump FILE [--from T] [--to T] [--json]"));
}

const CliRegistration reg("rb6",
                          "rb6 info FILE [--json] | rb6 dump FILE [--from T] [--to T] [--json]   read an RB6 data file",
                          "info: the header of an RB6 time-series file (version, last time and index, capacity,\n"
                          "creation values, size) and whether it is damaged (exit code 5, the header still printed).\n"
                          "dump: every element as \"index;Unix seconds;date;value\" (JSON: index, time, value),\n"
                          "from/to a time given as Unix seconds or \"dd.mm.yyyy[ hh:mm[:ss]]\".\n",
                          {CliOk, CliUsage, CliDataFile}, rb6);

} // namespace
