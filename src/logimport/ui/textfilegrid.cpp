#include "logimport/ui/textfilegrid.h"

#include "foundation/cp1252.h"
#include "foundation/filenumbers.h"
#include "foundation/gridmodel.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"

#include <QFile>
#include <QList>

namespace kelvaro::logimport {
namespace {

QStringList fieldCaptions(int count)
{
    QStringList captions;
    for (int k = 0; k < count; ++k)
        captions << QStringLiteral("Feld %1").arg(k);
    return captions;
}

} // namespace

TextFileGridResult FillFlexGrid_MBusLog(GridModel& grid, const QString& file, const QString& separator,
                                        bool skipFirstLine, int maxRows)
{
    TextFileGridResult result;
    grid.clearRows();
    grid.setHeaders({});
    FileSlot slot;
    QFile in(NativePath(file));
    if (!in.open(QIODevice::ReadOnly)) {
        SetLastErrorText(QStringLiteral("Datei %1: %2").arg(file, in.errorString()));
        return result;
    }
    const QString sep = separator.isEmpty() ? QStringLiteral(";") : separator;
    const bool keepTabs = sep == QStringLiteral("\t");
    QList<QStringList> rows;
    qsizetype columns = 0;
    bool first = true;
    while (!in.atEnd()) {
        QString line = FromWin1252(in.readLine());
        if (first && skipFirstLine) {
            first = false;
            continue;
        }
        first = false;
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line.remove(QLatin1Char('"'));
        if (!keepTabs)
            line.remove(QLatin1Char('\t'));
        if (line.trimmed().isEmpty())
            continue;
        if (rows.size() >= maxRows) {
            result.truncated = true;
            break;
        }
        QStringList fields = line.split(sep);
        if (fields.size() > 1 && fields.last().isEmpty())
            fields.removeLast();
        if (rows.isEmpty())
            columns = fields.size();
        columns = std::max(columns, fields.size());
        rows << fields;
    }
    if (in.error() != QFileDevice::NoError) {
        SetLastErrorText(QStringLiteral("Datei %1: %2").arg(file, in.errorString()));
        return result;
    }
    // Captions before rows, so that each row gets exactly its cells.
    grid.setHeaders(fieldCaptions(static_cast<int>(columns)));
    for (const QStringList& row : rows)
        grid.appendRow(row);
    result.ok = true;
    result.rows = static_cast<int>(rows.size());
    return result;
}

} // namespace kelvaro::logimport
