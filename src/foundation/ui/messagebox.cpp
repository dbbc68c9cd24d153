#include "foundation/ui/messagebox.h"

#include "foundation/messages.h"

#include <QApplication>
#include <QMessageBox>

namespace kelvaro {

bool IsHeadless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void InstallWidgetMessageHandler()
{
    if (IsHeadless())
        return;
    SetMessageHandler({
        [](const QString& text, const QString& title) {
            QMessageBox::information(QApplication::activeWindow(), title, text);
        },
        [](const QString& text, bool defaultYes, const QString& title) {
            return QMessageBox::question(QApplication::activeWindow(), title, text,
                                         QMessageBox::Yes | QMessageBox::No,
                                         defaultYes ? QMessageBox::Yes : QMessageBox::No)
                == QMessageBox::Yes;
        },
        [](const QString& text, bool defaultYes, const QString& title, MessageIcon icon) {
            QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Question, title,
                            text, QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
            box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
            return box.exec() == QMessageBox::Yes;
        },
    });
}

} // namespace kelvaro
