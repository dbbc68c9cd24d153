#pragma once
#include <QString>
#include <functional>

namespace kelvaro {

// Message boxes of core code. A windowed program installs a handler that shows
// a real box; without one (headless, tests, services) the text goes to
// standard error and the program log, and questions take their default; so
// they do once the program is being terminated by a signal.
struct MessageHandler {
    std::function<void(const QString& text, const QString& title)> inform;
    std::function<bool(const QString& text, bool defaultYes, const QString& title)> askYesNo;
};

void SetMessageHandler(MessageHandler handler);
void ClearMessageHandler();

// An empty title leaves the program's name on the box.
void ShowMessageBox(const QString& text, const QString& title = {});
// Yes/No question; No is the default unless said otherwise.
bool AskYesNo(const QString& text, bool defaultYes = false, const QString& title = {});

} // namespace kelvaro
