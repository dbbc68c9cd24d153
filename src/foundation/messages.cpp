#include "foundation/messages.h"

#include "foundation/programlog.h"

#include <cstdio>

namespace kelvaro {
namespace {
MessageHandler g_handler;

void reportHeadless(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    WriteProgramLog(text);
}
} // namespace

void SetMessageHandler(MessageHandler handler) { g_handler = std::move(handler); }
void ClearMessageHandler() { g_handler = {}; }

void ShowMessageBox(const QString& text)
{
    if (g_handler.inform)
        g_handler.inform(text);
    else
        reportHeadless(text);
}

bool AskYesNo(const QString& text, bool defaultYes, const QString& title)
{
    if (g_handler.askYesNo)
        return g_handler.askYesNo(text, defaultYes, title);
    reportHeadless(text + (defaultYes ? " -> Ja" : " -> Nein"));
    return defaultYes;
}

} // namespace kelvaro
