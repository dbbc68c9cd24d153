#include "testbench/ui/frmtarvolin.h"

#include "foundation/messages.h"
#include "foundation/ui/gridutil.h"
#include "mbus/ui/providerlist.h"
#include "mbus/wire/providerselect.h"
#include "testbench/secondarysearch.h"
#include "testbench/testbench.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QUrl>

namespace kelvaro::testbench {
namespace {

// The whole form; the window shows its top left part without the access word.
constexpr int kFormWidth = 1010;
constexpr int kFormHeight = 858;
constexpr int kRow = 22;
constexpr int kButton = 24;
// The list-import and modem frames stand 120 twips from the left edge.
constexpr int kFrameLeft = 8;

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, kRow);
    return l;
}

QLineEdit* edit(QWidget* parent, int x, int y, int w)
{
    auto* e = new QLineEdit(parent);
    e->setGeometry(x, y, w, kRow);
    return e;
}

QPushButton* button(QWidget* parent, const QString& caption, int x, int y, int w, const QString& toolTip = {})
{
    auto* b = new QPushButton(caption, parent);
    b->setGeometry(x, y, w, kButton);
    if (!toolTip.isEmpty())
        b->setToolTip(toolTip);
    return b;
}

QGroupBox* frame(QWidget* parent, const QString& title, int x, int y, int w, int h)
{
    auto* f = new QGroupBox(title, parent);
    f->setGeometry(x, y, w, h);
    return f;
}

QTableView* grid(QAbstractItemModel* model, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->setDefaultSectionSize(18);
    view->verticalHeader()->setVisible(false);
    return view;
}

void setTextUnlessEditing(QLineEdit* field, const QString& text)
{
    if (!field->hasFocus() && field->text() != text)
        field->setText(text);
}

} // namespace

FrmTarvolin::FrmTarvolin(TestBench& bench, QWidget* parent)
    : QMainWindow(parent)
    , bench_(bench)
{
    setWindowTitle(QStringLiteral("Tarvolin V4.3"));
    // A holder without layout: the window may be smaller than the form.
    auto* holder = new QWidget(this);
    form_ = new QWidget(holder);
    form_->setGeometry(0, 0, kFormWidth, kFormHeight);
    setCentralWidget(holder);

    buildReadingFrame(form_);
    buildHeaderFrame(form_);
    buildSearchFrames(form_);
    buildGrids(form_);
    buildTechnicianFrames(form_);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    mnuImportIni = file->addAction(QStringLiteral("I&mport INI"));
    file->addSeparator();
    mnuEnde = file->addAction(QStringLiteral("&Ende [Alt F4]"));

    connectCore();
    applyFormSize();
    refresh();
}

FrmTarvolin::~FrmTarvolin() { setWaitCursor(false); }

void FrmTarvolin::applyFormSize()
{
    if (bench_.fullSize())
        resize(kFormWidth, kFormHeight + menuBar()->sizeHint().height());
    else
        resize(kSmallWidth, kSmallHeight);
}

void FrmTarvolin::buildReadingFrame(QWidget* form)
{
    QGroupBox* f = frame(form, QStringLiteral("M-Bus lesen"), 4, 2, 300, 158);
    label(f, QStringLiteral("Prim.Adr."), 6, 18, 60);
    Text1 = edit(f, 66, 18, 34);
    label(f, QStringLiteral("Com"), 106, 18, 30);
    Text2 = edit(f, 136, 18, 30);
    Text2->setToolTip(QStringLiteral("An diesem Comport ist der Pegelwandler angeschlossen."));
    label(f, QStringLiteral("Baud"), 172, 18, 36);
    Text3 = edit(f, 208, 18, 56);
    label(f, QStringLiteral("ID"), 6, 44, 60);
    TextID = edit(f, 66, 44, 92);
    Combo1 = new QComboBox(f);
    Combo1->setGeometry(164, 44, 130, kRow);
    cmdLesenPrim = button(f, QStringLiteral("&M-Bus lesen Prim"), 6, 70, 142);
    cmdSekLesen = button(f, QStringLiteral("Sekundär lesen"), 152, 70, 142);
    cmdTestTelegramm = button(f, QStringLiteral("Test Telegramm"), 6, 98, 142,
                              QStringLiteral("Zeigt das eingebaute Beispiel-Telegramm eines Wärmezählers"));
    // Each caption as wide as its text in the font in use, so that none is cut.
    const int fieldWidth[4] = {28, 28, 24, 30};
    int x = 6;
    for (int i = 0; i < 4; ++i) {
        const int captionWidth = f->fontMetrics().horizontalAdvance(TimeoutCaptions()[i]) + 2;
        label(f, TimeoutCaptions()[i], x, 128, captionWidth);
        Text4[i] = edit(f, x + captionWidth, 128, fieldWidth[i]);
        Text4[i]->setToolTip(TimeoutToolTip(i));
        x += captionWidth + fieldWidth[i] + 4;
    }
}

void FrmTarvolin::buildHeaderFrame(QWidget* form)
{
    QGroupBox* f = frame(form, QString(), 308, 2, 429, 72);
    static const char* const captions[6] = {"Herst.", "Herst.Nr", "Vers.", "ID", "ID dez.", "Medium"};
    for (int i = 0; i < 6; ++i) {
        const int x = 6 + (i % 3) * 140;
        const int y = 14 + (i / 3) * 26;
        label(f, QString::fromUtf8(captions[i]), x, y, 58);
        HeaderField[i] = edit(f, x + 58, y, 78);
        HeaderField[i]->setReadOnly(true);
    }
}

void FrmTarvolin::buildSearchFrames(QWidget* form)
{
    QGroupBox* prim = frame(form, QStringLiteral("Primär Suche"), 308, 76, 429, 170);
    for (int i = 0; i < 6; ++i) {
        const int y = 16 + i * 17;
        Check1[i] = new QCheckBox(QString::number(SecondarySearch::kBaudRates[i]), prim);
        Check1[i]->setGeometry(6, y, 60, 17);
        LabelStatus[i] = new QLabel(prim);
        LabelStatus[i]->setGeometry(70, y, 353, 17);
    }
    label(prim, QStringLiteral("von"), 6, 121, 26);
    TextVon = edit(prim, 32, 121, 40);
    label(prim, QStringLiteral("bis"), 80, 121, 22);
    TextBis = edit(prim, 102, 121, 40);
    cmdPrimSuchen = button(prim, QStringLiteral("&Primär Suchen"), 150, 120, 120,
                           QStringLiteral("Sucht nach nach MBuszähler mit eingestellten Primäradressen."));
    cmdPrimStop = button(prim, QStringLiteral("Stop"), 274, 120, 60);
    LabelElapsed = label(prim, QString(), 6, 146, 417);

    QGroupBox* sek = frame(form, QStringLiteral("Sekundär Suche"), 4, 162, 300, 94);
    ComboPosition = new QComboBox(sek);
    ComboPosition->setGeometry(6, 16, 96, kRow);
    ComboPosition->setToolTip(QStringLiteral("Ab welcher Stelle fesucht werden soll. Führende Nullen werden ergänzt."));
    for (int k = 0; k < 8; ++k)
        ComboPosition->addItem(StartMask(k));
    LabelMask = label(sek, QString(), 108, 16, 80);
    LabelMask->setToolTip(QStringLiteral(
        "Gesuchte Adresse: f steht für einen Platzhalter ähnlich wie bei der Dateisuche das * oder ?"));
    LabelBaud = label(sek, QString(), 192, 16, 100);
    cmdSekSuchen = button(sek, QStringLiteral("Sekundär Adressen suchen"), 6, 42, 180,
                          QStringLiteral("Durchsucht den gesamten Bus mit den angeklickten Baudraten nach MBus Zähler"));
    cmdSekAbbrechen = button(sek, QStringLiteral("Abbrechen"), 190, 42, 104);
    LabelResult = label(sek, QString(), 6, 68, 288);

    ProgressBar1 = new QProgressBar(form);
    ProgressBar1->setGeometry(4, 260, 420, 20);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    cmdSpeichern = button(form, QStringLiteral("&Speichern"), 430, 258, 90,
                          QStringLiteral("Speicher die gefundenen Zähler in einer ASCII Datei."));
    cmdZwischenablage = button(form, QStringLiteral("&Zwischenabl."), 524, 258, 100,
                               QStringLiteral("Liste in die Zwischenablage kopieren"));
    cmdSchliessen = button(form, QStringLiteral("&Schließen"), 647, 258, 90);
}

void FrmTarvolin::buildGrids(QWidget* form)
{
    MSFlexGrid1 = grid(&bench_.foundGrid, form);
    MSFlexGrid1->setGeometry(4, 286, 733, 148);
    MSFlexGrid2 = grid(&bench_.resultGrid, form);
    MSFlexGrid2->setGeometry(4, 434, 440, 146);
    MSFlexGrid2->horizontalHeader()->setStretchLastSection(true);
    TextRaw = new QPlainTextEdit(form);
    TextRaw->setGeometry(448, 434, 289, 146);
    TextRaw->setReadOnly(true);
    TextRaw->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = TextRaw->font();
    fixed.setFamily(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    TextRaw->setFont(fixed);
}

void FrmTarvolin::buildTechnicianFrames(QWidget* form)
{
    QGroupBox* timeouts = frame(form, QStringLiteral("Time-Out Suche"), 745, 2, 260, 100);
    Combo2 = new QComboBox(timeouts);
    Combo2->setGeometry(6, 16, 248, kRow);
    for (int i = 0; i < 4; ++i) {
        const int x = i % 2 == 0 ? 6 : 130;
        const int y = 44 + (i / 2) * 26;
        label(timeouts, TimeoutCaptions()[i], x, y, 54);
        Text5[i] = edit(timeouts, x + 54, y, 60);
        Text5[i]->setToolTip(TimeoutToolTip(i));
    }

    FrameSpeed = frame(form, QStringLiteral("Geschwindigkeitstest"), 745, 106, 260, 100);
    cmdSpeedLesen = button(FrameSpeed, QStringLiteral("Lesen"), 6, 18, 100);
    cmdSpeedStop = button(FrameSpeed, QStringLiteral("Stop"), 112, 18, 60);
    label(FrameSpeed, QStringLiteral("Anz. gelesen"), 6, 48, 90);
    LabelSpeedCount = label(FrameSpeed, QString(), 100, 48, 150);
    label(FrameSpeed, QStringLiteral("in Sec"), 6, 70, 90);
    LabelSpeedSeconds = label(FrameSpeed, QString(), 100, 70, 150);

    FrameImport = frame(form, QStringLiteral("Liste und Index Import"), kFrameLeft, 596, 729, 170);
    File1 = new QListWidget(FrameImport);
    File1->setGeometry(6, 18, 220, 144);
    cmdListeLesen = button(FrameImport, QStringLiteral("Liste Lesen (txt)"), 232, 18, 150);
    cmdImportListe = button(FrameImport, QStringLiteral("&Import Liste in DB"), 232, 46, 150);
    cmdInDBSpeichern = button(FrameImport, QStringLiteral("In DB Speichern"), 232, 74, 150);
    cmdImportIndex = button(FrameImport, QStringLiteral("Import Inde&x"), 388, 18, 150);
    cmdImportAlleIndex = button(FrameImport, QStringLiteral("Import &Alle Index"), 388, 46, 150);
    cmdImportAbbrechen = button(FrameImport, QStringLiteral("&Abbrechen"), 388, 74, 150);
    LabelImport = label(FrameImport, QString(), 232, 102, 490);
    ImportReport = new QPlainTextEdit(FrameImport);
    ImportReport->setGeometry(232, 124, 490, 40);
    ImportReport->setReadOnly(true);

    FrameModem = frame(form, QStringLiteral("Modem"), kFrameLeft, 770, 729, 80);
    label(FrameModem, QStringLiteral("Init"), 6, 20, 30);
    TextModemInit = edit(FrameModem, 38, 20, 120);
    label(FrameModem, QStringLiteral("Wahl"), 166, 20, 36);
    TextModemDial = edit(FrameModem, 204, 20, 160);
    cmdWaehlen = button(FrameModem, QStringLiteral("Wählen"), 374, 19, 100);
    cmdModemSuchen = button(FrameModem, QStringLiteral("Suchen"), 480, 19, 100);
    cmdAuflegen = button(FrameModem, QStringLiteral("Auflegen"), 586, 19, 100);
    LabelModem = label(FrameModem, QString(), 6, 48, 700);
}

void FrmTarvolin::connectCore()
{
    TestBench& b = bench_;
    connect(Text1, &QLineEdit::textEdited, &b, &TestBench::setPrimAdr);
    connect(Text2, &QLineEdit::textEdited, &b, &TestBench::setComPort);
    connect(Text3, &QLineEdit::textEdited, &b, &TestBench::setBaud);
    connect(TextID, &QLineEdit::textEdited, this, [this](const QString& t) { bench_.idField = t; });
    for (int i = 0; i < 4; ++i) {
        connect(Text4[i], &QLineEdit::textEdited, this, [this, i](const QString& t) { bench_.setReadTimeout(i, t); });
        connect(Text5[i], &QLineEdit::textEdited, this, [this, i](const QString& t) { bench_.setSearchTimeout(i, t); });
    }
    for (QComboBox* combo : {Combo1, Combo2})
        connect(combo, qOverload<int>(&QComboBox::activated), this,
                [this, combo](int item) { bench_.providerChosen(combo->itemData(item).toInt()); });
    for (int i = 0; i < 6; ++i)
        connect(Check1[i], &QCheckBox::toggled, this, [this, i](bool on) { bench_.baudBoxes[i] = on; });
    connect(TextVon, &QLineEdit::textEdited, this, [this](const QString& t) { bench_.vonField = t; });
    connect(TextBis, &QLineEdit::textEdited, this, [this](const QString& t) { bench_.bisField = t; });
    connect(ComboPosition, qOverload<int>(&QComboBox::activated), &b, &TestBench::positionChosen);
    connect(TextModemInit, &QLineEdit::textEdited, this, [this](const QString& t) { bench_.modemInit = t; });
    connect(TextModemDial, &QLineEdit::textEdited, this, [this](const QString& t) { bench_.modemDial = t; });
    connect(MSFlexGrid1, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { bench_.foundRowDoubleClicked(index.row()); });
    connect(File1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { bench_.testFileChosen(item->text()); });

    const auto forward = [this](QPushButton* button, void (TestBench::*handler)()) {
        connect(button, &QPushButton::clicked, &bench_, handler);
    };
    forward(cmdLesenPrim, &TestBench::cmdLesenPrim);
    forward(cmdSekLesen, &TestBench::cmdSekLesen);
    forward(cmdTestTelegramm, &TestBench::cmdTestTelegramm);
    forward(cmdPrimSuchen, &TestBench::cmdPrimSuchen);
    forward(cmdPrimStop, &TestBench::cmdPrimStop);
    forward(cmdSpeedLesen, &TestBench::cmdSpeedLesen);
    forward(cmdSpeedStop, &TestBench::cmdSpeedStop);
    forward(cmdSekSuchen, &TestBench::cmdSekSuchen);
    forward(cmdSekAbbrechen, &TestBench::cmdSekAbbrechen);
    forward(cmdSpeichern, &TestBench::cmdSpeichern);
    forward(cmdListeLesen, &TestBench::cmdListeLesen);
    forward(cmdImportListe, &TestBench::cmdImportListe);
    forward(cmdInDBSpeichern, &TestBench::cmdInDBSpeichern);
    forward(cmdImportIndex, &TestBench::cmdImportIndex);
    forward(cmdImportAlleIndex, &TestBench::cmdImportAlleIndex);
    forward(cmdImportAbbrechen, &TestBench::cmdImportAbbrechen);
    forward(cmdWaehlen, &TestBench::cmdWaehlen);
    forward(cmdModemSuchen, &TestBench::cmdModemSuchen);
    forward(cmdAuflegen, &TestBench::cmdAuflegen);
    connect(cmdZwischenablage, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(bench_.clipboardText()); });
    connect(cmdSchliessen, &QPushButton::clicked, this, &QWidget::close);
    connect(mnuEnde, &QAction::triggered, this, &QWidget::close);
    connect(mnuImportIni, &QAction::triggered, this, &FrmTarvolin::openImportIni);

    connect(&b, &TestBench::changed, this, &FrmTarvolin::refresh);
    connect(&b, &TestBench::busyChanged, this, &FrmTarvolin::busyChanged);
    connect(&b, &TestBench::waitCursor, this, &FrmTarvolin::setWaitCursor);
    connect(&b, &TestBench::progressChanged, this, [this](int value, int maximum) {
        ProgressBar1->setRange(0, std::max(1, maximum));
        ProgressBar1->setValue(std::clamp(value, 0, std::max(1, maximum)));
    });
}

void FrmTarvolin::refresh()
{
    if (refreshing_)
        return;
    refreshing_ = true;
    const TestBench& b = bench_;
    setTextUnlessEditing(Text1, b.fields.primAdr);
    setTextUnlessEditing(Text2, b.fields.comPort);
    setTextUnlessEditing(Text3, b.fields.baud);
    setTextUnlessEditing(TextID, b.idField);
    for (int i = 0; i < 4; ++i) {
        setTextUnlessEditing(Text4[i], b.fields.readTimeouts[i]);
        setTextUnlessEditing(Text5[i], b.fields.searchTimeouts[i]);
        Text4[i]->setEnabled(b.timeoutFieldsEnabled);
        Text5[i]->setEnabled(b.timeoutFieldsEnabled);
    }
    for (QComboBox* combo : {Combo1, Combo2}) {
        if (combo->count() == 0)
            mbus::FillProviderList(combo, b.providerKind);
        combo->setCurrentIndex(b.providerKind);
    }
    const QString headerTexts[6] = {b.header.manufacturer, b.header.manufacturerNo, b.header.version,
                                    b.header.idRaw,        b.header.idDec,          b.header.medium};
    for (int i = 0; i < 6; ++i) {
        if (HeaderField[i]->text() == headerTexts[i])
            continue;
        HeaderField[i]->setText(headerTexts[i]);
        HeaderField[i]->setCursorPosition(0); // the beginning of a long medium text
    }
    if (TextRaw->toPlainText() != b.rawData)
        TextRaw->setPlainText(b.rawData);
    for (int i = 0; i < 6; ++i) {
        Check1[i]->setChecked(b.baudBoxes[i]);
        LabelStatus[i]->setText(b.statusLabels[i]);
    }
    setTextUnlessEditing(TextVon, b.vonField);
    setTextUnlessEditing(TextBis, b.bisField);
    LabelElapsed->setText(b.elapsedLabel);
    ComboPosition->setCurrentIndex(b.positionEntry);
    LabelMask->setText(b.maskLabel);
    LabelBaud->setText(b.baudLabel);
    LabelResult->setText(b.resultLabel);
    LabelSpeedCount->setText(b.speedCount);
    LabelSpeedSeconds->setText(b.speedSeconds);
    LabelImport->setText(b.importStatus);
    if (ImportReport->toPlainText() != b.importReport.join('\n'))
        ImportReport->setPlainText(b.importReport.join('\n'));
    setTextUnlessEditing(TextModemInit, b.modemInit);
    setTextUnlessEditing(TextModemDial, b.modemDial);
    LabelModem->setText(b.modemStatus);

    QStringList listed;
    for (int i = 0; i < File1->count(); ++i)
        listed << File1->item(i)->text();
    if (listed != b.testFiles) {
        File1->clear();
        File1->addItems(b.testFiles);
    }
    const auto chosen = File1->findItems(b.chosenTestFile, Qt::MatchExactly);
    if (!chosen.isEmpty())
        File1->setCurrentItem(chosen.first());
    else
        File1->clearSelection();

    const bool idle = !b.busy();
    for (QWidget* w : std::initializer_list<QWidget*>{
             cmdLesenPrim, cmdSekLesen, cmdTestTelegramm, cmdPrimSuchen, cmdSpeedLesen, cmdListeLesen, cmdImportListe,
             cmdInDBSpeichern, cmdImportIndex, cmdImportAlleIndex, cmdWaehlen, File1, Combo1, Combo2, ComboPosition})
        w->setEnabled(idle);
    cmdSekSuchen->setEnabled(idle && b.sekSuchenEnabled);
    cmdModemSuchen->setEnabled(idle && b.telStatus() == 4);
    cmdPrimStop->setEnabled(b.primStopEnabled);
    cmdSpeedStop->setEnabled(b.speedStopEnabled);
    cmdSekAbbrechen->setEnabled(b.sekAbbrechenEnabled);
    cmdImportAbbrechen->setEnabled(b.importAbbrechenEnabled);
    refreshing_ = false;
}

void FrmTarvolin::busyChanged(bool busy)
{
    if (busy) {
        // The buttons are disabled while a bus action runs. Left on the one
        // that started it, the focus would move on along the tab order into
        // the next enabled field (the time-out fields follow the reading
        // buttons), text selected, so that the next keystroke rewrote a
        // setting. It waits on the form instead and comes back afterwards.
        focusBeforeBusy_ = QApplication::focusWidget();
        if (focusBeforeBusy_ && isAncestorOf(focusBeforeBusy_))
            form_->setFocus(Qt::OtherFocusReason);
    }
    refresh();
    if (!busy) {
        AutoSizeGridColumns(MSFlexGrid1);
        AutoSizeGridColumns(MSFlexGrid2);
        if (focusBeforeBusy_ && focusBeforeBusy_->isEnabled() && focusBeforeBusy_->isVisible()
            && form_->hasFocus())
            focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
        focusBeforeBusy_ = nullptr;
    }
}

void FrmTarvolin::setWaitCursor(bool on)
{
    if (on == waitCursor_)
        return;
    waitCursor_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void FrmTarvolin::openImportIni()
{
    const QFileInfo file(bench_.importIndexFile());
    if (!file.exists()) {
        ShowMessageBox(QStringLiteral("Datei nicht gefunden : ") + file.fileName());
        return;
    }
    // The desktop's text editor takes the place of notepad.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath())))
        ShowMessageBox(QStringLiteral("Kein Programm zum Öffnen von ") + file.fileName());
}

void FrmTarvolin::closeEvent(QCloseEvent* event)
{
    // A running bus action ends at its next wait; the program ends after it.
    bench_.stopAll();
    setWaitCursor(false);
    event->accept();
}

} // namespace kelvaro::testbench
