#include "storage/rb6appender.h"

#include "foundation/lasterror.h"
#include "foundation/safefile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cstring>
#include <limits>

namespace kelvaro {
namespace {

// Elements collected per file, and over all files, before they are written.
constexpr qsizetype kBatchElements = 4096;
constexpr qint64 kMaxPendingElements = 4 * 1024 * 1024;

void encode(char* p, qint32 tm, double value)
{
    qToLittleEndian<qint32>(tm, p);
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToLittleEndian<quint64>(bits, p + 4);
}

qint64 offsetOf(qint64 index) { return (index - 1) * kRB6ElementSize; }

} // namespace

struct RB6Appender::File {
    QString name;
    std::unique_ptr<QFile> file;
    std::list<File*>::iterator recent;
    // The header as it stands on disk.
    qint32 diskLastTime = 0;
    qint64 diskLastIndex = 9;
    qint32 capacity = 0;      // element 5 Tm as on disk
    double element5Wert = 0;  // element 5 Wert (kept when the capacity grows)
    // The header as it will be once the batch is written.
    qint32 lastTime = 0;
    qint64 lastIndex = 9;
    // Elements from index batchFirst on, still to be written.
    qint64 batchFirst = 0;
    std::vector<char> batch;
};

RB6Appender::RB6Appender(int blockCount, int maxOpenFiles)
    : blockCount_(blockCount > 0 ? blockCount : kRB6MasterBlockCount), maxOpenFiles_(std::max(1, maxOpenFiles))
{
}

RB6Appender::~RB6Appender() { flush(); }

int RB6Appender::create(const QString& fileName)
{
    // As RB6Create lays a new file out: zeros of the whole block count, their
    // space reserved on disk, then the header with creation values 1, 1, 0, 0.
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite)) {
        SetLastErrorText(QStringLiteral("RB6-Datei %1: %2").arg(fileName, file.errorString()));
        return RB6OpenFailed;
    }
    if (file.size() >= 1)
        return RB6Ok;
    const RB6Header header = RB6NewHeader(blockCount_, 1, 1, 0, 0);
    char bytes[kRB6HeaderElements * kRB6ElementSize];
    for (int k = 0; k < kRB6HeaderElements; ++k)
        encode(bytes + k * kRB6ElementSize, header[k].Tm, header[k].Wert);
    QString why;
    bool ok = ReserveFileSpace(file, qint64(blockCount_) * kRB6BlockBytes, &why);
    if (ok && !(file.seek(0) && file.write(bytes, sizeof bytes) == qint64(sizeof bytes) && file.flush())) {
        ok = false;
        why = file.errorString();
    }
    if (!ok) {
        SetLastErrorText(QStringLiteral("RB6-Datei %1 kann nicht angelegt werden: %2").arg(fileName, why));
        file.close();
        file.remove(); // it was empty: nothing is lost
        return RB6HeaderWriteFailed;
    }
    return RB6Ok;
}

void RB6Appender::touch(File& f)
{
    recent_.splice(recent_.begin(), recent_, f.recent);
}

bool RB6Appender::ensureOpen(File& f)
{
    if (f.file) {
        touch(f);
        return true;
    }
    while (openFiles_ >= maxOpenFiles_ && !recent_.empty()) {
        File* oldest = recent_.back();
        if (!writeOpen(*oldest))
            return false;
        oldest->file.reset();
        recent_.pop_back();
        --openFiles_;
    }
    auto file = std::make_unique<QFile>(f.name);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        SetLastErrorText(QStringLiteral("RB6-Datei %1: %2").arg(f.name, file->errorString()));
        return false;
    }
    f.file = std::move(file);
    recent_.push_front(&f);
    f.recent = recent_.begin();
    ++openFiles_;
    return true;
}

int RB6Appender::open(const QString& fileName)
{
    if (const auto known = handles_.constFind(fileName); known != handles_.constEnd())
        return *known;
    if (QFileInfo(fileName).size() < 1) {
        const int created = create(fileName);
        if (created != RB6Ok)
            return created;
    }
    auto f = std::make_unique<File>();
    f->name = fileName;
    if (!ensureOpen(*f))
        return RB6OpenFailed;
    RB6Header header;
    bool ok = f->file->seek(0);
    const QByteArray bytes = ok ? f->file->read(kRB6HeaderElements * kRB6ElementSize) : QByteArray();
    ok = bytes.size() == kRB6HeaderElements * kRB6ElementSize;
    for (int k = 0; ok && k < kRB6HeaderElements; ++k) {
        const char* p = bytes.constData() + k * kRB6ElementSize;
        header[k].Tm = qFromLittleEndian<qint32>(p);
        const quint64 bits = qFromLittleEndian<quint64>(p + 4);
        std::memcpy(&header[k].Wert, &bits, sizeof bits);
    }
    const QString problem = ok ? RB6HeaderProblem(header, f->file->size()) : QStringLiteral("Kopf unvollständig");
    if (!problem.isEmpty()) {
        SetLastErrorText(QStringLiteral("RB6-Datei %1 beschädigt: %2").arg(fileName, problem));
        recent_.erase(f->recent);
        --openFiles_;
        return RB6HeaderDamaged;
    }
    f->diskLastTime = f->lastTime = header[1].Tm;
    f->diskLastIndex = f->lastIndex = static_cast<qint64>(header[1].Wert);
    f->capacity = header[4].Tm;
    f->element5Wert = header[4].Wert;
    files_.push_back(std::move(f));
    const int handle = static_cast<int>(files_.size() - 1);
    handles_.insert(fileName, handle);
    return handle;
}

int RB6Appender::append(int handle, qint64 time, double value, Outcome* outcome)
{
    File& f = *files_[static_cast<std::size_t>(handle)];
    if (time < std::numeric_limits<qint32>::min() || time > std::numeric_limits<qint32>::max()) {
        SetLastErrorText(QStringLiteral("Zeit %1 passt nicht in eine RB6-Datei").arg(time));
        return RB6TimeOutOfRange;
    }
    const auto tm = static_cast<qint32>(time);
    Outcome done = Outcome::Dropped;
    if (time > f.lastTime) {
        if (f.batch.empty())
            f.batchFirst = f.lastIndex + 1;
        const std::size_t at = f.batch.size();
        f.batch.resize(at + kRB6ElementSize);
        encode(f.batch.data() + at, tm, value);
        ++f.lastIndex;
        f.lastTime = tm;
        ++pendingElements_;
        done = Outcome::Appended;
    } else if (time == f.lastTime && f.lastIndex >= kRB6FirstDataIndex) {
        if (f.batch.empty()) {
            // The last element is on disk already: it is written again.
            f.batchFirst = f.lastIndex;
            f.batch.resize(kRB6ElementSize);
            ++pendingElements_;
        }
        encode(f.batch.data() + f.batch.size() - kRB6ElementSize, tm, value);
        done = Outcome::Overwritten;
    }
    if (outcome)
        *outcome = done;
    if (static_cast<qsizetype>(f.batch.size()) >= kBatchElements * kRB6ElementSize && !writeBatch(f))
        return RB6WriteFailed;
    if (pendingElements_ >= kMaxPendingElements && !flush())
        return RB6WriteFailed;
    return RB6Ok;
}

bool RB6Appender::writeBatch(File& f)
{
    const bool headerBehind = f.lastIndex != f.diskLastIndex || f.lastTime != f.diskLastTime;
    if (f.batch.empty() && !headerBehind)
        return true;
    return ensureOpen(f) && writeOpen(f);
}

bool RB6Appender::writeOpen(File& f)
{
    const bool headerBehind = f.lastIndex != f.diskLastIndex || f.lastTime != f.diskLastTime;
    if (f.batch.empty() && !headerBehind)
        return true;
    QFile& file = *f.file;
    auto writeAt = [&file, &f](qint64 offset, const char* data, qint64 size) {
        if (file.seek(offset) && file.write(data, size) == size)
            return true;
        SetLastErrorText(QStringLiteral("RB6-Datei %1: Schreibfehler (%2)").arg(f.name, file.errorString()));
        return false;
    };
    if (!f.batch.empty()) {
        if (!writeAt(offsetOf(f.batchFirst), f.batch.data(), static_cast<qint64>(f.batch.size())))
            return false;
        pendingElements_ -= static_cast<qint64>(f.batch.size() / kRB6ElementSize);
        f.batch.clear();
    }
    if (headerBehind) {
        char element[kRB6ElementSize];
        encode(element, f.lastTime, static_cast<double>(f.lastIndex));
        if (!writeAt(offsetOf(2), element, kRB6ElementSize))
            return false;
        f.diskLastTime = f.lastTime;
        f.diskLastIndex = f.lastIndex;
        if (f.lastIndex > f.capacity) {
            encode(element, static_cast<qint32>(f.lastIndex), f.element5Wert);
            if (!writeAt(offsetOf(5), element, kRB6ElementSize))
                return false;
            f.capacity = static_cast<qint32>(f.lastIndex);
        }
    }
    return true;
}

bool RB6Appender::flush()
{
    for (auto& f : files_)
        if (!writeBatch(*f))
            return false;
    return true;
}

} // namespace kelvaro
