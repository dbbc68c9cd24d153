#include "editors/ui/frmmbusedit.h"

#include "editors/metereditor.h"
#include "editors/ui/frmzaehlerselect.h"
#include "editors/ui/indexgridediting.h"
#include "editors/ui/meterlistview.h"
#include "foundation/ui/gridutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace kelvaro {
namespace {

// The hourglass of a piece of work.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

QPushButton* button(QWidget* parent, const QString& caption, const QRect& place, const QString& tip = {})
{
    auto* b = new QPushButton(caption, parent);
    b->setGeometry(place);
    b->setToolTip(tip);
    return b;
}

QTableView* grid(QWidget* parent, const QRect& place)
{
    auto* view = new QTableView(parent);
    view->setGeometry(place);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    return view;
}

// Where each box of `Text1` stands in the frame, top to bottom: the
// secondary address below the primary one.
constexpr int kFieldOrder[MeterFieldCount] = {FieldZNr,    FieldZName,   FieldMBAdr,   FieldMBID,    FieldMBComP,
                                              FieldMBBaud, FieldMBIndex, FieldSelect, FieldLocation};
constexpr int kFieldRow = 26;

} // namespace

FrmMBusEdit::FrmMBusEdit(MeterEditor& editor, const EditorEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , editor_(editor)
    , environment_(environment)
{
    setWindowTitle(MeterEditor::caption());
    chooseCopyTarget = [this] {
        return FrmZaehlerselect::choose(this, environment_.database, MeterEditor::copyTargetSql(),
                                        MeterEditor::copyTargetCaption());
    };
    buildList();
    buildEditFrame();
    connect(&editor_, &MeterEditor::modeChanged, this, &FrmMBusEdit::showMode);
    showMode(false);
}

void FrmMBusEdit::buildList()
{
    Label4_0 = new QLabel(this);
    Label4_0->setGeometry(6, 4, kListWidth - 12, 18);
    Label4_1 = new QLabel(this);
    Label4_1->setGeometry(6, 22, kListWidth - 12, 18);
    MSFlexGrid1 = grid(this, {6, 44, kListWidth - 12, 444});
    MSFlexGrid1->setModel(&editor_.list);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(MSFlexGrid1, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            openMeter();
    });

    const int y = 496;
    const int w = (kListWidth - 12 - 8) / 3;
    cmdAendern = button(this, QStringLiteral("&Ändern"), {6, y, w, 26}, QStringLiteral("Den gewählten Zähler bearbeiten"));
    cmdNeu = button(this, QStringLiteral("&Neu"), {10 + w, y, w, 26}, QStringLiteral("Einen neuen Zähler anlegen"));
    cmdLoeschen = button(this, QStringLiteral("&Löschen"), {14 + 2 * w, y, w, 26},
                         QStringLiteral("Den gewählten Zähler mit seiner Indexliste löschen"));
    cmdZwischen = button(this, QStringLiteral("&Zwischenablage"), {6, y + 32, w * 2 + 4, 26},
                         QStringLiteral("Liste in die Zwischenablage kopieren"));
    cmdClose = button(this, QStringLiteral("S&chließen"), {14 + 2 * w, y + 32, w, 26});
    connect(cmdAendern, &QPushButton::clicked, this, &FrmMBusEdit::openMeter);
    connect(cmdNeu, &QPushButton::clicked, this, &FrmMBusEdit::newMeter);
    connect(cmdLoeschen, &QPushButton::clicked, this, &FrmMBusEdit::deleteMeter);
    connect(cmdZwischen, &QPushButton::clicked, this, [this] {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(editor_.list.tabText());
    });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
}

void FrmMBusEdit::buildEditFrame()
{
    Frame2 = new QGroupBox(this);
    Frame2->setGeometry(kListWidth, 4, kEditWidth - kListWidth - 6, kHeight - 10);
    for (int place = 0; place < MeterFieldCount; ++place) {
        const int k = kFieldOrder[place];
        const int y = 14 + place * kFieldRow;
        auto* label = new QLabel(QString::fromUtf8(MeterFieldTexts(k).label), Frame2);
        label->setGeometry(8, y, 104, 22);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Text1[k] = new QLineEdit(Frame2);
        Text1[k]->setGeometry(116, y, 190, 22);
        Text1[k]->setToolTip(QString::fromUtf8(MeterFieldTexts(k).hint));
        Text1[k]->setMaxLength(MeterFieldLength(k));
        connect(Text1[k], &QLineEdit::textEdited, this, &FrmMBusEdit::takeFields);
    }
    Check1 = new QCheckBox(QStringLiteral("Zählerstand wird ausgegeben"), Frame2);
    Check1->setGeometry(116, 14 + MeterFieldCount * kFieldRow, 220, 22);
    connect(Check1, &QCheckBox::toggled, this, &FrmMBusEdit::takeFields);

    const QStringList typeLabels{QStringLiteral("Z-Typ :"), QStringLiteral("1 = Momentan-Wert"),
                                 QStringLiteral("0 = Kumulierter Wert")};
    for (int k = 0; k < typeLabels.size(); ++k) {
        auto* label = new QLabel(typeLabels[k], Frame2);
        label->setGeometry(324, 14 + k * 20, 150, 20);
    }

    const int x = Frame2->width() - 110;
    cmdSpeichern = button(Frame2, QStringLiteral("&Speichern"), {x, 14, 100, 28}, QStringLiteral("Änderungen speichern."));
    cmdAbbrechen = button(Frame2, QStringLiteral("&Abbrechen"), {x, 48, 100, 28},
                          QStringLiteral("Zurück zur Liste. Nicht Speichern."));
    cmdListeKopieren = button(Frame2, QStringLiteral("&Kopieren"), {x, 82, 100, 28},
                              QStringLiteral("Kopiert diese Liste auf einen anderen Zähler. Dieser Zähler sollte "
                                             "natürlich die selben Indexe haben, wie der angezeigte Zähler."));
    cmdLoeschenausfuehren = button(Frame2, QStringLiteral("Löschen"), {x, 116, 100, 28},
                                   QStringLiteral("Löscht alle Indexe dieses Zählers. Der Master legt beim nächsten "
                                                  "Lesen automatisch eine neue Indexliste an."));
    connect(cmdSpeichern, &QPushButton::clicked, this, &FrmMBusEdit::save);
    connect(cmdAbbrechen, &QPushButton::clicked, &editor_, &MeterEditor::cmdAbbrechen);
    connect(cmdListeKopieren, &QPushButton::clicked, this, &FrmMBusEdit::copyIndexList);
    connect(cmdLoeschenausfuehren, &QPushButton::clicked, this, [this] {
        if (editor_.cmdLoeschenausfuehren())
            editor_.MBusZaehlerLaden(editor_.openMeter());
    });

    const int gridTop = 14 + (MeterFieldCount + 1) * kFieldRow + 4;
    EditGrid = grid(Frame2, {8, gridTop, Frame2->width() - 16, Frame2->height() - gridTop - 8});
    EditGrid->setModel(&editor_.indexGrid);
    EditGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    editing_ = new IndexGridEditing(EditGrid, &editor_.indexGrid);
}

void FrmMBusEdit::load()
{
    BusyCursor busy;
    resize(kListWidth, kHeight);
    Label4_0->setText(environment_.databaseLabel());
    Label4_1->setText(environment_.logFileLabel());
    refreshList();
    SelectGridRow(MSFlexGrid1, 0);
}

void FrmMBusEdit::refreshList()
{
    editor_.ListeLaden();
    SizeMeterListColumns(MSFlexGrid1);
}

void FrmMBusEdit::showFields()
{
    const MeterFields& f = editor_.fields;
    const std::array<QString, MeterFieldCount> texts{f.ZNr,    f.ZName,   f.MBAdr,        f.MBComP,         f.MBBaud,
                                                     f.MBIndex, f.MB_SelectSec, f.MB_ID, f.MSCONS_Lokation};
    for (int k = 0; k < MeterFieldCount; ++k)
        Text1[k]->setText(texts[k]);
    const QSignalBlocker block(Check1);
    Check1->setChecked(f.MBZstand != 0);
}

void FrmMBusEdit::takeFields()
{
    MeterFields& f = editor_.fields;
    f.ZNr = Text1[0]->text();
    f.ZName = Text1[1]->text();
    f.MBAdr = Text1[2]->text();
    f.MBComP = Text1[3]->text();
    f.MBBaud = Text1[4]->text();
    f.MBIndex = Text1[5]->text();
    f.MB_SelectSec = Text1[6]->text();
    f.MB_ID = Text1[7]->text();
    f.MSCONS_Lokation = Text1[FieldLocation]->text();
    f.MBZstand = Check1->isChecked() ? 1 : 0;
}

void FrmMBusEdit::openMeter()
{
    const QModelIndex current = MSFlexGrid1->currentIndex();
    if (!current.isValid() || !editor_.cmdAendern(current.row()))
        return;
    showFields();
    AutoSizeGridColumns(EditGrid);
    EditGrid->setColumnWidth(MeterIndexGrid::ColLznr, 1);
    EditGrid->setFocus();
    editing_->enterCell(0, MeterIndexGrid::ColArt);
}

void FrmMBusEdit::newMeter()
{
    if (!editor_.cmdNeu())
        return;
    showFields();
    AutoSizeGridColumns(EditGrid);
    EditGrid->setColumnWidth(MeterIndexGrid::ColLznr, 1);
    Text1[0]->setFocus();
}

void FrmMBusEdit::save()
{
    BusyCursor busy;
    // An open cell editor hands its text over first.
    EditGrid->setCurrentIndex({});
    takeFields();
    if (!editor_.cmdSpeichern())
        return;
    SizeMeterListColumns(MSFlexGrid1);
}

void FrmMBusEdit::showMode(bool editing)
{
    Frame2->setVisible(editing);
    resize(editing ? kEditWidth : kListWidth, kHeight);
    if (editing)
        return;
    const int row = editor_.rememberedRow();
    if (row >= 0 && row < editor_.list.rowCount()) {
        MSFlexGrid1->scrollTo(editor_.list.index(row, 0), QAbstractItemView::PositionAtTop);
        SelectGridRow(MSFlexGrid1, row);
    }
}

void FrmMBusEdit::copyIndexList()
{
    // An empty or unstorable list is refused before a target is chosen.
    if (!editor_.canCopyIndexList())
        return;
    const QString target = chooseCopyTarget ? chooseCopyTarget() : QString();
    editor_.copyIndexList(target);
}

void FrmMBusEdit::deleteMeter()
{
    const QModelIndex current = MSFlexGrid1->currentIndex();
    if (!current.isValid() || !editor_.cmdLoeschen(current.row()))
        return;
    SizeMeterListColumns(MSFlexGrid1);
    SelectGridRow(MSFlexGrid1, std::min(current.row(), editor_.list.rowCount() - 1));
}

} // namespace kelvaro
