#include "storage/rb6file.h"

#include "foundation/clientpaths.h"
#include "foundation/filenumbers.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/paths.h"
#include "foundation/programlog.h"
#include "foundation/safefile.h"
#include "foundation/textutil.h"
#include "storage/quarterhourfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <limits>

namespace kelvaro {
namespace {

QByteArray encode(const RB6Element& e)
{
    QByteArray bytes(kRB6ElementSize, '\0');
    qToLittleEndian<qint32>(e.Tm, bytes.data());
    quint64 bits;
    std::memcpy(&bits, &e.Wert, sizeof bits);
    qToLittleEndian<quint64>(bits, bytes.data() + 4);
    return bytes;
}

RB6Element decode(const char* p)
{
    RB6Element e;
    e.Tm = qFromLittleEndian<qint32>(p);
    const quint64 bits = qFromLittleEndian<quint64>(p + 4);
    std::memcpy(&e.Wert, &bits, sizeof bits);
    return e;
}

qint64 offsetOf(qint64 index) { return (index - 1) * kRB6ElementSize; }

bool fail(const QString& text)
{
    SetLastErrorText(text);
    return false;
}

bool writeAt(QFile& file, qint64 offset, const QByteArray& bytes)
{
    if (!file.seek(offset) || file.write(bytes) != bytes.size() || !file.flush())
        return fail(QStringLiteral("RB6-Datei %1: Schreibfehler (%2)").arg(file.fileName(), file.errorString()));
    return true;
}

bool readHeader(QFile& file, RB6Header& header)
{
    if (!file.seek(0))
        return false;
    const QByteArray bytes = file.read(kRB6HeaderElements * kRB6ElementSize);
    if (bytes.size() != kRB6HeaderElements * kRB6ElementSize)
        return fail(QStringLiteral("RB6-Datei %1: Kopf unvollständig").arg(file.fileName()));
    for (int k = 0; k < kRB6HeaderElements; ++k)
        header[k] = decode(bytes.constData() + k * kRB6ElementSize);
    return true;
}

QByteArray encodeHeader(const RB6Header& header)
{
    QByteArray bytes;
    for (const RB6Element& e : header)
        bytes += encode(e);
    return bytes;
}

bool writeHeaderAt(const QString& fileName, const QString& path, const RB6Header& header)
{
    FileSlot slot;
    QFile file(path);
    if (!file.exists())
        return fail(QStringLiteral("RB6-Datei %1 fehlt").arg(fileName));
    if (file.size() == 0) {
        file.remove();
        return fail(QStringLiteral("RB6-Datei %1 ist leer und wurde gelöscht").arg(fileName));
    }
    if (!file.open(QIODevice::ReadWrite))
        return fail(QStringLiteral("RB6-Datei %1: %2").arg(fileName, file.errorString()));
    return writeAt(file, 0, encodeHeader(header));
}

// RB6Create of the file found at `path`.
int createAt(const QString& fileName, const QString& path, int blockCount, double creation1, double creation2,
             double creation3, double creation4)
{
    if (!EnsureDirectory(DirectoryOf(fileName))) {
        SetLastErrorText(QStringLiteral("Verzeichnis für %1 kann nicht angelegt werden").arg(fileName));
        return RB6OpenFailed;
    }
    const int blocks = std::max(0, blockCount == 0 ? RB6_StandardGroesse : blockCount);
    {
        FileSlot fileSlot;
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite)) {
            SetLastErrorText(QStringLiteral("RB6-Datei %1: %2").arg(fileName, file.errorString()));
            return RB6OpenFailed;
        }
        if (file.size() >= 1)
            return RB6Ok;
        // The space of every block is taken now: appends into it never meet a full disk.
        QString why;
        if (!ReserveFileSpace(file, qint64(blocks) * kRB6BlockBytes, &why)) {
            SetLastErrorText(QStringLiteral("RB6-Datei %1 kann nicht angelegt werden: %2").arg(fileName, why));
            file.close();
            file.remove(); // it was empty: nothing is lost
            return RB6HeaderWriteFailed;
        }
    }
    if (!writeHeaderAt(fileName, path, RB6NewHeader(blocks, creation1, creation2, creation3, creation4))) {
        const QString why = LastErrorText();
        QFile::remove(path); // a file without header would be refused for ever
        SetLastErrorText(why);
        return RB6HeaderWriteFailed;
    }
    return RB6Ok;
}

} // namespace

int ReadRB6StandardGroesse()
{
    const int value = static_cast<int>(Val(ReadIniString(ClientMBusSection(), QStringLiteral("RB6_StandardGroesse"), kOvxIni)));
    RB6_StandardGroesse = value > 0 ? value : kRB6MasterBlockCount;
    return RB6_StandardGroesse;
}

RB6Header RB6NewHeader(int blockCount, double creation1, double creation2, double creation3, double creation4)
{
    RB6Header h{};
    h[0] = {1, 1.0};
    h[1] = {0, 9.0};
    h[2] = {0, creation1};
    h[3] = {0, creation2};
    h[4] = {static_cast<qint32>(blockCount * 100), creation3};
    h[5] = {0, creation4};
    return h;
}

QString RB6HeaderProblem(const RB6Header& header, qint64 fileSize)
{
    if (!(header[0] == RB6Element{1, 1.0}))
        return QStringLiteral("Element 1 ist nicht (1; 1,0)");
    const double last = header[1].Wert;
    if (!std::isfinite(last) || last != std::floor(last) || last < 9)
        return QStringLiteral("letzter Index %1 ungültig").arg(GermanNumber(last));
    if (last * kRB6ElementSize > static_cast<double>(fileSize))
        return QStringLiteral("letzter Index %1 liegt hinter dem Dateiende").arg(GermanNumber(last));
    return {};
}

bool RB6WriteHeader(const QString& fileName, const RB6Header& header)
{
    return writeHeaderAt(fileName, NativePath(fileName), header);
}

bool RB6ReadHeader(const QString& fileName, RB6Header& header)
{
    FileSlot slot;
    QFile file(NativePath(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("RB6-Datei %1: %2").arg(fileName, file.errorString()));
    return readHeader(file, header);
}

int RB6Create(const QString& fileName, qint64 channel, int slot, int blockCount, double creation1,
              double creation2, double creation3, double creation4)
{
    Q_UNUSED(channel);
    Q_UNUSED(slot);
    return createAt(fileName, NativePath(fileName), blockCount, creation1, creation2, creation3, creation4);
}

int RB6Append(const QString& directory, qint64 channel, qint64 time, double value, int slot, QString& fileName,
              RB6FileNames* names)
{
    if (fileName.isEmpty())
        fileName = RB6FileName(directory, channel, slot);
    if (time < std::numeric_limits<qint32>::min() || time > std::numeric_limits<qint32>::max()) {
        SetLastErrorText(QStringLiteral("Zeit %1 passt nicht in eine RB6-Datei").arg(time));
        return RB6TimeOutOfRange;
    }
    const QString path = names ? names->nativePath(fileName) : NativePath(fileName);
    if (QFileInfo(path).size() < 1) {
        const int created = createAt(fileName, path, kRB6MasterBlockCount, 1, 1, 0, 0);
        if (created != RB6Ok)
            return created;
    }

    FileSlot fileSlot;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        SetLastErrorText(QStringLiteral("RB6-Datei %1: %2").arg(fileName, file.errorString()));
        return RB6OpenFailed;
    }
    RB6Header header;
    if (!readHeader(file, header))
        return RB6HeaderDamaged;
    const QString problem = RB6HeaderProblem(header, file.size());
    if (!problem.isEmpty()) {
        SetLastErrorText(QStringLiteral("RB6-Datei %1 beschädigt: %2").arg(fileName, problem));
        return RB6HeaderDamaged;
    }
    const qint64 lastTime = header[1].Tm;
    const auto lastIndex = static_cast<qint64>(header[1].Wert);
    const qint64 capacity = header[4].Tm;
    const auto tm = static_cast<qint32>(time);

    if (time > lastTime) {
        const qint64 next = lastIndex + 1;
        // The element first, then the header that counts it: a failed write
        // never leaves a counted partial element.
        if (!writeAt(file, offsetOf(next), encode({tm, value})))
            return RB6WriteFailed;
        if (!writeAt(file, offsetOf(2), encode({tm, static_cast<double>(next)})))
            return RB6WriteFailed;
        if (next > capacity && !writeAt(file, offsetOf(5), encode({static_cast<qint32>(next), header[4].Wert})))
            return RB6WriteFailed;
    } else if (time == lastTime && lastIndex >= kRB6FirstDataIndex) {
        if (!writeAt(file, offsetOf(lastIndex), encode({tm, value})))
            return RB6WriteFailed;
    }
    return RB6Ok;
}

void RB6FileNames::list(const QString& directory)
{
    listed_ = true;
    directory_ = directory;
    nativeDirectory_ = NativePath(directory);
    if (!nativeDirectory_.isEmpty() && !nativeDirectory_.endsWith('/'))
        nativeDirectory_ += '/';
    spellings_.clear();
    const QDir dir(nativeDirectory_.isEmpty() ? QStringLiteral(".") : nativeDirectory_);
    for (const QString& entry : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                              QDir::NoSort))
        spellings_.insert(entry.toCaseFolded(), entry);
}

QString RB6FileNames::nativePath(const QString& fileName)
{
    const QString directory = DirectoryOf(fileName);
    if (!listed_ || directory != directory_)
        list(directory);
    const QString name = fileName.mid(directory.size());
    const QString direct = nativeDirectory_ + name;
    if (QFileInfo::exists(direct))
        return direct;
    const QString key = name.toCaseFolded();
    if (const auto found = spellings_.constFind(key); found != spellings_.constEnd())
        return nativeDirectory_ + *found;
    spellings_.insert(key, name); // it is created under this name
    return direct;
}

qint64 RB6FirstTime(const QString& fileName)
{
    FileSlot slot;
    QFile file(NativePath(fileName));
    RB6Header header;
    if (!file.open(QIODevice::ReadOnly) || !readHeader(file, header) || !RB6HeaderProblem(header, file.size()).isEmpty())
        return 0;
    if (header[1].Wert < kRB6FirstDataIndex || !file.seek(offsetOf(kRB6FirstDataIndex)))
        return 0;
    const QByteArray first = file.read(kRB6ElementSize);
    return first.size() == kRB6ElementSize ? decode(first.constData()).Tm : 0;
}

void RB6FileTimes(const QString& fileName, qint64& firstTime, qint64& lastTime)
{
    firstTime = 0;
    lastTime = 0;
    // A meter that has not been read yet has no data file: nothing to report.
    if (!QFileInfo::exists(NativePath(fileName)))
        return;
    const QString upper = fileName.toUpper();
    if (upper.contains(QLatin1String(".OVX"))) {
        RB6Header header;
        if (!RB6ReadHeader(fileName, header))
            return;
        lastTime = header[1].Tm;
        firstTime = RB6FirstTime(fileName);
    } else if (upper.contains(QLatin1String("15P"))) {
        QuarterHourFileTimes(fileName, firstTime, lastTime);
    }
}

bool RB6ReadElements(const QString& fileName, QList<RB6IndexedElement>& out, qint64 from, qint64 to)
{
    out.clear();
    FileSlot slot;
    QFile file(NativePath(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("RB6-Datei %1: %2").arg(fileName, file.errorString()));
    RB6Header header;
    if (!readHeader(file, header))
        return false;
    const QString problem = RB6HeaderProblem(header, file.size());
    if (!problem.isEmpty())
        return fail(QStringLiteral("RB6-Datei %1 beschädigt: %2").arg(fileName, problem));
    const auto lastIndex = static_cast<qint64>(header[1].Wert);
    if (lastIndex < kRB6FirstDataIndex)
        return true;
    if (!file.seek(offsetOf(kRB6FirstDataIndex)))
        return false;
    const qint64 count = lastIndex - kRB6FirstDataIndex + 1;
    const QByteArray bytes = file.read(count * kRB6ElementSize);
    if (bytes.size() != count * kRB6ElementSize)
        return fail(QStringLiteral("RB6-Datei %1: Lesefehler").arg(fileName));
    for (qint64 k = 0; k < count; ++k) {
        const RB6Element e = decode(bytes.constData() + k * kRB6ElementSize);
        if (e.Tm >= from && e.Tm <= to)
            out.append({kRB6FirstDataIndex + k, e});
    }
    return true;
}

QList<RawPoint> RB_RohDatenAuffuellenMitRecordset(const QList<RB6Element>& raw, qint64 interval, bool adminLog)
{
    if (adminLog)
        WriteProgramLog(QStringLiteral("Starte RB_RohDatenAuffuellenMitRecordset"));
    if (interval <= 0)
        interval = 900;
    QList<RawPoint> out;
    for (qsizetype k = 0; k < raw.size(); ++k) {
        const RB6Element& e = raw[k];
        out.append({e.Tm, e.Wert, false});
        if (k + 1 == raw.size())
            break;
        const qint64 next = raw[k + 1].Tm;
        if (2 * (next - e.Tm) <= 3 * interval)
            continue;
        const qint64 firstGrid = (qint64(e.Tm) / interval + 1) * interval;
        for (qint64 t = firstGrid; t < next; t += interval)
            out.append({t, e.Wert, true});
    }
    if (adminLog)
        WriteProgramLog(QStringLiteral("Fertig RB_RohDatenAuffuellenMitRecordset"));
    return out;
}

} // namespace kelvaro
