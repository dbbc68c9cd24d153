#include "consoles/ui/frmmbusfelsbrunn.h"

#include "consoles/serialconsole.h"
#include "consoles/ui/frmmbuslog.h"
#include "foundation/messages.h"
#include "mbus/valuetable.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <utility>

namespace kelvaro {

FrmMBusFelsbrunn::FrmMBusFelsbrunn(SerialConsole& console, FrmMBusLog& log, QWidget* parent)
    : QWidget(parent)
    , console_(console)
    , log_(log)
{
    setWindowTitle(QStringLiteral("M-Bus Serielle Konsole"));
    auto* grid = new QGridLayout(this);

    cboPort = new QComboBox(this);
    for (int port = 1; port <= 16; ++port)
        cboPort->addItem(QString::number(port), port);
    cboBaud = new QComboBox(this);
    for (const int baud : SerialConsole::baudRates())
        cboBaud->addItem(QString::number(baud), baud);
    cboBaud->setCurrentText(QStringLiteral("2400"));
    lblState = new QLabel(console.stateText(), this);
    cmdOpen = new QPushButton(QStringLiteral("&Open"), this);
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdSend = new QPushButton(QStringLiteral("&Send"), this);
    grid->addWidget(cboPort, 0, 0);
    grid->addWidget(cboBaud, 0, 1);
    grid->addWidget(lblState, 0, 2);
    grid->addWidget(cmdOpen, 0, 3);
    grid->addWidget(cmdClose, 0, 4);

    lstSelection = new QListWidget(this);
    lstSelection->addItems(console.selectionList());
    txtSend = new QLineEdit(console.defaultSendText(), this);
    grid->addWidget(lstSelection, 1, 0, 1, 5);
    grid->addWidget(txtSend, 2, 0, 1, 4);
    grid->addWidget(cmdSend, 2, 4);

    auto* header = new QFormLayout;
    txtMedium = new QLineEdit(this);
    txtIdent = new QLineEdit(this);
    txtVersion = new QLineEdit(this);
    txtManufacturer = new QLineEdit(this);
    txtAddress = new QLineEdit(this);
    header->addRow(QStringLiteral("Medium"), txtMedium);
    header->addRow(QStringLiteral("Identifikation"), txtIdent);
    header->addRow(QStringLiteral("Version"), txtVersion);
    header->addRow(QStringLiteral("Hersteller"), txtManufacturer);
    header->addRow(QStringLiteral("Primäradresse"), txtAddress);
    grid->addLayout(header, 3, 0, 1, 2);
    grdResult = new QTableWidget(this);
    grdResult->horizontalHeader()->setStretchLastSection(true);
    grid->addWidget(grdResult, 3, 2, 1, 3);

    auto* speed = new QGroupBox(QStringLiteral("Geschwindigkeitstest"), this);
    auto* speedRow = new QGridLayout(speed);
    speedRow->addWidget(new QLabel(QStringLiteral("von"), speed), 0, 0);
    txtSpeedFrom = new QLineEdit(QStringLiteral("1"), speed);
    speedRow->addWidget(txtSpeedFrom, 0, 1);
    speedRow->addWidget(new QLabel(QStringLiteral("bis"), speed), 0, 2);
    txtSpeedTo = new QLineEdit(QStringLiteral("250"), speed);
    speedRow->addWidget(txtSpeedTo, 0, 3);
    cmdSpeedRead = new QPushButton(QStringLiteral("Lesen"), speed);
    cmdSpeedStop = new QPushButton(QStringLiteral("Stop"), speed);
    cmdSpeedStop->setEnabled(false);
    speedRow->addWidget(cmdSpeedRead, 0, 4);
    speedRow->addWidget(cmdSpeedStop, 0, 5);
    speedRow->addWidget(new QLabel(QStringLiteral("Anz. gelesen"), speed), 1, 0);
    lblSpeedCount = new QLabel(speed);
    speedRow->addWidget(lblSpeedCount, 1, 1);
    speedRow->addWidget(new QLabel(QStringLiteral("in Sec"), speed), 1, 2);
    lblSpeedSeconds = new QLabel(speed);
    speedRow->addWidget(lblSpeedSeconds, 1, 3);
    grid->addWidget(speed, 4, 0, 1, 5);

    lblMessage = new QLabel(this);
    grid->addWidget(lblMessage, 5, 0, 1, 5);

    // Only choosing an entry (click or arrow keys) fills the send field: the
    // focus moving into the list makes its first row current without
    // selecting it, and must not overwrite a typed frame.
    connect(lstSelection, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = lstSelection->selectedItems();
        if (!chosen.isEmpty())
            txtSend->setText(SerialConsole::frameOfEntry(chosen.first()->text()));
    });
    console_.choosePort(cboPort->currentData().toInt());
    connect(cboPort, &QComboBox::currentIndexChanged, this,
            [this] { console_.choosePort(cboPort->currentData().toInt()); });
    connect(cmdOpen, &QPushButton::clicked, this, &FrmMBusFelsbrunn::openPort);
    connect(cmdClose, &QPushButton::clicked, this, &FrmMBusFelsbrunn::closePort);
    connect(cmdSend, &QPushButton::clicked, this, &FrmMBusFelsbrunn::sendFrame);
    connect(cmdSpeedRead, &QPushButton::clicked, this, &FrmMBusFelsbrunn::runSpeedTest);
    connect(cmdSpeedStop, &QPushButton::clicked, this, [this] { speedStop_ = true; });
    // A line that goes away closes the port, also between exchanges.
    connect(&console_, &SerialConsole::lineLost, this, [this](const QString& reason) {
        lblState->setText(console_.stateText());
        lblMessage->setText(QStringLiteral("Leitung verloren (") + reason + QLatin1Char(')'));
    });
    log.show();
    resize(760, 620);
}

void FrmMBusFelsbrunn::closeEvent(QCloseEvent* event)
{
    if (console_.busy()) {
        closeAfterExchange_ = true;
        speedStop_ = true;
        event->ignore();
        return;
    }
    console_.close();
    lblState->setText(console_.stateText());
    log_.close();
    QWidget::closeEvent(event);
}

void FrmMBusFelsbrunn::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    log_.show();
}

// The waits of an exchange run the event loop: every control that would
// start a second exchange or take the port away stays off meanwhile.
void FrmMBusFelsbrunn::busControlsEnabled(bool on)
{
    for (QWidget* w : {cmdOpen, cmdClose, cmdSend, cmdSpeedRead})
        w->setEnabled(on);
}

void FrmMBusFelsbrunn::exchangeEnded()
{
    lblState->setText(console_.stateText());
    busControlsEnabled(true);
    if (std::exchange(closeAfterExchange_, false))
        close();
}

void FrmMBusFelsbrunn::closePort()
{
    console_.close();
    lblState->setText(console_.stateText());
}

void FrmMBusFelsbrunn::openPort()
{
    QString message;
    if (!console_.open(cboPort->currentData().toInt(), cboBaud->currentData().toInt(), &message)) {
        lblMessage->setText(message);
        ShowMessageBox(message);
    }
    lblState->setText(console_.stateText());
}

void FrmMBusFelsbrunn::sendFrame()
{
    QString message;
    // A failed exchange must not leave the previous meter's values on show.
    for (auto* field : {txtMedium, txtIdent, txtVersion, txtManufacturer, txtAddress})
        field->clear();
    grdResult->setRowCount(0);
    busControlsEnabled(false);
    const bool read = console_.send(txtSend->text(), &message);
    if (!message.isEmpty()) {
        lblMessage->setText(message);
        if (!closeAfterExchange_) // the operator is leaving: no box to click away
            ShowMessageBox(message);
    }
    if (read)
        showTelegram();
    exchangeEnded();
}

void FrmMBusFelsbrunn::showTelegram()
{
    const auto& p = console_.provider();
    txtMedium->setText(p.APPMediumAsc());
    txtIdent->setText(p.APPDeviceIDDec());
    txtVersion->setText(QString::number(p.APPGenerationNo()));
    txtManufacturer->setText(p.APPManufacturerIDAsc());
    txtAddress->setText(QString::number(p.APPAField()));
    const auto display = mbus::MB_TelegrammAnzeigen(p);
    grdResult->clear();
    grdResult->setColumnCount(int(display.headers.size()));
    grdResult->setHorizontalHeaderLabels(display.headers);
    grdResult->setRowCount(int(display.rows.size()));
    for (int r = 0; r < display.rows.size(); ++r)
        for (int c = 0; c < display.rows[r].size(); ++c)
            grdResult->setItem(r, c, new QTableWidgetItem(display.rows[r][c]));
}

void FrmMBusFelsbrunn::runSpeedTest()
{
    busControlsEnabled(false);
    cmdSpeedStop->setEnabled(true);
    speedStop_ = false;
    const auto show = [this](const SerialConsole::SpeedResult& r) {
        lblSpeedCount->setText(QString::number(r.read));
        lblSpeedSeconds->setText(QString::number(r.milliseconds / 1000.0, 'f', 2).replace('.', ','));
        return !speedStop_;
    };
    QString message;
    const auto result = console_.speedTest(txtSpeedFrom->text().toInt(), txtSpeedTo->text().toInt(), show, &message);
    show(result);
    lblMessage->setText(message);
    if (result.lineLostAt >= 0 && !closeAfterExchange_)
        ShowMessageBox(message);
    cmdSpeedStop->setEnabled(false);
    exchangeEnded();
}

} // namespace kelvaro
