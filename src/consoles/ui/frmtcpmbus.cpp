#include "consoles/ui/frmtcpmbus.h"

#include "consoles/tcpconsole.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvaro {

FrmTCPMBus::FrmTCPMBus(TcpConsole& console, QWidget* parent)
    : QWidget(parent)
    , console_(console)
{
    setWindowTitle(QStringLiteral("TCP M-Bus"));
    txtIP = new QLineEdit(this);
    txtPort = new QLineEdit(QStringLiteral("10001"), this);
    txtSend = new QLineEdit(QStringLiteral("10;7B;0A;85;16;"), this);
    txtReply = new QPlainTextEdit(this);
    txtReply->setReadOnly(true);
    lblStatus = new QLabel(console_.statusText(), this);
    cmdConnect = new QPushButton(QStringLiteral("TCP Connect"), this);
    cmdSend = new QPushButton(QStringLiteral("TCP Send"), this);
    cmdClose = new QPushButton(QStringLiteral("TCP Close"), this);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("TCP/IP :"), txtIP);
    fields->addRow(QStringLiteral("Port :"), txtPort);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdConnect);
    buttons->addWidget(cmdClose);
    buttons->addStretch();
    auto* send = new QHBoxLayout;
    send->addWidget(txtSend, 1);
    send->addWidget(cmdSend);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addLayout(send);
    layout->addWidget(txtReply, 1);
    layout->addWidget(lblStatus);
    resize(520, 360);

    connect(cmdConnect, &QPushButton::clicked, this, &FrmTCPMBus::connectClicked);
    connect(cmdSend, &QPushButton::clicked, this, &FrmTCPMBus::sendClicked);
    connect(cmdClose, &QPushButton::clicked, this, &FrmTCPMBus::closeClicked);
}

// The waits run the event loop: the buttons stay off so that no second
// exchange starts inside the first.
void FrmTCPMBus::busy(bool on)
{
    for (QPushButton* button : {cmdConnect, cmdSend, cmdClose})
        button->setEnabled(!on);
}

void FrmTCPMBus::connectClicked()
{
    busy(true);
    // The corrected port shows while a failure message is still open.
    txtPort->setText(TcpConsole::PortFieldValue(txtPort->text()));
    QString port = txtPort->text();
    console_.connectButton(txtIP->text(), port);
    lblStatus->setText(console_.statusText());
    busy(false);
}

void FrmTCPMBus::sendClicked()
{
    busy(true);
    txtReply->clear();
    txtReply->setPlainText(console_.sendButton(txtSend->text()));
    lblStatus->setText(console_.statusText());
    busy(false);
}

void FrmTCPMBus::closeClicked()
{
    console_.TCPClose();
    lblStatus->setText(console_.statusText());
}

} // namespace kelvaro
