#include "mscons/edifactsegments.h"

namespace kelvaro::mscons {

QString EdifactSyntax::serviceStringAdvice() const
{
    return QStringLiteral("UNA") + component + element + decimalMark + release + QLatin1Char(' ') + terminator;
}

QString EdifactSyntax::released(const QString& value) const
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == component || c == element || c == release || c == terminator)
            out += release;
        out += c;
    }
    return out;
}

QString WriteSegments(const EdifactSyntax& syntax, const QList<EdifactSegment>& segments)
{
    QString out;
    for (const EdifactSegment& segment : segments) {
        out += segment.tag;
        for (const QStringList& element : segment.elements) {
            out += syntax.element;
            for (qsizetype k = 0; k < element.size(); ++k) {
                if (k > 0)
                    out += syntax.component;
                out += syntax.released(element[k]);
            }
        }
        out += syntax.terminator;
    }
    return out;
}

} // namespace kelvaro::mscons
