#include "master/logview.h"

#include "foundation/timeutil.h"

namespace kelvaro::master {

LogView::LogView(QObject* parent)
    : QObject(parent)
    , clock_(&LocalNow)
{
    grid.setHeaders({QStringLiteral("Datetime"), QStringLiteral("Text")});
}

void LogView::add(const QString& text)
{
    const QString stamp = GermanDateTime(clock_());
    grid.insertRow(0, {stamp, text});
    emit line(stamp + '\t' + text);
}

void LogView::trim()
{
    if (grid.rowCount() > 800)
        grid.removeRowsFrom(500);
}

bool LogView::contains(const QString& text) const
{
    for (int r = 0; r < grid.rowCount(); ++r)
        if (grid.cell(r, 1) == text)
            return true;
    return false;
}

} // namespace kelvaro::master
