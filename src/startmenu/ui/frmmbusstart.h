#pragma once
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>

namespace kelvaro::startmenu {

// The start window: a menu bar opening the station's main windows. Each
// window is made once by its factory; choosing its entry again brings the
// same window up.
class FrmMBusStart : public QMainWindow {
public:
    using Factory = std::function<QWidget*()>;
    explicit FrmMBusStart(QWidget* parent = nullptr);
    ~FrmMBusStart() override;

    // Adds the entry `text` to the menu bar ("Ende" is always there, first).
    void addWindowEntry(const QString& text, Factory factory);
    // What choosing an entry does; the window shown, nullptr when none.
    QWidget* open(const QString& text);
    QWidget* window(const QString& text) const;

private:
    struct Entry {
        Factory factory;
        QPointer<QWidget> window;
    };
    std::map<QString, Entry> entries_;
};

} // namespace kelvaro::startmenu
