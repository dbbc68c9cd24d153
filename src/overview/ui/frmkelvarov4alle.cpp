#include "overview/ui/frmkelvarov4alle.h"

#include "foundation/messages.h"
#include "foundation/ui/gridutil.h"
#include "mbus/ui/providerlist.h"
#include "overview/overview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTableView>
#include <QVBoxLayout>

namespace kelvaro::overview {

FrmKelvaroV4Alle::FrmKelvaroV4Alle(Overview& overview, QWidget* parent)
    : QMainWindow(parent), overview_(overview)
{
    setWindowTitle(QStringLiteral("OVX Kelvaro V4.1"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* frame = new QGroupBox(QStringLiteral("Übersicht"), central);
    auto* frameLayout = new QVBoxLayout(frame);
    MSFlexGrid1 = new QTableView(frame);
    MSFlexGrid1->setModel(&overview.grid);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(18);
    MSFlexGrid1->verticalHeader()->hide();
    frameLayout->addWidget(MSFlexGrid1);
    layout->addWidget(frame, 1);

    auto* labels = new QGridLayout;
    lblDatenbank = new QLabel(central);
    lblDaten = new QLabel(central);
    lblPfad = new QLabel(central);
    const QStringList captions{QStringLiteral("Datenbank :"), QStringLiteral("Daten :"), QStringLiteral("Pfad :")};
    const QList<QLabel*> values{lblDatenbank, lblDaten, lblPfad};
    for (int i = 0; i < 3; ++i) {
        labels->addWidget(new QLabel(captions[i], central), i, 0);
        labels->addWidget(values[i], i, 1);
    }
    labels->setColumnStretch(1, 1);
    layout->addLayout(labels);

    chkwerteprotokoll = new QCheckBox(QStringLiteral("M-Bus Werte Protokollieren (\\xxxxxxMB.log)"), central);
    layout->addWidget(chkwerteprotokoll);
    auto* restart = new QHBoxLayout;
    Check1 = new QCheckBox(QStringLiteral("MBus Neustart um :"), central);
    Text2 = new QLineEdit(central);
    Text2->setMaximumWidth(80);
    restart->addWidget(Check1);
    restart->addWidget(Text2);
    restart->addStretch();
    layout->addLayout(restart);
    Check2 = new QCheckBox(QStringLiteral("Mit Index-Export"), central);
    layout->addWidget(Check2);

    Combo1 = new QComboBox(central);
    layout->addWidget(Combo1);
    setCentralWidget(central);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    MnuZaehler = file->addAction(QStringLiteral("Zählerliste"));
    mnuImportLogFile = file->addAction(QStringLiteral("&Import LogFile"));
    mnuTarvolin = file->addAction(QStringLiteral("Tarvolin"));
    file->addSeparator();
    mnuEnde = file->addAction(QStringLiteral("&Beenden"));

    connect(MnuZaehler, &QAction::triggered, &overview, &Overview::openMeterList);
    connect(mnuImportLogFile, &QAction::triggered, &overview, &Overview::openLogImport);
    connect(mnuTarvolin, &QAction::triggered, &overview, &Overview::openTestBench);
    connect(mnuEnde, &QAction::triggered, this, &QWidget::close);

    // A click chooses the row, as does Enter; the running-port list keeps a
    // double click from starting twice.
    connect(MSFlexGrid1, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        overview_.chooseRow(index.row());
    });
    connect(MSFlexGrid1, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        overview_.chooseRow(index.row());
    });
    connect(Combo1, &QComboBox::activated, &overview, &Overview::chooseProvider);
    connect(chkwerteprotokoll, &QCheckBox::clicked, &overview, &Overview::setLogValues);
    connect(Check2, &QCheckBox::clicked, &overview, &Overview::setIndexExport);
    connect(Check1, &QCheckBox::clicked, this, &FrmKelvaroV4Alle::restartChanged);
    connect(Text2, &QLineEdit::editingFinished, this, [this] {
        if (Check1->isChecked())
            restartChanged();
    });
    connect(&overview, &Overview::loaded, this, &FrmKelvaroV4Alle::showLoaded);
    connect(&overview.grid, &QAbstractItemModel::dataChanged, this, [this] { AutoSizeGridColumns(MSFlexGrid1); });

    resize(760, 420);
}

void FrmKelvaroV4Alle::showLoaded()
{
    lblDatenbank->setText(overview_.databaseLabel());
    lblDaten->setText(overview_.dataLabel());
    lblPfad->setText(overview_.logNameLabel());
    mbus::FillProviderList(Combo1, overview_.providerKind());
    const OverviewSwitches& switches = overview_.switches();
    chkwerteprotokoll->setChecked(switches.logValues);
    Check1->setChecked(!switches.restartAt.isEmpty() && overview_.dailyRestart().time().isValid());
    Text2->setText(switches.restartAt);
    Check2->setChecked(switches.indexExport);
    AutoSizeGridColumns(MSFlexGrid1);
}

} // namespace kelvaro::overview

namespace kelvaro::overview {

void FrmKelvaroV4Alle::restartChanged()
{
    const bool on = Check1->isChecked();
    if (overview_.setDailyRestart(on, Text2->text())) {
        if (on)
            Text2->setText(overview_.switches().restartAt);
        return;
    }
    Check1->setChecked(false);
    overview_.setDailyRestart(false, {});
    ShowMessageBox(QStringLiteral("Keine gültige Uhrzeit (hh:mm) : ") + Text2->text());
}

} // namespace kelvaro::overview
