// INI files as other programs of an installation leave them: any bytes as a
// file's content are read with the profile-file rules. Input: the section
// name, a line break, the key name, a line break, then the file's content.
// The file lives in /dev/shm, so that a run costs no disk.
#include "foundation/cp1252.h"
#include "foundation/ini.h"

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

const QString& iniPath()
{
    static const QString path = [] {
        std::atexit([] { std::remove(iniPath().toLocal8Bit().constData()); });
        return QStringLiteral("/dev/shm/kelvaro-fuzz-%1.ini").arg(getpid());
    }();
    return path;
}

void writeFile(const QByteArray& content)
{
    FILE* f = std::fopen(iniPath().toLocal8Bit().constData(), "wb");
    require(f != nullptr);
    require(std::fwrite(content.constData(), 1, static_cast<std::size_t>(content.size()), f)
            == static_cast<std::size_t>(content.size()));
    require(std::fclose(f) == 0);
}

void checkValue(const QString& value)
{
    require(value.size() <= 254);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype first = input.indexOf('\n');
    const qsizetype second = first < 0 ? -1 : input.indexOf('\n', first + 1);
    const QString section = FromWin1252(first < 0 ? input : input.left(first));
    const QString key = FromWin1252(second < 0 ? QByteArray() : input.mid(first + 1, second - first - 1));
    const QByteArray content = second < 0 ? input : input.mid(second + 1);

    writeFile(content);
    checkValue(ReadIniString(section, key, iniPath()));
    checkValue(ReadIniString(QStringLiteral("OVX"), QStringLiteral("COM1"), iniPath()));
    checkValue(ReadIniString(key, section, iniPath()));
    return 0;
}
