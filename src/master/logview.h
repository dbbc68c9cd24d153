#pragma once
#include "foundation/gridmodel.h"

#include <QDateTime>
#include <QObject>
#include <functional>

namespace kelvaro::master {

// The station's log view (MSFlexGrid4): date and time, text; the newest line
// on top. Every line is also given out as "date time<TAB>text" (headless, the
// program writes them to standard output).
class LogView : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit LogView(QObject* parent = nullptr);

    void setClock(Clock clock) { clock_ = std::move(clock); }
    void add(const QString& text);
    // Kept between 500 and 800 lines.
    void trim();
    bool contains(const QString& text) const;

    GridModel grid;

signals:
    void line(const QString& line);

private:
    Clock clock_;
};

} // namespace kelvaro::master
