#pragma once
#include <QString>
#include <functional>

namespace kelvaro {

// Message boxes of core code. A windowed program installs a handler that shows
// a real box; without one (headless, tests, services) the text goes to
// standard error and the program log, and questions take their default; so
// they do once the program is being terminated by a signal.
enum class MessageIcon { Question, Critical };

struct MessageHandler {
    std::function<void(const QString& text, const QString& title)> inform;
    std::function<bool(const QString& text, bool defaultYes, const QString& title)> askYesNo;
    // Optional: a handler that can show the icon of a question; without it
    // askYesNo answers every question.
    std::function<bool(const QString& text, bool defaultYes, const QString& title, MessageIcon icon)> askYesNoIcon;
};

void SetMessageHandler(MessageHandler handler);
void ClearMessageHandler();

// An empty title leaves the program's name on the box.
void ShowMessageBox(const QString& text, const QString& title = {});
// Yes/No question; No is the default unless said otherwise.
bool AskYesNo(const QString& text, bool defaultYes = false, const QString& title = {},
              MessageIcon icon = MessageIcon::Question);
// The icon of the last question asked (tests check it).
MessageIcon LastQuestionIcon();

} // namespace kelvaro
