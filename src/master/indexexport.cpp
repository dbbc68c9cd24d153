#include "master/indexexport.h"

#include "data/dbconnection.h"
#include "foundation/filenumbers.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"

#include <QFileInfo>
#include <QSet>

namespace kelvaro::master {
namespace {

// A text of the meter list or the index list may hold tabs or line breaks:
// they would split the field or the line.
QString oneField(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return text.trimmed();
}

QString previousKey(qint32 lznr, int index) { return QStringLiteral("%1;%2").arg(lznr).arg(index); }

bool appendLine(const QString& file, const QString& line)
{
    const QString directory = DirectoryOf(file);
    if (!directory.isEmpty() && !EnsureDirectory(directory)) {
        SetLastErrorText(QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(directory));
        return false;
    }
    if (AppendTextLine(file, line))
        return true;
    SetLastErrorText(QStringLiteral("%1 kann nicht geschrieben werden").arg(file));
    return false;
}

} // namespace

QString IndexExportFileName(const QString& target, const QDateTime& time)
{
    const bool directory = target.endsWith(QLatin1Char('\\')) || target.endsWith(QLatin1Char('/'))
        || QFileInfo(NativePath(target)).isDir();
    if (!directory)
        return target;
    QString dir = target;
    if (!dir.endsWith(QLatin1Char('\\')) && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('\\');
    return dir + time.toString(QStringLiteral("yyMMdd")) + QStringLiteral("mb.txt");
}

bool LoadExportedIndexes(SqlConnection& c, const QList<qint32>& lznrs, QList<ExportedIndex>& out, QString& error)
{
    out.clear();
    const QSet<qint32> wanted(lznrs.begin(), lznrs.end());
    QSqlQuery q;
    if (!c.query(q, QStringLiteral("SELECT MBusIndexListe.lznr, MBusIndexListe.MBIndex, MBusIndexListe.text "
                                   "FROM MBusIndexListe ORDER BY MBusIndexListe.lznr, MBusIndexListe.MBIndex"))) {
        error = LastErrorText();
        return false;
    }
    while (q.next()) {
        const qint32 lznr = q.value(0).toInt();
        if (wanted.contains(lznr) && !q.value(1).isNull())
            out.append({lznr, q.value(1).toInt(), q.value(2).toString()});
    }
    return true;
}

IndexExport::IndexExport() : writer_(&appendLine) {}

IndexExport::Line IndexExport::lineOf(const IndexExportSettings& settings, const ExportedIndex& index,
                                      const MeterRecord* meter, const QDateTime& cycleTime)
{
    const bool read = meter && meter->lastRead == LastRead::Ok && index.mbIndex >= 1
        && index.mbIndex <= meter->ValueCount;
    QStringList fields;
    QDateTime time = cycleTime;
    QString value = kExportReadFailed;
    QString unit;
    if (read) {
        const mbus::ValueEntry& entry = meter->ValueTable[static_cast<std::size_t>(index.mbIndex)];
        if (entry.readingTime > 0)
            time = SecondsToDate(entry.readingTime);
        value = GermanNumber(entry.value);
        unit = entry.unitText.trimmed();
    }
    fields << time.toString(QStringLiteral("dd.MM.yy hh:mm:ss")) << QString::number(index.lznr)
           << oneField(meter ? meter->Zname : QString()) << QString::number(index.mbIndex) << oneField(index.text)
           << value << oneField(unit);
    const QString key = previousKey(index.lznr, index.mbIndex);
    if (settings.previousValue) {
        const auto before = previous_.constFind(key);
        fields << (before == previous_.constEnd() ? QString() : GermanNumber(*before));
    }
    if (read)
        previous_.insert(key, meter->ValueTable[static_cast<std::size_t>(index.mbIndex)].value);
    return {time, fields.join(QLatin1Char('\t'))};
}

int IndexExport::exportCycle(const IndexExportSettings& settings, const QList<ExportedIndex>& indexes,
                             const QList<const MeterRecord*>& meters, const QDateTime& cycleTime, QStringList* failures)
{
    if (!settings.on)
        return 0;
    QHash<qint32, const MeterRecord*> byLznr;
    for (const MeterRecord* m : meters)
        if (m && m->LZNR > 0 && !byLznr.contains(m->LZNR))
            byLznr.insert(m->LZNR, m);
    int failed = 0;
    for (const ExportedIndex& index : indexes) {
        const auto meter = byLznr.constFind(index.lznr);
        if (meter == byLznr.constEnd())
            continue; // a meter of another port
        const Line line = lineOf(settings, index, *meter, cycleTime);
        const QString file = IndexExportFileName(settings.target, line.time);
        if (!writer_(file, line.text)) {
            ++failed;
            if (failures)
                failures->append(LastErrorText());
        }
    }
    return failed;
}

} // namespace kelvaro::master
