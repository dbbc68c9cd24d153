#pragma once
#include "mscons/msconsinterchange.h"

#include <QDate>
#include <QList>
#include <QString>

namespace kelvaro::mscons {

// Local wall-clock Unix seconds of a day's 00:00.
qint64 StartOfDaySeconds(QDate day);

// The reading at the end of each day from `from` to `to`: the last element of
// the RB6 file after the day's start and at or before the next midnight. A
// day without such an element is left out. A missing file gives no reading
// (true, `missing` set); a file that cannot be read or is damaged gives false
// with the reason in `error`.
bool ReadDayEndReadings(const QString& rb6File, QDate from, QDate to, QList<DayReading>& out, bool& missing,
                        QString& error);

} // namespace kelvaro::mscons
