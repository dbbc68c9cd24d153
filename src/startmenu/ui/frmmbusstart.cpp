#include "startmenu/ui/frmmbusstart.h"

#include <QApplication>
#include <QMenuBar>

namespace kelvaro::startmenu {

FrmMBusStart::FrmMBusStart(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("MBus Start"));
    // "Ende" ends the program with every window it opened.
    menuBar()->addAction(QStringLiteral("Ende"), this, [] { QApplication::closeAllWindows(); QApplication::quit(); });
    resize(360, 60);
}

FrmMBusStart::~FrmMBusStart()
{
    for (auto& [text, entry] : entries_)
        delete entry.window.data();
}

void FrmMBusStart::addWindowEntry(const QString& text, Factory factory)
{
    entries_[text] = Entry{std::move(factory), {}};
    menuBar()->addAction(text, this, [this, text] { open(text); });
}

QWidget* FrmMBusStart::open(const QString& text)
{
    const auto found = entries_.find(text);
    if (found == entries_.end())
        return nullptr;
    Entry& entry = found->second;
    if (!entry.window) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        entry.window = entry.factory();
        QApplication::restoreOverrideCursor();
    }
    if (entry.window) {
        entry.window->show();
        entry.window->raise();
        entry.window->activateWindow();
    }
    return entry.window;
}

QWidget* FrmMBusStart::window(const QString& text) const
{
    const auto found = entries_.find(text);
    return found == entries_.end() ? nullptr : found->second.window.data();
}

} // namespace kelvaro::startmenu
