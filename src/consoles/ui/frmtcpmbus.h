#pragma once
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kelvaro {

class TcpConsole;

// The TCP console window: address, port and frame fields, the three buttons,
// the reply box and the connection state. The work is TcpConsole's.
class FrmTCPMBus : public QWidget {
    Q_OBJECT
public:
    explicit FrmTCPMBus(TcpConsole& console, QWidget* parent = nullptr);

    QLineEdit* txtIP = nullptr;
    QLineEdit* txtPort = nullptr;
    QLineEdit* txtSend = nullptr;
    QPlainTextEdit* txtReply = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* cmdConnect = nullptr;
    QPushButton* cmdSend = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void connectClicked();
    void sendClicked();
    void closeClicked();
    void busy(bool on);

    TcpConsole& console_;
};

} // namespace kelvaro
