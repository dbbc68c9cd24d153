#include "foundation/programinfo.h"

#include <cstdio>
#include <cstring>

namespace kelvaro {
namespace {

void printLine(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    if (!text.endsWith(QLatin1Char('\n')))
        std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

QString ProgramVersionText() { return QStringLiteral(KELVARO_VERSION_TEXT); }

QString ProgramVersionLine(const QString& program) { return program + QLatin1Char(' ') + ProgramVersionText(); }

std::optional<int> AnswerHelpOrVersion(int argc, char** argv, const QString& program, const QString& help)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printLine(help);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            printLine(ProgramVersionLine(program));
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace kelvaro
