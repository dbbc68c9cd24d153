#include "testbench/foundmeterlist.h"

#include "foundation/cp1252.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/safefile.h"
#include "testbench/primarysearch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kelvaro::testbench {
namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr int kMaxSavesPerMinute = 999;

QString cell(const QStringList& row, int i) { return row.value(i); }

QString quoted(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')))
        return text;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString line(const QStringList& cells)
{
    QStringList out;
    for (const QString& c : cells)
        out << quoted(c);
    return out.join(QLatin1Char(';')) + kCrLf;
}

// Splits one line at ";" outside double quotes.
QStringList splitCells(const QString& text)
{
    QStringList cells;
    QString current;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    current += c;
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"') && current.isEmpty()) {
            inQuotes = true;
        } else if (c == QLatin1Char(';')) {
            cells << current;
            current.clear();
        } else {
            current += c;
        }
    }
    cells << current;
    return cells;
}

QString firstBaud(const QString& baudCell) { return baudCell.section(QLatin1Char(';'), 0, 0).trimmed(); }

QByteArray testComBytes(const QList<QStringList>& rows)
{
    QString text = line(FoundMeterHeaders());
    for (const QStringList& row : rows) {
        if (!IsMeterRow(row))
            continue;
        QStringList cells;
        for (int i = 0; i < kFoundMeterCells; ++i)
            cells << cell(row, i);
        text += line(cells);
    }
    return ToWin1252(text);
}

QByteArray meterListBytes(const QList<QStringList>& rows)
{
    QString text = line({QStringLiteral("MBAdr"), QStringLiteral("ZNr"), QStringLiteral("ZName"),
                         QStringLiteral("Hersteller"), QStringLiteral("MB_Version"), QStringLiteral("MB_Medium"),
                         QStringLiteral("MBBaud")});
    for (const QStringList& row : rows) {
        if (!IsMeterRow(row))
            continue;
        const QString id = cell(row, 1).trimmed();
        text += line({cell(row, 0).trimmed(), id, id + QLatin1Char('_') + cell(row, 2).trimmed(), cell(row, 2),
                      cell(row, 3), cell(row, 4), firstBaud(cell(row, 6))});
    }
    return ToWin1252(text);
}

ListSaveResult failed(ListSaveResult result, const QString& reason)
{
    result.ok = false;
    result.message = reason;
    SetLastErrorText(reason);
    return result;
}

} // namespace

const QStringList& FoundMeterHeaders()
{
    return PrimarySearch::foundHeaders();
}

bool IsMeterRow(const QStringList& row)
{
    for (qsizetype i = 1; i < row.size(); ++i)
        if (!row[i].trimmed().isEmpty())
            return true;
    return false;
}

ListSaveResult SaveFoundMeterList(const QList<QStringList>& rows, const QString& directory, const QDateTime& now)
{
    ListSaveResult result;
    const QString stamp = now.toString(QStringLiteral("yyMMddhhmm"));
    const QString dir = NativePath(directory.isEmpty() ? QStringLiteral(".") : directory);
    if (!EnsureDirectory(dir))
        return failed(result, QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(directory));
    const QByteArray list = testComBytes(rows);
    const QByteArray meterList = meterListBytes(rows);

    // A saved list is never replaced: a second save in the same minute (or
    // another bench saving at once) takes the next free "_<n>" for both files.
    for (int n = 1; n <= kMaxSavesPerMinute; ++n) {
        const QString suffix = n == 1 ? QString() : QStringLiteral("_%1").arg(n);
        result.fileName = QStringLiteral("MBTestCom") + stamp + suffix + QStringLiteral(".txt");
        result.meterListName = QStringLiteral("MBZählerliste") + stamp + suffix + QStringLiteral(".txt");
        const QString listPath = QDir(dir).filePath(result.fileName);
        const QString meterListPath = QDir(dir).filePath(result.meterListName);
        if (QFileInfo::exists(meterListPath))
            continue;
        QString why;
        const CreateResult createdList = CreateWholeFile(listPath, list, &why);
        if (createdList == CreateResult::Exists)
            continue;
        if (createdList == CreateResult::Failed)
            return failed(result, QStringLiteral("%1 kann nicht gespeichert werden: %2").arg(result.fileName, why));
        const CreateResult createdMeterList = CreateWholeFile(meterListPath, meterList, &why);
        if (createdMeterList != CreateResult::Created)
            QFile::remove(listPath); // a list goes only with its meter list
        if (createdMeterList == CreateResult::Exists)
            continue;
        if (createdMeterList == CreateResult::Failed)
            return failed(result, QStringLiteral("%1 kann nicht gespeichert werden: %2").arg(result.meterListName, why));
        result.ok = true;
        result.message = QStringLiteral("\\Tabelle wurde gespeichert : ") + result.fileName;
        return result;
    }
    return failed(result, QStringLiteral("%1: schon %2 Listen in dieser Minute gespeichert").arg(result.fileName).arg(kMaxSavesPerMinute));
}

ListReadResult ReadFoundMeterList(const QString& file)
{
    ListReadResult result;
    QByteArray bytes;
    QString why;
    switch (ReadWholeFile(NativePath(file), bytes, &why)) {
    case ReadResult::Missing:
        result.error = QStringLiteral("Datei %1 nicht gefunden").arg(file);
        SetLastErrorText(result.error);
        return result;
    case ReadResult::Failed:
        result.error = QStringLiteral("Datei %1 kann nicht gelesen werden: %2").arg(file, why);
        SetLastErrorText(result.error);
        return result;
    case ReadResult::Read:
        break;
    }
    QString text = FromWin1252(bytes);
    text.replace(kCrLf, QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    bool first = true;
    for (const QString& textLine : text.split(QLatin1Char('\n'))) {
        QStringList cells = splitCells(textLine);
        const bool header = first && cells.value(0).trimmed().compare(QLatin1String("Pri"), Qt::CaseInsensitive) == 0;
        if (!textLine.trimmed().isEmpty())
            first = false;
        if (header || !IsMeterRow(cells))
            continue;
        if (cells.size() > kFoundMeterCells) {
            // An unquoted baud cell ("2400;300;") of an older file spread over several cells.
            const qsizetype surplus = cells.size() - kFoundMeterCells;
            cells[6] = cells.mid(6, surplus + 1).join(QLatin1Char(';'));
            cells.remove(7, surplus);
        }
        while (cells.size() < kFoundMeterCells)
            cells << QString();
        result.rows << cells;
    }
    result.ok = true;
    return result;
}

QStringList TestFiles(const QString& directory)
{
    QDir dir(NativePath(directory.isEmpty() ? QStringLiteral(".") : directory));
    QStringList names;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        if (name.contains(QLatin1String("testcom"), Qt::CaseInsensitive)
            && name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
            names << name;
    }
    return names;
}

int PortFromTestFileName(const QString& name)
{
    const QString base = QFileInfo(QString(name).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return 0;
    const qsizetype o = base.left(dot).lastIndexOf(QLatin1Char('o'), -1, Qt::CaseInsensitive);
    if (o < 0)
        return 0;
    // The letters after the "o" (the "m" of "Com") come before the number.
    QString digits = base.mid(o + 1, dot - o - 1);
    while (!digits.isEmpty() && digits.front().isLetter())
        digits.remove(0, 1);
    for (const QChar c : digits)
        if (!c.isDigit() || c.unicode() > 127)
            return 0;
    bool ok = false;
    const int port = digits.toInt(&ok);
    return ok && port > 0 && port <= 255 ? port : 0;
}

} // namespace kelvaro::testbench
