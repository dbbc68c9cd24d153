#include "mscons/dayendreadings.h"

#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/timeutil.h"
#include "storage/rb6file.h"

#include <QFileInfo>

namespace kelvaro::mscons {

qint64 StartOfDaySeconds(QDate day) { return DateToSeconds(QDateTime(day, QTime(0, 0), Qt::UTC)); }

bool ReadDayEndReadings(const QString& rb6File, QDate from, QDate to, QList<DayReading>& out, bool& missing,
                        QString& error)
{
    out.clear();
    missing = !QFileInfo::exists(NativePath(rb6File));
    if (missing)
        return true;
    QList<RB6IndexedElement> elements;
    if (!RB6ReadElements(rb6File, elements, StartOfDaySeconds(from) + 1, StartOfDaySeconds(to.addDays(1)))) {
        error = LastErrorText();
        return false;
    }
    for (const RB6IndexedElement& e : elements) {
        // An element at midnight is the reading at the end of the day before.
        const QDate day = SecondsToDate(qint64(e.element.Tm) - 1).date();
        const DayReading reading{day, e.element.Tm, e.element.Wert};
        if (!out.isEmpty() && out.last().day == day)
            out.last() = reading; // elements come in order of time
        else
            out.append(reading);
    }
    return true;
}

} // namespace kelvaro::mscons
