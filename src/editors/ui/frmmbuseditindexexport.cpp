#include "editors/ui/frmmbuseditindexexport.h"

#include "editors/indexexporteditor.h"
#include "editors/ui/indexgridview.h"
#include "editors/ui/meterlistview.h"
#include "foundation/ui/gridutil.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace kelvaro {
namespace {

constexpr int kRow = 22;
constexpr int kButton = 24;

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

void setTextUnlessEditing(QLineEdit* field, const QString& text)
{
    if (!field->hasFocus() && field->text() != text)
        field->setText(text);
}

} // namespace

FrmMBusEditIndexExport::FrmMBusEditIndexExport(IndexExportEditor& editor, QWidget* parent)
    : QMainWindow(parent)
    , editor_(editor)
{
    setWindowTitle(QStringLiteral("MBus Indexexport"));
    auto* form = new QWidget(this);
    setCentralWidget(form);
    buildList(form);
    buildMeterFrame(form);
    buildExportSettings(form);
    connectCore();
    resize(kFormWidth, kFormHeight);
    refresh();
}

FrmMBusEditIndexExport::~FrmMBusEditIndexExport() { setWaitCursor(false); }

void FrmMBusEditIndexExport::buildList(QWidget* form)
{
    MSFlexGrid1 = new QTableView(form);
    MSFlexGrid1->setModel(&editor_.list);
    MSFlexGrid1->setGeometry(8, 8, 368, 440);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(18);
    MSFlexGrid1->verticalHeader()->setVisible(false);
    MSFlexGrid1->setToolTip(QStringLiteral("Mit Doppelclick den Zähler aufrufen"));
    SizeMeterListColumns(MSFlexGrid1);

    cmdAendern = button(form, QStringLiteral("Ändern"), 8, 454, 88);
    cmdLoeschen = button(form, QStringLiteral("Löschen"), 100, 454, 88);
    cmdZwischen = button(form, QStringLiteral("&Zwischenabl."), 192, 454, 96,
                         QStringLiteral("Liste in die Zwischenablage kopieren"));
    cmdClose = button(form, QStringLiteral("&Schließen"), 292, 454, 84);
}

void FrmMBusEditIndexExport::buildMeterFrame(QWidget* form)
{
    Frame2 = new QGroupBox(form);
    Frame2->setGeometry(384, 2, 438, 478);
    const QString captions[3] = {QStringLiteral("Zählernummer :"), QStringLiteral("Zählername :"),
                                 QStringLiteral("MBus Adresse :")};
    for (int i = 0; i < 3; ++i) {
        label(Frame2, captions[i], 8, 14 + i * 26, 104);
        Text1[i] = edit(Frame2, 112, 14 + i * 26, 318);
        Text1[i]->setReadOnly(true);
    }
    MSFlexGrid2 = new IndexGridView(&editor_.indexGrid, Frame2);
    MSFlexGrid2->setGeometry(8, 94, 422, 344);
    cmdNeu = button(Frame2, QStringLiteral("&Neu"), 8, 446, 100);
    cmdSpeichern = button(Frame2, QStringLiteral("&Speichern"), 114, 446, 100);
    cmdAbbrechen = button(Frame2, QStringLiteral("&Abbrechen"), 220, 446, 100);
    cmdLoeschenausfuehren = button(Frame2, QStringLiteral("Löschen"), 330, 446, 100);
}

void FrmMBusEditIndexExport::buildExportSettings(QWidget* form)
{
    label(form, QStringLiteral("Export-Pfad :"), 8, 490, 90);
    Text3 = edit(form, 100, 490, 722);
    label(form, QStringLiteral("Vor Wert :"), 8, 516, 90);
    Text4 = edit(form, 100, 516, 150);
    Label4[0] = label(form, QString(), 8, 546, 814);
    Label4[1] = label(form, QString(), 8, 570, 814);
}

void FrmMBusEditIndexExport::connectCore()
{
    IndexExportEditor& e = editor_;
    connect(Text3, &QLineEdit::textEdited, this, [&e](const QString& text) { e.exportSettings.setExportPath(text); });
    connect(Text4, &QLineEdit::textEdited, this, [&e](const QString& text) { e.exportSettings.setVorWert(text); });
    connect(MSFlexGrid1, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { openMeter(index.row(), false); });
    connect(MSFlexGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { SelectGridRow(MSFlexGrid1, current.row()); });
    connect(cmdAendern, &QPushButton::clicked, this,
            [this] { openMeter(MSFlexGrid1->currentIndex().row(), false); });
    connect(cmdLoeschen, &QPushButton::clicked, this,
            [this] { openMeter(MSFlexGrid1->currentIndex().row(), true); });
    connect(cmdZwischen, &QPushButton::clicked, this, [this] {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(editor_.clipboardText());
    });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdNeu, &QPushButton::clicked, this, [this] {
        MSFlexGrid2->commitEdit();
        editor_.cmdNeu();
    });
    connect(cmdSpeichern, &QPushButton::clicked, this, [this] {
        setWaitCursor(true);
        MSFlexGrid2->commitEdit();
        editor_.cmdSpeichern();
        setWaitCursor(false);
    });
    connect(cmdAbbrechen, &QPushButton::clicked, &e, &IndexExportEditor::cmdAbbrechen);
    connect(cmdLoeschenausfuehren, &QPushButton::clicked, &e, &IndexExportEditor::cmdLoeschenausfuehren);
    connect(&e, &IndexExportEditor::changed, this, &FrmMBusEditIndexExport::refresh);
}

void FrmMBusEditIndexExport::load(const EditorEnvironment& environment)
{
    setWaitCursor(true);
    editor_.load(environment);
    Label4[0]->setText(editor_.environment().databaseLabel());
    Label4[1]->setText(editor_.environment().logFileLabel());
    Text3->setText(editor_.exportSettings.exportPath());
    Text4->setText(editor_.exportSettings.vorWert());
    listReloaded();
    setWaitCursor(false);
}

void FrmMBusEditIndexExport::listReloaded()
{
    SizeMeterListColumns(MSFlexGrid1);
    SelectGridRow(MSFlexGrid1, 0);
}

void FrmMBusEditIndexExport::refresh()
{
    for (int i = 0; i < 3; ++i)
        if (Text1[i]->text() != editor_.Text1[i])
            Text1[i]->setText(editor_.Text1[i]);
    Frame2->setVisible(editor_.frameVisible());
    cmdLoeschenausfuehren->setVisible(editor_.deleteButtonVisible());
    setTextUnlessEditing(Text3, editor_.exportSettings.exportPath());
    setTextUnlessEditing(Text4, editor_.exportSettings.vorWert());
}

void FrmMBusEditIndexExport::openMeter(int listRow, bool withDelete)
{
    setWaitCursor(true);
    const bool opened = withDelete ? editor_.cmdLoeschen(listRow) : editor_.openMeter(listRow);
    setWaitCursor(false);
    if (opened)
        MSFlexGrid2->editCell({0, IndexGrid::ColIndex});
}

void FrmMBusEditIndexExport::setWaitCursor(bool on)
{
    if (on == waitCursor_)
        return;
    waitCursor_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace kelvaro
