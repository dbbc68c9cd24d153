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
    if (!RB6ReadHeader(file, h)) {
        CliErr(LastErrorText());
        return 1;
    }
    const qint64 size = QFileInfo(NativePath(file)).size();
    const qint64 first = RB6FirstTime(file);
    const QString problem = RB6HeaderProblem(h, size);
    const auto lastIndex = static_cast<qint64>(h[1].Wert);
    const qint64 count = std::max<qint64>(0, lastIndex - kRB6FirstDataIndex + 1);
    if (json) {
        const QJsonObject o{{"version", QJsonArray{h[0].Tm, h[0].Wert}},
                            {"lastTime", h[1].Tm},
                            {"lastIndex", lastIndex},
                            {"elements", count},
                            {"capacity", h[4].Tm},
                            {"creation", QJsonArray{h[2].Wert, h[3].Wert, h[4].Wert, h[5].Wert}},
                            {"fileSize", size},
                            {"damaged", problem}};
        CliOut(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    } else {
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
    return problem.isEmpty() ? 0 : 1;
}

int dump(const QString& file, const QStringList& options)
{
    qint64 from = LLONG_MIN, to = LLONG_MAX;
    for (qsizetype k = 0; k < options.size(); ++k) {
        const QString& o = options[k];
        qint64* target = o == QLatin1String("--from") ? &from : o == QLatin1String("--to") ? &to : nullptr;
        if (!target || k + 1 >= options.size() || !parseTime(options[k + 1], *target)) {
            CliErr(QStringLiteral("rb6 dump FILE [--from T] [--to T]   (T: Unix seconds or \"dd.mm.yyyy hh:mm:ss\")"));
            return 2;
        }
        ++k;
    }
    QList<RB6IndexedElement> elements;
    if (!RB6ReadElements(file, elements, from, to)) {
        CliErr(LastErrorText());
        return 1;
    }
    for (const RB6IndexedElement& e : elements)
        CliOut(QStringLiteral("%1;%2;%3;%4")
                   .arg(e.index)
                   .arg(e.element.Tm)
                   .arg(dateText(e.element.Tm), GermanNumber(e.element.Wert)));
    return 0;
}

int rb6(const QStringList& args)
{
    QStringList rest = args;
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    if (rest.size() >= 2 && rest[0] == QLatin1String("info"))
        return info(rest[1], json);
    if (rest.size() >= 2 && rest[0] == QLatin1String("dump"))
        return dump(rest[1], rest.mid(2));
    CliErr(QStringLiteral("usage: rb6 info FILE [--json] | rb6 dump FILE [--from T] [--to T]"));
    return 2;
}

const CliRegistration reg("rb6", "rb6 info FILE [--json] | rb6 dump FILE [--from T] [--to T]   read an RB6 data file", rb6);

} // namespace
