#pragma once
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace kelvaro {

class SerialConsole;
class FrmMBusLog;

// The serial console window: a thin view over SerialConsole.
class FrmMBusFelsbrunn : public QWidget {
    Q_OBJECT
public:
    FrmMBusFelsbrunn(SerialConsole& console, FrmMBusLog& log, QWidget* parent = nullptr);

    QComboBox* cboPort = nullptr;
    QComboBox* cboBaud = nullptr;
    QLabel* lblState = nullptr;
    QListWidget* lstSelection = nullptr;
    QLineEdit* txtSend = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdSend = nullptr;
    QLineEdit* txtMedium = nullptr;
    QLineEdit* txtIdent = nullptr;
    QLineEdit* txtVersion = nullptr;
    QLineEdit* txtManufacturer = nullptr;
    QLineEdit* txtAddress = nullptr;
    QTableWidget* grdResult = nullptr;
    QLabel* lblMessage = nullptr;
    QLineEdit* txtSpeedFrom = nullptr; // "von"
    QLineEdit* txtSpeedTo = nullptr;   // "bis"
    QPushButton* cmdSpeedRead = nullptr;
    QPushButton* cmdSpeedStop = nullptr;
    QLabel* lblSpeedCount = nullptr;   // "Anz. gelesen"
    QLabel* lblSpeedSeconds = nullptr; // "in Sec"

protected:
    // Closing the console closes its port and its log window with it (the
    // program ends with its last window); during an exchange the close waits
    // for the exchange to end.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void openPort();
    void closePort();
    void busControlsEnabled(bool on);
    void exchangeEnded();
    void sendFrame();
    void showTelegram();
    void runSpeedTest();

    SerialConsole& console_;
    FrmMBusLog& log_;
    bool speedStop_ = false;
    bool closeAfterExchange_ = false;
};

} // namespace kelvaro
