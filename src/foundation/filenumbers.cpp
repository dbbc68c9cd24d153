#include "foundation/filenumbers.h"

#include "foundation/cp1252.h"
#include "foundation/paths.h"
#include "foundation/programlog.h"
#include "foundation/safefile.h"

namespace kelvaro {
namespace {
int g_openFiles = 0;

int nextNumber(bool checkLimit)
{
    const int number = g_openFiles + 1;
    if (checkLimit && number > 5)
        WriteProgramLog(QStringLiteral("Freefile > 5"));
    return number;
}
} // namespace

FileSlot::FileSlot(bool checkLimit)
    : number_(nextNumber(checkLimit))
{
    ++g_openFiles;
}

FileSlot::~FileSlot() { --g_openFiles; }

int GetFreeFileNumber() { return nextNumber(true); }
int OpenFileCount() { return g_openFiles; }

QString SingleLine(const QString& text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

bool AppendTextLine(const QString& path, const QString& line, bool checkLimit)
{
    FileSlot slot(checkLimit);
    return AppendWhole(NativePath(path), ToWin1252(SingleLine(line)) + "\r\n");
}

} // namespace kelvaro
