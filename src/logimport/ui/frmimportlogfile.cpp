#include "logimport/ui/frmimportlogfile.h"

#include "foundation/lasterror.h"
#include "foundation/processlock.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"
#include "foundation/ui/gridutil.h"
#include "logimport/rb6tools.h"
#include "logimport/ui/textfilegrid.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace kelvaro::logimport {
namespace {

constexpr int kTestFileStep = 900;
constexpr qint64 kTestFileMaxElements = 366 * 96; // a year of quarter hours
constexpr int kProgressRefreshMs = 100;

QTableView* grid(QWidget* parent, GridModel* model)
{
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->setDefaultSectionSize(18);
    view->verticalHeader()->setVisible(false);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

QLineEdit* field(QWidget* parent, int width)
{
    auto* edit = new QLineEdit(parent);
    edit->setFixedWidth(width);
    return edit;
}

void addLabelled(QHBoxLayout* row, QWidget* parent, const QString& caption, QWidget* widget)
{
    row->addWidget(new QLabel(caption, parent));
    row->addWidget(widget);
}

QString percentText(const ImportProgress& p)
{
    const qint64 percent = p.fileBytes > 0 ? qRound64(double(p.bytes) * 100.0 / double(p.fileBytes)) : 0;
    return QStringLiteral("%1  (%2%)").arg(p.lines).arg(percent);
}

} // namespace

FrmImportLogFile::FrmImportLogFile(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Import Log Datei"));
    auto* form = new QWidget(this);
    auto* layout = new QVBoxLayout(form);
    layout->addWidget(buildImport(), 3);
    layout->addWidget(buildTools(), 2);
    setCentralWidget(form);
    connectControls();
    lockTimer_ = new QTimer(this);
    lockTimer_->setInterval(1000);
    connect(lockTimer_, &QTimer::timeout, this, &FrmImportLogFile::refreshLockState);
    resize(1280, 800);
}

FrmImportLogFile::~FrmImportLogFile() = default;

QWidget* FrmImportLogFile::buildImport()
{
    auto* box = new QGroupBox(QStringLiteral("Log-Dateien"), this);
    auto* layout = new QVBoxLayout(box);

    auto* range = new QHBoxLayout;
    Text5[4] = field(box, 110);
    Text5[5] = field(box, 110);
    Text8 = field(box, 50);
    cmdImport = new QPushButton(QStringLiteral("Import"), box);
    cmdImport->setToolTip(QStringLiteral("Die RB6-Dateien des Mandanten aus den Log-Dateien der Tage neu aufbauen; "
                                         "die alten Dateien werden in einen Sicherungsordner verschoben"));
    cmdTageswerte = new QPushButton(QStringLiteral("Tageswerte"), box);
    cmdTageswerte->setToolTip(QStringLiteral("Je Tag die letzten Werte der MBus-Adresse"));
    cmdAbbrechen = new QPushButton(QStringLiteral("Abbrechen"), box);
    addLabelled(range, box, QStringLiteral("Erster Tag :"), Text5[4]);
    addLabelled(range, box, QStringLiteral("Letzter Tag :"), Text5[5]);
    range->addWidget(cmdImport);
    range->addSpacing(16);
    addLabelled(range, box, QStringLiteral("MBus Adresse :"), Text8);
    range->addWidget(cmdTageswerte);
    range->addStretch();
    range->addWidget(cmdAbbrechen);
    layout->addLayout(range);

    auto* single = new QHBoxLayout;
    Text1 = new QLineEdit(box);
    cmdDateiLesen = new QPushButton(QStringLiteral("Datei Lesen"), box);
    cmdDateiLesen->setToolTip(QStringLiteral("Diese eine Log-Datei in die RB6-Dateien importieren"));
    cmdDateiAnzeigen = new QPushButton(QStringLiteral("Datei anzeigen"), box);
    cmdDateiAnzeigen->setToolTip(QStringLiteral("Die Zeilen der Datei in Spalten zeigen"));
    addLabelled(single, box, QStringLiteral("Log-Datei :"), Text1);
    single->addWidget(cmdDateiLesen);
    single->addWidget(cmdDateiAnzeigen);
    layout->addLayout(single);

    Label4_0 = new QLabel(box);
    layout->addWidget(Label4_0);
    auto* progress = new QHBoxLayout;
    Label5 = new QLabel(box);
    Label2 = new QLabel(box);
    Label2->setMinimumWidth(140);
    ProgressBar1 = new QProgressBar(box);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFixedWidth(220);
    progress->addWidget(Label5, 1);
    progress->addWidget(Label2);
    progress->addWidget(ProgressBar1);
    layout->addLayout(progress);
    LabelSperre = new QLabel(lockedText(), box);
    LabelSperre->setStyleSheet(QStringLiteral("color: #b00000"));
    LabelSperre->setVisible(false);
    layout->addWidget(LabelSperre);

    auto* grids = new QHBoxLayout;
    MSFlexGrid1 = grid(box, &importGrid);
    MSFlexGrid5 = grid(box, &dailyGrid);
    grids->addWidget(MSFlexGrid1, 2);
    grids->addWidget(MSFlexGrid5, 3);
    layout->addLayout(grids, 1);
    return box;
}

QWidget* FrmImportLogFile::buildTools()
{
    auto* box = new QGroupBox(QStringLiteral("RB6-Datei"), this);
    auto* layout = new QVBoxLayout(box);

    auto* file = new QHBoxLayout;
    Text3 = new QLineEdit(box);
    Text4 = field(box, 80);
    Text4->setToolTip(QStringLiteral("LZNR des Zählers, auch LZNR/Index; setzt die RB6-Datei"));
    cmdDatInfoLesen = new QPushButton(QStringLiteral("DatInfoLesen"), box);
    cmdErzeugeTestDatei = new QPushButton(QStringLiteral("Erzeuge Test Datei"), box);
    cmdErzeugeTestDatei->setToolTip(QStringLiteral("Eine neue RB6-Datei mit Viertelstundenwerten von 'Von' bis 'Bis' "
                                                   "(höchstens ein Jahr); eine Datei mit Daten bleibt unberührt"));
    addLabelled(file, box, QStringLiteral("RB6-Datei :"), Text3);
    addLabelled(file, box, QStringLiteral("Zähler :"), Text4);
    file->addWidget(cmdDatInfoLesen);
    file->addWidget(cmdErzeugeTestDatei);
    layout->addLayout(file);

    auto* times = new QHBoxLayout;
    for (int k = 0; k < 4; ++k)
        Text5[k] = field(box, 130);
    cmdLesen = new QPushButton(QStringLiteral("Lesen"), box);
    Command1 = new QPushButton(QStringLiteral("SuchePos"), box);
    cmdLeseTag = new QPushButton(QStringLiteral("Lese Tag"), box);
    addLabelled(times, box, QStringLiteral("Von :"), Text5[0]);
    addLabelled(times, box, QStringLiteral("Bis :"), Text5[1]);
    times->addWidget(cmdLesen);
    times->addSpacing(16);
    addLabelled(times, box, QStringLiteral("Zeit :"), Text5[2]);
    times->addWidget(Command1);
    times->addSpacing(16);
    addLabelled(times, box, QStringLiteral("Tag :"), Text5[3]);
    times->addWidget(cmdLeseTag);
    times->addStretch();
    layout->addLayout(times);

    Label6 = new QLabel(box);
    Label6->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Label6);

    auto* grids = new QHBoxLayout;
    MSFlexGrid2 = grid(box, &infoGrid);
    MSFlexGrid3 = grid(box, &rangeGrid);
    MSFlexGrid4 = grid(box, &dayGrid);
    grids->addWidget(MSFlexGrid2, 5);
    grids->addWidget(MSFlexGrid3, 3);
    grids->addWidget(MSFlexGrid4, 5);
    layout->addLayout(grids, 1);
    return box;
}

void FrmImportLogFile::connectControls()
{
    connect(cmdImport, &QPushButton::clicked, this, &FrmImportLogFile::cmdImport_Click);
    connect(cmdTageswerte, &QPushButton::clicked, this, &FrmImportLogFile::cmdTageswerte_Click);
    connect(cmdDateiLesen, &QPushButton::clicked, this, &FrmImportLogFile::cmdDateiLesen_Click);
    connect(cmdDateiAnzeigen, &QPushButton::clicked, this, &FrmImportLogFile::cmdDateiAnzeigen_Click);
    connect(cmdAbbrechen, &QPushButton::clicked, this, [this] { cancel_ = true; });
    connect(cmdDatInfoLesen, &QPushButton::clicked, this, &FrmImportLogFile::cmdDatInfoLesen_Click);
    connect(cmdLesen, &QPushButton::clicked, this, &FrmImportLogFile::cmdLesen_Click);
    connect(Command1, &QPushButton::clicked, this, &FrmImportLogFile::Command1_Click);
    connect(cmdLeseTag, &QPushButton::clicked, this, &FrmImportLogFile::cmdLeseTag_Click);
    connect(cmdErzeugeTestDatei, &QPushButton::clicked, this, &FrmImportLogFile::cmdErzeugeTestDatei_Click);
    connect(Text4, &QLineEdit::editingFinished, this, [this] {
        const QString name = RB6FileForKey(environment_.dbPath, Text4->text());
        if (!name.isEmpty())
            Text3->setText(name);
    });
}

void FrmImportLogFile::load(const LogImportEnvironment& environment)
{
    environment_ = environment;
    const QDate today = LocalNow().date();
    Label4_0->setText(environment.databaseLabel);
    Text5[4]->setText(FormDateText(today.addDays(-1)));
    Text5[5]->setText(FormDateText(today));
    Text5[0]->setText(FormDateText(today));
    Text5[1]->setText(FormDateText(today));
    Text5[2]->setText(FormDateText(today));
    Text5[3]->setText(FormDateText(today));
    Text8->setText(QStringLiteral("1"));
    Text1->setText(LogImport(environment.settings).logFileFor(today));
    Text4->setText(QStringLiteral("1"));
    Text3->setText(RB6FileForKey(environment.dbPath, Text4->text()));
    Label5->setText(QStringLiteral("Bereit"));
    Label2->clear();
    cmdAbbrechen->setEnabled(false);
    refreshLockState();
    lockTimer_->start();
}

void FrmImportLogFile::setLockPollInterval(int ms) { lockTimer_->setInterval(ms); }

void FrmImportLogFile::refreshLockState()
{
    const bool held = !running_ && ProcessLock::isHeld(environment_.rb6LockFile());
    LabelSperre->setVisible(held);
    cmdImport->setEnabled(!running_ && !held);
    cmdDateiLesen->setEnabled(!running_ && !held);
}

bool FrmImportLogFile::beginRun()
{
    if (running_)
        return false;
    running_ = true;
    cancel_ = false;
    sawWork_ = false;
    shownDay_ = {};
    sinceShown_.invalidate();
    for (QWidget* w : std::initializer_list<QWidget*>{cmdImport, cmdTageswerte, cmdDateiLesen, cmdDateiAnzeigen,
                                                      cmdDatInfoLesen, cmdLesen, Command1, cmdLeseTag,
                                                      cmdErzeugeTestDatei})
        w->setEnabled(false);
    LabelSperre->setVisible(false);
    cmdAbbrechen->setEnabled(true);
    ProgressBar1->setValue(0);
    Label2->clear();
    return true;
}

void FrmImportLogFile::endRun()
{
    running_ = false;
    if (sawWork_)
        Label2->setText(percentText(lastProgress_)); // the last report may have fallen between two refreshes
    for (QWidget* w : std::initializer_list<QWidget*>{cmdTageswerte, cmdDateiAnzeigen, cmdDatInfoLesen, cmdLesen,
                                                      Command1, cmdLeseTag, cmdErzeugeTestDatei})
        w->setEnabled(true);
    cmdAbbrechen->setEnabled(false);
    refreshLockState();
    if (closeWhenDone_)
        QTimer::singleShot(0, this, &QWidget::close);
}

bool FrmImportLogFile::onProgress(const ImportProgress& p)
{
    // A report without file and day comes while the import waits for the
    // masters' cycles to leave the RB6 directory.
    const bool working = p.day.isValid() || !p.file.isEmpty();
    if (!working && !sawWork_)
        Label5->setText(waitingText());
    if (working && !sawWork_) {
        sawWork_ = true;
        if (!p.day.isValid())
            Label5->setText(QStringLiteral(" Bearbeite ") + p.file);
    }
    if (working)
        lastProgress_ = p;
    if (p.day.isValid() && p.day != shownDay_) {
        shownDay_ = p.day;
        Label5->setText(QStringLiteral(" Bearbeite ") + FormDateText(p.day));
        sinceShown_.invalidate();
    }
    if (working && (!sinceShown_.isValid() || sinceShown_.elapsed() >= kProgressRefreshMs)) {
        Label2->setText(percentText(p));
        const double fileShare = p.fileBytes > 0 ? double(p.bytes) / double(p.fileBytes) : 0.0;
        const double whole = (double(p.dayNumber) + fileShare) / double(std::max(1, p.dayCount));
        ProgressBar1->setValue(std::clamp(int(whole * 100.0), 0, 100));
        sinceShown_.start();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !cancel_;
}

void FrmImportLogFile::cmdImport_Click()
{
    const QDate from = ParseFormDate(Text5[4]->text());
    const QDate to = ParseFormDate(Text5[5]->text());
    // Reversed dates would move every RB6 file away and import nothing.
    if (!from.isValid() || !to.isValid() || from > to || !beginRun())
        return;
    LogImport import(environment_.settings);
    const ImportSummary summary =
        import.importRange(from, to, [this](const ImportProgress& p) { return onProgress(p); });
    showSummary(summary, true);
    endRun();
}

void FrmImportLogFile::cmdDateiLesen_Click()
{
    const QString file = Text1->text().trimmed();
    if (file.isEmpty() || !beginRun())
        return;
    LogImport import(environment_.settings);
    const ImportSummary summary = import.importFile(file, [this](const ImportProgress& p) { return onProgress(p); });
    showSummary(summary, false);
    endRun();
}

void FrmImportLogFile::showSummary(const ImportSummary& s, bool range)
{
    if (s.cancelled)
        Label5->setText(QStringLiteral("Abgebrochen"));
    else if (s.failed)
        Label5->setText(QStringLiteral("Fehler: ") + s.error);
    else
        Label5->setText(QStringLiteral("Fertig"));
    if (!s.backupDirectory.isEmpty())
        Label5->setText(Label5->text() + QStringLiteral(" - alte RB6-Dateien in ") + s.backupDirectory);
    if (!s.cancelled && !s.failed)
        ProgressBar1->setValue(100);

    importGrid.clearRows();
    importGrid.setHeaders({QStringLiteral("Angabe"), QStringLiteral("Wert")});
    const auto add = [this](const QString& what, const QString& value) { importGrid.appendRow({what, value}); };
    add(QStringLiteral("Dateien gelesen"), QString::number(s.filesRead));
    if (range)
        add(QStringLiteral("Dateien fehlen"), QString::number(s.filesMissing));
    add(QStringLiteral("Zeilen gelesen"), QString::number(s.linesRead));
    add(QStringLiteral("Werte geschrieben"), QString::number(s.valuesWritten));
    add(QStringLiteral("Zeilen übersprungen"), QString::number(s.skippedTotal()));
    for (int r = 0; r < int(SkipReason::Count); ++r)
        if (s.skipped[r] > 0)
            add(QStringLiteral("  ") + SkipReasonText(SkipReason(r)), QString::number(s.skipped[r]));
    if (!s.backupDirectory.isEmpty())
        add(QStringLiteral("Sicherung"), s.backupDirectory);
    if (!s.error.isEmpty())
        add(QStringLiteral("Fehler"), s.error);
    AutoSizeGridColumns(MSFlexGrid1);
}

void FrmImportLogFile::cmdTageswerte_Click()
{
    const QDate from = ParseFormDate(Text5[4]->text());
    const QDate to = ParseFormDate(Text5[5]->text());
    bool isAddress = false;
    const int address = Text8->text().trimmed().toInt(&isAddress);
    if (!from.isValid() || !to.isValid() || from > to || !isAddress || !beginRun())
        return;
    const qint64 days = from.daysTo(to);
    QStringList headers{QStringLiteral("Zeitstempel")};
    for (int index = 0; index <= 8; ++index)
        headers << QStringLiteral("Index %1").arg(index);
    dailyGrid.clearRows();
    dailyGrid.setHeaders(headers);
    dailyGrid.setRowCount(int(days + 1));

    const QList<DailyValuesRow> rows = DailyValues(environment_.settings, from, to, address,
                                                   [this](const ImportProgress& p) { return onProgress(p); });
    for (const DailyValuesRow& row : rows) {
        const qint64 r = from.daysTo(row.day);
        if (r < 0 || r > days)
            continue;
        dailyGrid.setCell(int(r), 0, row.timeStamp);
        for (int index = 0; index < 9; ++index)
            dailyGrid.setCell(int(r), index + 1, row.values.value(index));
    }
    AutoSizeGridColumns(MSFlexGrid5);
    Label5->setText(cancel_ ? QStringLiteral("Abgebrochen") : QStringLiteral("Fertig"));
    endRun();
}

void FrmImportLogFile::cmdDateiAnzeigen_Click() { showTextFile(Text1->text().trimmed()); }

void FrmImportLogFile::showTextFile(const QString& file)
{
    const TextFileGridResult result = FillFlexGrid_MBusLog(importGrid, file);
    if (!result.ok)
        Label5->setText(LastErrorText());
    else
        Label5->setText(QStringLiteral("%1 Zeilen%2").arg(result.rows).arg(result.truncated ? QStringLiteral(" (gekürzt)") : QString()));
    AutoSizeGridColumns(MSFlexGrid1);
}

QString FrmImportLogFile::rb6File() const { return Text3->text().trimmed(); }

void FrmImportLogFile::cmdDatInfoLesen_Click()
{
    RB6FileInfo info;
    infoGrid.clearRows();
    if (!RB6ReadInfo(rb6File(), info)) {
        Label6->setText(LastErrorText());
        return;
    }
    FillInfoGrid(infoGrid, info);
    Label6->setText(InfoSummary(info));
    AutoSizeGridColumns(MSFlexGrid2);
}

void FrmImportLogFile::cmdLesen_Click()
{
    qint64 from = 0, to = 0;
    if (!ParseFormTime(Text5[0]->text(), false, from) || !ParseFormTime(Text5[1]->text(), true, to)) {
        Label6->setText(QStringLiteral("Kein gültiges Datum in Von/Bis"));
        return;
    }
    if (!FillRangeGrid(rangeGrid, rb6File(), from, to)) {
        Label6->setText(LastErrorText());
        return;
    }
    Label6->setText(QStringLiteral("%1 Werte vom %2 bis %3")
                        .arg(rangeGrid.rowCount())
                        .arg(GermanDateTime(SecondsToDate(from)), GermanDateTime(SecondsToDate(to))));
    AutoSizeGridColumns(MSFlexGrid3);
}

void FrmImportLogFile::Command1_Click()
{
    qint64 time = 0;
    if (!ParseFormTime(Text5[2]->text(), false, time)) {
        Label6->setText(QStringLiteral("Kein gültiges Datum in Zeit"));
        return;
    }
    RB6Position p;
    if (!RB6SearchPosition(rb6File(), time, p)) {
        Label6->setText(LastErrorText());
        return;
    }
    if (!p.found)
        Label6->setText(QStringLiteral("Pos= %1: kein Wert ab %2").arg(p.index).arg(GermanDateTime(SecondsToDate(time))));
    else
        Label6->setText(QStringLiteral("Pos= %1  Tm= %2  %3  Wert= %4%5")
                            .arg(p.index)
                            .arg(p.element.Tm)
                            .arg(GermanDateTime(SecondsToDate(p.element.Tm)), GermanNumber(p.element.Wert),
                                 p.exact ? QString() : QStringLiteral("  (nächster Wert danach)")));
}

void FrmImportLogFile::cmdLeseTag_Click()
{
    const QDate day = ParseFormDate(Text5[3]->text());
    if (!day.isValid()) {
        Label6->setText(QStringLiteral("Kein gültiges Datum in Tag"));
        return;
    }
    if (!FillDayGrid(dayGrid, rb6File(), day)) {
        Label6->setText(LastErrorText());
        return;
    }
    Label6->setText(QStringLiteral("%1 Werte am %2").arg(dayGrid.rowCount()).arg(FormDateText(day)));
    AutoSizeGridColumns(MSFlexGrid4);
}

void FrmImportLogFile::cmdErzeugeTestDatei_Click()
{
    qint64 from = 0, to = 0;
    if (!ParseFormTime(Text5[0]->text(), false, from) || !ParseFormTime(Text5[1]->text(), true, to) || to < from) {
        Label6->setText(QStringLiteral("Kein gültiger Zeitraum in Von/Bis"));
        return;
    }
    const qint64 count = std::min<qint64>((to - from) / kTestFileStep + 1, kTestFileMaxElements);
    QElapsedTimer clock;
    clock.start();
    const int rc = RB6CreateTestFile(rb6File(), from, count, kTestFileStep);
    const QString report = TestFileReport(rc, double(clock.nsecsElapsed()) / 1e9);
    Label6->setText(rc == 0 ? report : report + QStringLiteral(": ") + LastErrorText());
}

void FrmImportLogFile::closeEvent(QCloseEvent* event)
{
    if (running_) {
        // The run stops between two lines and returns here; then the window closes.
        cancel_ = true;
        closeWhenDone_ = true;
        event->ignore();
        return;
    }
    lockTimer_->stop();
    QMainWindow::closeEvent(event);
}

} // namespace kelvaro::logimport
