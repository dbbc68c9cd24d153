#pragma once
#include <QDateTime>
#include <QString>

namespace kelvaro {

// Times are kept as "Unix seconds": the local calendar and clock counted from
// 01.01.1970 00:00:00 with no time-zone or daylight-saving correction. A
// QDateTime produced here carries that wall-clock reading marked as UTC, so
// no conversion ever shifts it; only date() and time() are read.

// The local wall clock now, as such a value.
QDateTime LocalNow();

qint64 DateToSeconds(const QDateTime& date);
// Parses a German date text ("dd.mm.yyyy" with optional " hh:mm[:ss]");
// anything that is not a date gives 0.
qint64 DateToSeconds(const QString& text);
QDateTime SecondsToDate(qint64 seconds);

// "So", "Mo", ... "Sa".
QString WeekdayName(const QDateTime& date);
// "Mo  07.12.2026  13:45:10".
QString SecondsToText(qint64 seconds);

// "dd.mm.yyyy hh:mm:ss" (German text of a date and time).
QString GermanDateTime(const QDateTime& date);

} // namespace kelvaro
