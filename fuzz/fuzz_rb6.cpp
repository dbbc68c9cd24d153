// RB6 files as found on a station's disk: any bytes as a file's content go
// through the header reader and the readers built on it (first and last time,
// data elements). The file lives in /dev/shm, so that a run costs no disk.
#include "storage/rb6file.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace kelvaro;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

const QString& rb6Path()
{
    static const QString path = [] {
        std::atexit([] { std::remove(rb6Path().toLocal8Bit().constData()); });
        return QStringLiteral("/dev/shm/kelvaro-fuzz-%1.ovx").arg(getpid());
    }();
    return path;
}

void writeFile(const std::uint8_t* data, std::size_t size)
{
    FILE* f = std::fopen(rb6Path().toLocal8Bit().constData(), "wb");
    require(f != nullptr);
    require(std::fwrite(data, 1, size, f) == size);
    require(std::fclose(f) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    writeFile(data, size);
    const auto fileSize = static_cast<qint64>(size);

    RB6Header header;
    const bool read = RB6ReadHeader(rb6Path(), header);
    require(read == (fileSize >= kRB6HeaderElements * kRB6ElementSize));
    if (read && RB6HeaderProblem(header, fileSize).isEmpty())
        require(header[1].Wert * kRB6ElementSize <= static_cast<double>(fileSize));

    (void)RB6FirstTime(rb6Path());
    qint64 first = 0;
    qint64 last = 0;
    RB6FileTimes(rb6Path(), first, last);

    QList<RB6IndexedElement> elements;
    if (RB6ReadElements(rb6Path(), elements))
        require(static_cast<qint64>(elements.size()) * kRB6ElementSize <= fileSize);
    return 0;
}
