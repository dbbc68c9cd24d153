#pragma once
#include <QString>
#include <functional>

namespace kelvaro {

// Message boxes of core code. A windowed program installs a handler that shows
// a real box; without one (headless, tests, services) the text goes to
// standard error and the program log, and questions take their default.
struct MessageHandler {
    std::function<void(const QString& text)> inform;
    std::function<bool(const QString& text, bool defaultYes, const QString& title)> askYesNo;
};

void SetMessageHandler(MessageHandler handler);
void ClearMessageHandler();

void ShowMessageBox(const QString& text);
// Yes/No question; No is the default unless said otherwise.
bool AskYesNo(const QString& text, bool defaultYes = false, const QString& title = {});

} // namespace kelvaro
