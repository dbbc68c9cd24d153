#pragma once
#include "readall/monthtrigger.h"
#include "readall/readall.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvaro::readall {

// The read-all form: port, directory and count, "Start", and a timer that
// reads everything once at the first tick of each new calendar month.
class FrmMarvikMBus : public QWidget {
public:
    explicit FrmMarvikMBus(ReadAll& reader, QWidget* parent = nullptr);
    ~FrmMarvikMBus() override;

    QLineEdit* portField() const { return port_; }
    QLineEdit* directoryField() const { return directory_; }
    QLineEdit* countField() const { return count_; }
    QLineEdit* timerField() const { return timerMs_; }
    QPushButton* startButton() const { return start_; }
    QTimer& timer() { return timer_; }
    const MonthTrigger& trigger() const { return trigger_; }
    QString statusText() const;

    ReadAllFields fields() const;
    // "Start": reads at once (nothing while a read is running).
    void readNow();
    void onTimerTick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showSummary(const ReadAll::Summary& summary);

    ReadAll& reader_;
    MonthTrigger trigger_;
    QTimer timer_;
    QLineEdit* port_;
    QLineEdit* directory_;
    QLineEdit* count_;
    QLineEdit* timerMs_;
    QPushButton* start_;
    QLabel* status_;
};

} // namespace kelvaro::readall
