#pragma once
#include <QWidget>

class QListWidget;

namespace kelvaro {

class LogWindowModel;

// The log window: one text row per entry of the model.
class FrmMBusLog : public QWidget {
    Q_OBJECT
public:
    explicit FrmMBusLog(LogWindowModel& model, QWidget* parent = nullptr);
    QListWidget* MSFlexGrid1 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace kelvaro
