#include "master/ui/frmkelvarov4.h"

#include "foundation/messages.h"
#include "foundation/ui/gridutil.h"
#include "master/masterstation.h"
#include "master/ui/gridcolumnfitter.h"
#include "mbus/ui/providerlist.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace kelvaro::master {
namespace {

QTableView* grid(QAbstractItemModel* model, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->setDefaultSectionSize(18);
    return view;
}

} // namespace

FrmKelvaroV4::FrmKelvaroV4(MasterStation& station, QWidget* parent)
    : QMainWindow(parent)
    , station_(station)
{
    setWindowTitle(QStringLiteral("Kelvaro V1.1"));
    auto* central = new QWidget(this);
    auto* layout = new QGridLayout(central);

    auto* meterFrame = new QGroupBox(QStringLiteral("Zählerliste"), central);
    auto* meterLayout = new QVBoxLayout(meterFrame);
    MSFlexGrid1 = grid(&station.meters, meterFrame);
    meterLayout->addWidget(MSFlexGrid1);
    meterColumns_ = new GridColumnFitter(MSFlexGrid1);
    layout->addWidget(meterFrame, 0, 0, 3, 1);

    auto* buttons = new QHBoxLayout;
    cmdStart = new QPushButton(QStringLiteral("St&art"), central);
    cmdStop = new QPushButton(QStringLiteral("&Stop"), central);
    cmdWeiter = new QPushButton(QStringLiteral("Weiter"), central);
    TestZaehlerLaden = new QPushButton(QStringLiteral("Testzähler laden"), central);
    cmd_V2_MBLesenSecundaer = new QPushButton(QStringLiteral("V2_MB_LesenSecundaer"), central);
    for (QPushButton* b : {cmdStart, cmdStop, cmdWeiter, TestZaehlerLaden, cmd_V2_MBLesenSecundaer})
        buttons->addWidget(b);
    layout->addLayout(buttons, 3, 0);

    Label1 = new QLabel(central);
    Label5 = new QLabel(central);
    Label6 = new QLabel(central);
    Label7 = new QLabel(central);
    auto* labels = new QVBoxLayout;
    for (QLabel* l : {Label1, Label5, Label6, Label7})
        labels->addWidget(l);
    layout->addLayout(labels, 4, 0, 1, 2);

    Frame4 = new QGroupBox(central);
    auto* logLayout = new QVBoxLayout(Frame4);
    MSFlexGrid4 = grid(&station.log.grid, Frame4);
    MSFlexGrid4->setColumnWidth(0, 140);
    MSFlexGrid4->setColumnWidth(1, 200);
    MSFlexGrid4->horizontalHeader()->setStretchLastSection(true);
    logColumns_ = new GridColumnFitter(MSFlexGrid4);
    logLayout->addWidget(MSFlexGrid4);
    layout->addWidget(Frame4, 0, 1);

    Frame5 = new QGroupBox(QStringLiteral("Indexliste"), central);
    auto* indexLayout = new QVBoxLayout(Frame5);
    Combo3 = new QComboBox(Frame5);
    MSFlexGrid2 = grid(&station.manual.indexGrid, Frame5);
    cmdSpeichernIndexliste = new QPushButton(QStringLiteral("Indexliste Speichern"), Frame5);
    cmdSpeichernIndexliste->setToolTip(QStringLiteral(
        "Kopiert die gerade gelesenen Indexe in die MB_IndexListe; alte Einträge werden überschrieben oder gelöscht."));
    indexLayout->addWidget(Combo3);
    indexLayout->addWidget(MSFlexGrid2);
    indexLayout->addWidget(cmdSpeichernIndexliste);
    layout->addWidget(Frame5, 0, 1);

    layout->addWidget(new QLabel(QStringLiteral("Zyklus-Zeiten"), central), 1, 1);
    MSFlexGrid3 = grid(&station.cycle.durations, central);
    MSFlexGrid3->setMaximumHeight(110);
    layout->addWidget(MSFlexGrid3, 2, 1);

    buildSettingsPanel(central);
    setCentralWidget(central);

    mnuEnde = menuBar()->addAction(QStringLiteral("&Ende"));
    mnuEinstellung = menuBar()->addAction(QStringLiteral("&Einstellungen"));
    mnuLog = menuBar()->addAction(QStringLiteral("&Log"));

    connect(cmdStart, &QPushButton::clicked, &station, &MasterStation::cmdStart);
    connect(cmdStop, &QPushButton::clicked, &station, &MasterStation::cmdStop);
    connect(cmdWeiter, &QPushButton::clicked, &station, &MasterStation::cmdWeiter);
    connect(TestZaehlerLaden, &QPushButton::clicked, &station, &MasterStation::TestZaehlerLaden);
    connect(cmd_V2_MBLesenSecundaer, &QPushButton::clicked, this,
            [this] { station_.cmd_V2_MBLesenSecundaer(currentMeterRow()); });
    connect(MSFlexGrid1, &QTableView::clicked, this, [this](const QModelIndex& i) { station_.meterRowChosen(i.row() + 1); });
    connect(Combo3, qOverload<int>(&QComboBox::activated), &station, &MasterStation::combo3Chosen);
    connect(cmdSpeichernIndexliste, &QPushButton::clicked, this,
            [this] { station_.cmdSpeichernIndexliste(Combo3->currentIndex()); });
    connect(mnuEnde, &QAction::triggered, this, [this] {
        if (AskYesNo(QStringLiteral("Sind sie sicher?"), false, station_.windowCaption() + QStringLiteral(" beenden")))
            station_.mnuEnde();
    });
    connect(mnuEinstellung, &QAction::triggered, &station, &MasterStation::mnuEinstellung);
    connect(mnuLog, &QAction::triggered, &station, &MasterStation::mnuLog);
    connect(&station, &MasterStation::stateChanged, this, &FrmKelvaroV4::refresh);
    connect(&station, &MasterStation::label1Changed, Label1, &QLabel::setText);
    connect(&station, &MasterStation::rowSelected, this, [this](int row) { SelectGridRow(MSFlexGrid1, row - 1); });
    connect(&station, &MasterStation::minimiseRequested, this, [this](bool minimised) {
        if (minimised)
            showMinimized();
        else
            showNormal();
    });
    connect(&station, &MasterStation::closeRequested, this, &QWidget::close);
    connect(&station, &MasterStation::message, this,
            [](const QString& text, const QString& title) { ShowMessageBox(text, title); });
    refresh();
}

void FrmKelvaroV4::buildSettingsPanel(QWidget* parent)
{
    Frame3 = new QGroupBox(QStringLiteral("Einstellungen"), parent);
    Frame3->setAutoFillBackground(true);
    auto* form = new QFormLayout(Frame3);
    Text1 = new QLineEdit(Frame3);
    form->addRow(QStringLiteral("Intervall :"), Text1);
    auto* timeoutFrame = new QGroupBox(QStringLiteral("Time-Out"), Frame3);
    auto* timeoutForm = new QFormLayout(timeoutFrame);
    static const char* const captions[] = {"Com :", "Offset :", "Byte :", "Deadtime :"};
    for (int i = 0; i < 4; ++i) {
        Text4[i] = new QLineEdit(timeoutFrame);
        timeoutForm->addRow(QString::fromLatin1(captions[i]), Text4[i]);
        connect(Text4[i], &QLineEdit::textEdited, this, [this, i](const QString& t) { station_.text4Changed(i, t); });
    }
    form->addRow(timeoutFrame);
    Text3 = new QLineEdit(Frame3);
    Text3->setReadOnly(true);
    form->addRow(QStringLiteral("Korvanis :"), Text3);
    static const char* const checks[] = {"Speichern aller Indexe in Datenbank", "Speichern aller Indexe in MBuslog",
                                         "Speichern aller Indexe in RB6 Dateien", "Korvanis alle"};
    for (int i = 0; i < 4; ++i) {
        Check1[i] = new QCheckBox(QString::fromUtf8(checks[i]), Frame3);
        form->addRow(Check1[i]);
        connect(Check1[i], &QCheckBox::clicked, this, [this, i](bool on) { station_.check1Clicked(i, on); });
    }
    Frame6 = new QLabel(QStringLiteral("Speicher-Intervall :"), Frame3);
    form->addRow(Frame6);
    Combo1 = new QComboBox(Frame3);
    Combo2 = new QComboBox(Frame3);
    form->addRow(Combo1);
    form->addRow(Combo2);
    cmdTestService = new QPushButton(QStringLiteral("Test Ormund"), Frame3);
    cmdEinstellungenZurueck = new QPushButton(QStringLiteral("Zurück"), Frame3);
    form->addRow(cmdTestService, cmdEinstellungenZurueck);
    Frame3->setVisible(false);

    connect(Text1, &QLineEdit::textEdited, &station_, &MasterStation::text1Changed);
    for (QComboBox* combo : {Combo1, Combo2})
        connect(combo, qOverload<int>(&QComboBox::activated), &station_, &MasterStation::providerChosen);
    connect(cmdTestService, &QPushButton::clicked, &station_, &MasterStation::cmdTestService);
    connect(cmdEinstellungenZurueck, &QPushButton::clicked, &station_, &MasterStation::cmdEinstellungenZurueck);
}

int FrmKelvaroV4::currentMeterRow() const
{
    const QModelIndex current = MSFlexGrid1->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void FrmKelvaroV4::refresh()
{
    if (refreshing_)
        return;
    refreshing_ = true;
    setWindowTitle(station_.windowCaption());
    Label1->setText(station_.label1);
    Label5->setText(station_.label5);
    Label6->setText(station_.label6);
    Label7->setText(station_.label7);
    cmdStart->setEnabled(station_.cmdStartEnabled);
    cmdStop->setEnabled(station_.cmdStopEnabled);
    cmdWeiter->setEnabled(station_.cmdWeiterEnabled);
    TestZaehlerLaden->setEnabled(station_.testFunctionsEnabled);
    cmd_V2_MBLesenSecundaer->setEnabled(station_.testFunctionsEnabled);
    Frame4->setVisible(station_.logViewVisible);
    Frame5->setVisible(!station_.logViewVisible);
    MSFlexGrid4->setVisible(!station_.logGridHidden);
    if (station_.settingsVisible && !Frame3->isVisible()) {
        // The settings panel lies over the top left corner of the window.
        Frame3->adjustSize();
        Frame3->move(10, 10);
        Frame3->raise();
    }
    Frame3->setVisible(station_.settingsVisible);
    if (!Text1->hasFocus())
        Text1->setText(station_.text1);
    const StationSettings& settings = station_.settings;
    for (int i = 0; i < 4; ++i) {
        if (!Text4[i]->hasFocus())
            Text4[i]->setText(QString::number(settings.timeout(*TimeoutFieldAt(i))));
        Check1[i]->setChecked(settings.store[*StoreSwitchAt(i)]);
    }
    Frame6->setVisible(settings.store[StoreSwitch::Database]);
    Text3->setText(QString::number(settings.KorvanisIntervall));
    if (Combo2->count() == 0) {
        mbus::FillProviderList(Combo1, settings.providerKind);
        mbus::FillProviderList(Combo2, settings.providerKind);
    }
    const QStringList& chooser = station_.meters.chooserItems();
    if (Combo3->count() != chooser.size()) {
        Combo3->clear();
        Combo3->addItems(chooser);
    }
    meterColumns_->fit();
    if (MSFlexGrid4->isVisible())
        logColumns_->fit();
    refreshing_ = false;
}

void FrmKelvaroV4::closeEvent(QCloseEvent* event)
{
    station_.formUnload();
    event->accept();
}

} // namespace kelvaro::master
