#include "storage/quarterhourfile.h"

#include "foundation/filenumbers.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/timeutil.h"

#include <QFile>
#include <QtEndian>
#include <cmath>
#include <limits>

namespace kelvaro {
namespace {

constexpr qint64 kDay = 86400;
constexpr qint64 kQuarter = 900;

qint64 dayStart(qint64 time) { return time - ((time % kDay) + kDay) % kDay; }

QByteArray encodeHeader(const QuarterHourHeader& h)
{
    const QDateTime start = SecondsToDate(h.startTime);
    const qint32 fields[16] = {h.creator[0], h.creator[1], h.creator[2],
                               start.date().day(), start.date().month(), start.date().year(),
                               start.time().hour(), start.time().minute(), start.time().second(),
                               h.trailer[0], h.trailer[1], h.trailer[2], 0, 0, 0, 0};
    QByteArray bytes(kQuarterHourHeaderBytes, '\0');
    for (int k = 0; k < 16; ++k)
        qToLittleEndian<qint32>(fields[k], bytes.data() + 4 * k);
    return bytes;
}

bool decodeHeader(const QByteArray& bytes, QuarterHourHeader& h)
{
    if (bytes.size() != kQuarterHourHeaderBytes)
        return false;
    qint32 f[16];
    for (int k = 0; k < 16; ++k)
        f[k] = qFromLittleEndian<qint32>(bytes.constData() + 4 * k);
    const QDate date(f[5], f[4], f[3]);
    const QTime time(f[6], f[7], f[8]);
    if (!date.isValid() || !time.isValid())
        return false;
    h.creator[0] = f[0];
    h.creator[1] = f[1];
    h.creator[2] = f[2];
    h.startTime = DateToSeconds(QDateTime(date, time, Qt::UTC));
    h.trailer[0] = f[9];
    h.trailer[1] = f[10];
    h.trailer[2] = f[11];
    return true;
}

int failWith(int code, const QString& text)
{
    SetLastErrorText(text);
    return code;
}

} // namespace

bool QuarterHourReadHeader(const QString& fileName, QuarterHourHeader& header)
{
    FileSlot slot;
    QFile file(NativePath(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return decodeHeader(file.read(kQuarterHourHeaderBytes), header);
}

int QuarterHourWrite(const QString& fileName, qint64 time, qint32 value, qint32 channel, qint32 slot)
{
    if (!EnsureDirectory(DirectoryOf(fileName)))
        return failWith(-1, QStringLiteral("Verzeichnis für %1 kann nicht angelegt werden").arg(fileName));
    FileSlot fileSlot;
    QFile file(NativePath(fileName));
    if (!file.open(QIODevice::ReadWrite))
        return failWith(-1, QStringLiteral("15-Minuten-Datei %1: %2").arg(fileName, file.errorString()));
    QuarterHourHeader header;
    if (file.size() == 0) {
        header.creator[1] = channel;
        header.creator[2] = slot;
        header.startTime = dayStart(time);
        const QByteArray bytes = encodeHeader(header);
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            file.close();
            file.remove();
            return failWith(-3, QStringLiteral("15-Minuten-Datei %1: Schreibfehler").arg(fileName));
        }
    } else if (!decodeHeader(file.read(kQuarterHourHeaderBytes), header)) {
        return failWith(-2, QStringLiteral("15-Minuten-Datei %1: Kopf beschädigt").arg(fileName));
    }
    if (time < header.startTime)
        return failWith(-5, QStringLiteral("15-Minuten-Datei %1: Zeit vor Dateibeginn").arg(fileName));

    const qint64 position = (time - header.startTime) / kQuarter;
    const qint64 block = position / kQuarterHourValuesPerBlock;
    const qint64 neededSize = kQuarterHourHeaderBytes + (block + 1) * kQuarterHourBlockBytes;
    if (file.size() < neededSize && !file.resize(neededSize))
        return failWith(-3, QStringLiteral("15-Minuten-Datei %1: %2").arg(fileName, file.errorString()));
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(value, bytes.data());
    if (!file.seek(kQuarterHourHeaderBytes + position * 4) || file.write(bytes) != 4 || !file.flush())
        return failWith(-3, QStringLiteral("15-Minuten-Datei %1: %2").arg(fileName, file.errorString()));
    return 0;
}

int QuarterHourWriteReading(const QString& fileName, qint64 time, double reading, qint32 channel)
{
    const double scaled = std::round(reading * 100.0);
    if (!std::isfinite(scaled) || scaled < std::numeric_limits<qint32>::min() || scaled > std::numeric_limits<qint32>::max())
        return failWith(-6, QStringLiteral("Zählerstand %1 passt nicht in die 15-Minuten-Datei").arg(reading));
    return QuarterHourWrite(fileName, time, static_cast<qint32>(scaled), channel, -1);
}

bool QuarterHourRead(const QString& fileName, qint64 time, qint32& value)
{
    FileSlot slot;
    QFile file(NativePath(fileName));
    QuarterHourHeader header;
    if (!file.open(QIODevice::ReadOnly) || !decodeHeader(file.read(kQuarterHourHeaderBytes), header))
        return false;
    if (time < header.startTime)
        return false;
    const qint64 offset = kQuarterHourHeaderBytes + (time - header.startTime) / kQuarter * 4;
    if (!file.seek(offset))
        return false;
    const QByteArray bytes = file.read(4);
    if (bytes.size() != 4)
        return false;
    value = qFromLittleEndian<qint32>(bytes.constData());
    return true;
}

void QuarterHourFileTimes(const QString& fileName, qint64& firstTime, qint64& lastTime)
{
    firstTime = 0;
    lastTime = 0;
    FileSlot slot;
    QFile file(NativePath(fileName));
    QuarterHourHeader header;
    if (!file.open(QIODevice::ReadOnly) || !decodeHeader(file.read(kQuarterHourHeaderBytes), header))
        return;
    firstTime = header.startTime;
    const QByteArray data = file.readAll();
    for (qint64 position = data.size() / 4 - 1; position >= 0; --position) {
        if (qFromLittleEndian<qint32>(data.constData() + position * 4) != 0) {
            lastTime = header.startTime + position * kQuarter;
            break;
        }
    }
}

} // namespace kelvaro
