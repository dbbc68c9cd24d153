#include "mscons/msconsinterchange.h"

#include "mscons/edifactsegments.h"

#include "foundation/timeutil.h"

#include <charconv>
#include <cmath>

namespace kelvaro::mscons {

QString ValueText(double value, QChar decimalMark)
{
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    text.replace(QLatin1Char('.'), decimalMark);
    return text;
}

QString UtcTimeText(qint64 localSeconds, const QTimeZone& zone)
{
    const QDateTime wall = SecondsToDate(localSeconds);
    return QDateTime(wall.date(), wall.time(), zone).toUTC().toString(QStringLiteral("yyyyMMddHHmm"));
}

namespace {

// DTM with format 303 (CCYYMMDDHHMMZZZ): the UTC time and its offset "+00".
EdifactSegment dateSegment(const QString& qualifier, const QString& utcTime)
{
    return {QStringLiteral("DTM"), {{qualifier, utcTime + QStringLiteral("+00"), QStringLiteral("303")}}};
}

QString readingTime(const QString& qualifier, const DayReading& r, const QTimeZone& zone)
{
    if (qualifier == QLatin1String("163"))
        return UtcTimeText(DateToSeconds(QDateTime(r.day, QTime(0, 0), Qt::UTC)), zone);
    if (qualifier == QLatin1String("164"))
        return UtcTimeText(DateToSeconds(QDateTime(r.day.addDays(1), QTime(0, 0), Qt::UTC)), zone);
    return UtcTimeText(r.time, zone);
}

} // namespace

QByteArray BuildMsconsInterchange(const MsconsSettings& s, const MsconsDocument& d)
{
    EdifactSyntax syntax;
    syntax.decimalMark = s.decimalMark;
    const QString created = d.created.toUTC().toString(QStringLiteral("yyyyMMddHHmm"));

    QList<EdifactSegment> message{
        {QStringLiteral("UNH"),
         {{d.reference},
          {QStringLiteral("MSCONS"), QStringLiteral("D"), QStringLiteral("04B"), QStringLiteral("UN"),
           s.associationVersion}}},
        {QStringLiteral("BGM"), {{s.documentCode}, {d.reference}, {QStringLiteral("9")}}},
        dateSegment(s.messageDateQualifier, created),
        {QStringLiteral("RFF"), {{QStringLiteral("Z13"), s.checkIdentifier}}},
        {QStringLiteral("NAD"), {{QStringLiteral("MS")}, {s.sender, QString(), s.senderAgency}}},
        {QStringLiteral("NAD"), {{QStringLiteral("MR")}, {d.receiver, QString(), s.receiverAgency}}},
        {QStringLiteral("UNS"), {{QStringLiteral("D")}}},
    };
    int line = 0;
    for (const MsconsLocation& location : d.locations) {
        message.append({QStringLiteral("NAD"), {{QStringLiteral("DP")}}});
        message.append({QStringLiteral("LOC"), {{QStringLiteral("172")}, {location.location}}});
        for (const MsconsRegister& reg : location.registers) {
            message.append({QStringLiteral("LIN"), {{QString::number(++line)}}});
            message.append({QStringLiteral("PIA"), {{QStringLiteral("5")}, {reg.obisCode, QStringLiteral("SRW")}}});
            for (const DayReading& r : reg.readings) {
                message.append({QStringLiteral("QTY"), {{QStringLiteral("220"), ValueText(r.value, s.decimalMark)}}});
                for (const QString& qualifier : s.readingDateQualifiers)
                    message.append(dateSegment(qualifier, readingTime(qualifier, r, s.timeZone)));
            }
        }
    }
    message.append({QStringLiteral("UNT"), {{QString::number(message.size() + 1)}, {d.reference}}});

    EdifactSegment unb{QStringLiteral("UNB"),
                       {{QStringLiteral("UNOC"), QStringLiteral("3")},
                        {s.sender, s.senderCode},
                        {d.receiver, s.receiverCode},
                        {created.mid(2, 6), created.mid(8, 4)},
                        {d.reference}}};
    if (!s.applicationReference.isEmpty())
        unb.elements << QStringList{QString()} << QStringList{s.applicationReference};
    QList<EdifactSegment> all{unb};
    all += message;
    all.append({QStringLiteral("UNZ"), {{QStringLiteral("1")}, {d.reference}}});

    const QString text = syntax.serviceStringAdvice() + WriteSegments(syntax, all);
    if (!FitsUnoc(text))
        return {};
    return text.toLatin1();
}

} // namespace kelvaro::mscons
