#include "storage/mbuslog.h"

#include "foundation/clientpaths.h"
#include "foundation/cp1252.h"
#include "foundation/filenumbers.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/programlog.h"
#include "foundation/safefile.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"

#include <QFileInfo>
#include <QLocale>
#include <cmath>

namespace kelvaro {
namespace {

// A new file appears with its header and first line in place, and only once
// when several processes start the day's file together.
CreateResult createLogFile(const QString& file, const QString& header, const QString& entry)
{
    FileSlot slot;
    return CreateWholeFile(NativePath(file), ToWin1252(header) + "\r\n" + ToWin1252(SingleLine(entry)) + "\r\n");
}

// Every digit the value needs to be read back as the same double (the log
// is the source a lost RB6 file is rebuilt from); never an exponent.
QString exactGermanNumber(double value)
{
    if (value == 0)
        return std::signbit(value) ? QStringLiteral("-0") : QStringLiteral("0");
    QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
    text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

} // namespace

QString MBusLogDirectory() { return DBPATH + QStringLiteral("MBusLog\\"); }

QString MBusLogFileName(const QString& fileTail, const QDateTime& now)
{
    return MBusLogDirectory() + now.toString(QStringLiteral("yyMMdd")) + fileTail;
}

bool FileExists(const QString& fileName)
{
    const QFileInfo info(NativePath(fileName));
    return info.exists() && info.isFile();
}

bool WriteMBusLog(const QString& line, const QString& header, const QString& fileTail)
{
    return WriteMBusLogAt(LocalNow(), line, header, fileTail);
}

bool WriteMBusLogAt(const QDateTime& now, const QString& line, const QString& header, const QString& fileTail)
{
    const QString file = MBusLogFileName(fileTail, now);
    const QString entry = now.toString(QStringLiteral("dd.MM.yy hh:mm:ss ")) + QStringLiteral(";") + line;
    bool ok = EnsureDirectory(MBusLogDirectory());
    const CreateResult created = ok && !FileExists(file) ? createLogFile(file, header, entry) : CreateResult::Exists;
    if (created == CreateResult::Created)
        return true;
    ok = ok && created == CreateResult::Exists && AppendTextLine(file, entry);
    if (!ok) {
        SetLastErrorText(QStringLiteral("MBusLog %1 kann nicht geschrieben werden").arg(file));
        WriteProgramLog(QStringLiteral("Fehler beim Schreiben ") + file);
    }
    return ok;
}

bool WriteMBusLogLine(const QString& line)
{
    return WriteMBusLog(line, kMBusLogHeader, kMBusLogTail);
}

QString MBusReadingLogText(const QString& meterId, const QString& meterNumber, int port, int primaryAddress,
                           int valueIndex, double value, const QString& unit)
{
    QString id = meterId;
    ReplaceAll(id, QStringLiteral("f"), QString());
    const QStringList fields{id,
                             meterNumber,
                             QString::number(port),
                             QString::number(primaryAddress),
                             QString::number(valueIndex),
                             exactGermanNumber(value),
                             unit.trimmed()};
    return fields.join(';') + ';';
}

QString Index1LogText(const QString& meterNumber, const QString& meterName, double value, const QString& unit)
{
    return QStringList{meterNumber, meterName, GermanNumber(value), unit.trimmed()}.join(';') + ';';
}

} // namespace kelvaro
