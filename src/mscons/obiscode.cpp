#include "mscons/obiscode.h"

#include <QRegularExpression>

namespace kelvaro::mscons {

QString ObisCodeOfText(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d{1,3})-(\d{1,3}):(\d{1,3}|[CFLP])\.(\d{1,3})\.(\d{1,3})(?:\*(\d{1,3}))?(?:\s|$))"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch())
        return {};
    for (int group : {1, 2, 3, 4, 5, 6}) {
        const QString part = m.captured(group);
        bool isNumber = false;
        const int value = part.toInt(&isNumber);
        if (isNumber && value > 255)
            return {};
    }
    return m.captured(0).trimmed();
}

} // namespace kelvaro::mscons
