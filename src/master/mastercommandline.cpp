#include "master/mastercommandline.h"

#include "foundation/textutil.h"

namespace kelvaro::master {
namespace {

// The text after the option up to the next blank, or empty when the option is missing.
QString optionValue(const QString& text, const QString& option, Qt::CaseSensitivity cs, bool* found)
{
    const int at = text.indexOf(option, 0, cs);
    *found = at >= 0;
    if (at < 0)
        return {};
    const QString padded = text + ' ';
    const int blank = padded.indexOf(' ', at);
    return padded.mid(at + option.size(), blank - at - option.size());
}

} // namespace

MasterCommandLine ParseMasterCommandLine(const QString& text)
{
    MasterCommandLine c;
    c.text = text;
    bool found = false;
    const QString port = optionValue(text, QStringLiteral("-C"), Qt::CaseInsensitive, &found);
    if (found)
        c.port = static_cast<int>(Val(port));
    const QString pause = optionValue(text, QStringLiteral("-T"), Qt::CaseSensitive, &found);
    if (found)
        c.meterPause = Val(pause) / 1000.0;
    c.autoStart = text.contains(QLatin1String("Auto"));
    c.testMeters = text.contains(QLatin1String("testzaehler"), Qt::CaseInsensitive);
    return c;
}

} // namespace kelvaro::master
