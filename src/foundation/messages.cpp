#include "foundation/messages.h"

#include "foundation/programlog.h"
#include "foundation/termination.h"

#include <cstdio>

namespace kelvaro {
namespace {
MessageHandler g_handler;
MessageIcon g_lastIcon = MessageIcon::Question;

void reportHeadless(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    WriteProgramLog(text);
}
} // namespace

void SetMessageHandler(MessageHandler handler) { g_handler = std::move(handler); }
void ClearMessageHandler() { g_handler = {}; }

void ShowMessageBox(const QString& text, const QString& title)
{
    if (g_handler.inform && !TerminationRequested())
        g_handler.inform(text, title);
    else
        reportHeadless(text);
}

bool AskYesNo(const QString& text, bool defaultYes, const QString& title, MessageIcon icon)
{
    g_lastIcon = icon;
    if (g_handler.askYesNoIcon && !TerminationRequested())
        return g_handler.askYesNoIcon(text, defaultYes, title, icon);
    if (g_handler.askYesNo && !TerminationRequested())
        return g_handler.askYesNo(text, defaultYes, title);
    reportHeadless(text + (defaultYes ? " -> Ja" : " -> Nein"));
    return defaultYes;
}

MessageIcon LastQuestionIcon() { return g_lastIcon; }

} // namespace kelvaro
