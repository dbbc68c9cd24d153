#pragma once
#include <QList>
#include <QString>
#include <QStringList>

namespace kelvaro::mscons {

// Service characters of the interchange, as its UNA names them.
struct EdifactSyntax {
    QChar component = QLatin1Char(':');
    QChar element = QLatin1Char('+');
    QChar decimalMark = QLatin1Char('.');
    QChar release = QLatin1Char('?');
    QChar terminator = QLatin1Char('\'');

    // "UNA:+.? '"
    QString serviceStringAdvice() const;
    // `value` with every service character preceded by the release character.
    QString released(const QString& value) const;
};

// One segment: its tag and its elements, each a list of components (plain
// values; the release characters are added when the segment is written).
struct EdifactSegment {
    QString tag;
    QList<QStringList> elements;
};

// The segments written one after another without line ends.
QString WriteSegments(const EdifactSyntax& syntax, const QList<EdifactSegment>& segments);

} // namespace kelvaro::mscons
