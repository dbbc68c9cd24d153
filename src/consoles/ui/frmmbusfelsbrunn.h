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

private:
    void openPort();
    void sendFrame();
    void showTelegram();
    void runSpeedTest();

    SerialConsole& console_;
    bool speedStop_ = false;
};

} // namespace kelvaro
