#include "foundation/timeutil.h"

#include <QRegularExpression>

namespace kelvaro {
namespace {
constexpr qint64 kSecondsPerDay = 86400;
const qint64 kEpochJulianDay = QDate(1970, 1, 1).toJulianDay();
} // namespace

QDateTime LocalNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return QDateTime(now.date(), now.time(), Qt::UTC);
}

qint64 DateToSeconds(const QDateTime& date)
{
    if (!date.isValid())
        return 0;
    return (date.date().toJulianDay() - kEpochJulianDay) * kSecondsPerDay
        + date.time().msecsSinceStartOfDay() / 1000;
}

qint64 DateToSeconds(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*(\d{1,2})\.(\d{1,2})\.(\d{2}|\d{4})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return 0;
    int year = m.captured(3).toInt();
    if (m.captured(3).size() == 2)
        year += year < 30 ? 2000 : 1900; // the two-digit window of the installation's tools
    const QDate date(year, m.captured(2).toInt(), m.captured(1).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return 0;
    return DateToSeconds(QDateTime(date, time, Qt::UTC));
}

QDateTime SecondsToDate(qint64 seconds)
{
    qint64 days = seconds / kSecondsPerDay;
    qint64 rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    return QDateTime(QDate::fromJulianDay(kEpochJulianDay + days),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(rest * 1000)), Qt::UTC);
}

QString WeekdayName(const QDateTime& date)
{
    static const char* const names[] = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    return QString::fromLatin1(names[date.date().dayOfWeek() % 7]);
}

QString SecondsToText(qint64 seconds)
{
    const QDateTime date = SecondsToDate(seconds);
    return WeekdayName(date) + date.toString(QStringLiteral("  dd.MM.yyyy  hh:mm:ss"));
}

QString GermanDateTime(const QDateTime& date)
{
    return date.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

} // namespace kelvaro
