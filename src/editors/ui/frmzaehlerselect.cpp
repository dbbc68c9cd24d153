#include "editors/ui/frmzaehlerselect.h"

#include "foundation/messages.h"
#include "foundation/programlog.h"
#include "foundation/termination.h"
#include "foundation/ui/gridutil.h"

#include <QApplication>
#include <QColorDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <QTextDocument>

namespace kelvaro {
namespace {

constexpr int kMargin = 6;
constexpr int kRow = 24;
constexpr int kButton = 96;
constexpr int kTwipsPerPixel = 15;

class Hourglass {
public:
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { restore(); }
    void restore()
    {
        if (active_)
            QApplication::restoreOverrideCursor();
        active_ = false;
    }

private:
    bool active_ = true;
};

QTableView* grid(QAbstractItemModel* model, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->setDefaultSectionSize(20);
    view->verticalHeader()->setVisible(false);
    return view;
}

QPushButton* button(const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    return b;
}

std::optional<QColor> colorDialog(QWidget* parent, const QColor& initial)
{
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

QString listHtml(const GridModel& list, const QList<int>& columns)
{
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr>");
    for (int column : columns)
        html += QStringLiteral("<th>") + list.headers().value(column).toHtmlEscaped() + QStringLiteral("</th>");
    html += QStringLiteral("</tr>");
    for (int row = 0; row < list.rowCount(); ++row) {
        html += QStringLiteral("<tr>");
        for (int column : columns)
            html += QStringLiteral("<td>") + list.cell(row, column).toHtmlEscaped() + QStringLiteral("</td>");
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

} // namespace

FrmZaehlerselect::FrmZaehlerselect(const EditorDatabaseSettings& database, QWidget* parent)
    : QDialog(parent)
    , core_(database)
    , chooseColor_([this](const QColor& initial) { return colorDialog(this, initial); })
{
    // Until the layout is done, a resize has nothing to place.
    busy_ = QStringLiteral("Arbeite");
    buildListFrame();
    buildEditFrame();
    fraEdit->hide();
    busy_.clear();
    resize(640, 420);
    Form_Resize();
}

FrmZaehlerselect::~FrmZaehlerselect() = default;

void FrmZaehlerselect::buildListFrame()
{
    fraliste = new QGroupBox(this);
    ListGrid = grid(&core_.list(), fraliste);
    ListGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    lblSuche = new QLabel(QStringLiteral("Suche :"), fraliste);
    Text2 = new QLineEdit(fraliste);
    cmdweitersuchen = button(QStringLiteral("Weitersuchen"), fraliste);
    cmdOk = button(QStringLiteral("OK"), fraliste);
    cmdWaehlenAbbrechen = button(QStringLiteral("Abbrechen"), fraliste);
    cmddrucken = button(QStringLiteral("Drucken"), fraliste);
    cmdaendern = button(QString::fromUtf8("Ändern"), fraliste);

    connect(ListGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    SelectGridRow(ListGrid, current.row());
            });
    connect(ListGrid, &QTableView::doubleClicked, this, &FrmZaehlerselect::ListGrid_DblClick);
    connect(Text2, &QLineEdit::textChanged, this, &FrmZaehlerselect::Text2_Change);
    connect(cmdweitersuchen, &QPushButton::clicked, this, &FrmZaehlerselect::cmdweitersuchen_Click);
    connect(cmdOk, &QPushButton::clicked, this, &FrmZaehlerselect::cmdOk_Click);
    connect(cmdWaehlenAbbrechen, &QPushButton::clicked, this, &FrmZaehlerselect::cmdWaehlenAbbrechen_Click);
    connect(cmddrucken, &QPushButton::clicked, this, &FrmZaehlerselect::cmddrucken_Click);
    connect(cmdaendern, &QPushButton::clicked, this, &FrmZaehlerselect::cmdaendern_Click);
}

void FrmZaehlerselect::buildEditFrame()
{
    fraEdit = new QGroupBox(this);
    EditGrid = grid(&core_.edit(), fraEdit);
    EditGrid->horizontalHeader()->setVisible(false);
    EditGrid->setSelectionMode(QAbstractItemView::NoSelection);
    txtedit = new QLineEdit(EditGrid->viewport());
    txtedit->setFrame(false);
    txtedit->installEventFilter(this);
    Label1 = new QLabel(fraEdit);
    Label1->setFrameShape(QFrame::Box);
    Label1->setAutoFillBackground(true);
    Label1->installEventFilter(this);
    Text1 = new QLineEdit(fraEdit);
    cmdspeichern = button(QStringLiteral("Speichern"), fraEdit);
    cmdabbrechen = button(QStringLiteral("Abbrechen"), fraEdit);

    connect(txtedit, &QLineEdit::textChanged, this,
            [this](const QString& text) { core_.edit().setCell(editRow_, editColumn_, text); });
    connect(EditGrid, &QTableView::clicked, this,
            [this](const QModelIndex& index) { placeTextBox(index.row(), index.column()); });
    connect(cmdspeichern, &QPushButton::clicked, this, &FrmZaehlerselect::cmdspeichern_Click);
    connect(cmdabbrechen, &QPushButton::clicked, this, &FrmZaehlerselect::cmdabbrechen_Click);
}

void FrmZaehlerselect::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void FrmZaehlerselect::Form_Resize()
{
    if (!busy_.isEmpty()) {
        WriteProgramLog(QStringLiteral("Form_Resize Geschw Problem"));
        return;
    }
    busy_ = QStringLiteral("Arbeite");
    const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const int inner = std::max(0, area.width() - 2 * kMargin);
    const int gridHeight = std::max(kRow, area.height() - kRow - 3 * kMargin - 8);
    const int buttons = area.height() - kRow - kMargin;

    fraliste->setGeometry(area);
    ListGrid->setGeometry(kMargin, kMargin + 8, inner, gridHeight);
    int x = kMargin;
    lblSuche->setGeometry(x, buttons, 48, kRow);
    x += 50;
    const int searchWidth = std::max(60, inner - 50 - 5 * (kButton + 4));
    Text2->setGeometry(x, buttons, searchWidth, kRow);
    x += searchWidth + 4;
    for (QPushButton* b : {cmdweitersuchen, cmdOk, cmdWaehlenAbbrechen, cmddrucken, cmdaendern}) {
        b->setGeometry(x, buttons, kButton, kRow);
        x += kButton + 4;
    }

    fraEdit->setGeometry(area);
    EditGrid->setGeometry(kMargin, kMargin + 8, inner, gridHeight);
    Label1->setGeometry(kMargin, buttons, 60, kRow);
    Text1->setGeometry(kMargin + 64, buttons, 90, kRow);
    cmdabbrechen->setGeometry(kMargin + inner - kButton, buttons, kButton, kRow);
    cmdspeichern->setGeometry(kMargin + inner - 2 * kButton - 4, buttons, kButton, kRow);
    if (fraEdit->isVisible())
        placeTextBox(editRow_, editColumn_);
    busy_.clear();
}

bool FrmZaehlerselect::ListeLaden(const QString& sql)
{
    Hourglass hourglass;
    if (!core_.ListeLaden(sql)) {
        hourglass.restore();
        ShowMessageBox(core_.lastError());
        return false;
    }
    if (!core_.hasData())
        return true;
    AutoSizeGridColumns(ListGrid);
    SelectGridRow(ListGrid, 0);
    return true;
}

QString FrmZaehlerselect::result() const { return core_.result(); }

QString FrmZaehlerselect::choose(QWidget* parent, const EditorDatabaseSettings& database, const QString& sql,
                                 const QString& caption)
{
    FrmZaehlerselect dialog(database, parent);
    dialog.setWindowTitle(caption);
    if (!dialog.ListeLaden(sql) || TerminationRequested())
        return {};
    const int answer = dialog.exec();
    // A termination signal rejects the dialog; a choice made just before it counts no more.
    if (answer != QDialog::Accepted || TerminationRequested())
        return {};
    return dialog.result();
}

int FrmZaehlerselect::currentListRow() const
{
    const QModelIndex current = ListGrid->currentIndex();
    return current.isValid() ? current.row() : -1;
}

QList<int> FrmZaehlerselect::searchableColumns() const
{
    QList<int> columns;
    for (int column = 0; column < core_.list().columnCount(); ++column)
        if (!ListGrid->isColumnHidden(column) && ListGrid->columnWidth(column) * kTwipsPerPixel >= 2)
            columns << column;
    return columns;
}

void FrmZaehlerselect::Text2_Change()
{
    const QString text = Text2->text();
    if (text.size() < 2)
        SelectGridRow(ListGrid, 0);
    if (!text.isEmpty())
        cmdweitersuchen_Click();
}

void FrmZaehlerselect::cmdweitersuchen_Click()
{
    Hourglass hourglass;
    const QString text = Text2->text();
    const int row = core_.find(text, currentListRow(), searchableColumns());
    if (row >= 0) {
        SelectGridRow(ListGrid, row);
        ListGrid->scrollTo(ListGrid->currentIndex());
        return;
    }
    hourglass.restore();
    ShowMessageBox(QStringLiteral("Keinen weiteren Eintrag mit >") + text + QStringLiteral("< gefunden"),
                   QStringLiteral("Suchen"));
}

void FrmZaehlerselect::cmdOk_Click()
{
    core_.choose(currentListRow());
    accept();
}

void FrmZaehlerselect::cmdWaehlenAbbrechen_Click()
{
    core_.cancelChoice();
    QDialog::reject();
}

void FrmZaehlerselect::reject()
{
    core_.cancelChoice();
    QDialog::reject();
}

void FrmZaehlerselect::ListGrid_DblClick(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    core_.setMode(QStringLiteral("aendern"));
    SelectGridRow(ListGrid, index.row());
    cmdOk_Click();
}

void FrmZaehlerselect::cmddrucken_Click()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    printList(printer);
}

void FrmZaehlerselect::printList(QPrinter& printer)
{
    // A list is wider than high: printed across the page, the printer's own
    // orientation given back afterwards.
    const QPageLayout::Orientation before = printer.pageLayout().orientation();
    printer.setPageOrientation(QPageLayout::Landscape);
    QList<int> columns;
    for (int column = 0; column < core_.list().columnCount(); ++column)
        if (!ListGrid->isColumnHidden(column))
            columns << column;
    QTextDocument document;
    document.setDefaultFont(font());
    document.setHtml((windowTitle().isEmpty() ? QString() : QStringLiteral("<h3>") + windowTitle().toHtmlEscaped()
                                                                 + QStringLiteral("</h3>"))
                     + listHtml(core_.list(), columns));
    document.print(&printer);
    printer.setPageOrientation(before);
}

void FrmZaehlerselect::cmdaendern_Click()
{
    const int row = currentListRow();
    if (row < 0)
        return;
    openEditFrame(row);
}

void FrmZaehlerselect::neueZeile()
{
    const int row = core_.beginNewRow();
    listRow_ = row;
    SelectGridRow(ListGrid, row);
    fraliste->hide();
    fraEdit->show();
    AutoSizeGridColumns(EditGrid);
    placeTextBox(0, 1);
}

void FrmZaehlerselect::openEditFrame(int row)
{
    listRow_ = row;
    fraEdit->show();
    fraliste->hide();
    core_.beginEdit(row);
    AutoSizeGridColumns(EditGrid);
    placeTextBox(0, 1);
}

void FrmZaehlerselect::showListFrame()
{
    fraEdit->hide();
    fraliste->show();
}

void FrmZaehlerselect::cmdabbrechen_Click()
{
    core_.cancelEdit();
    showListFrame();
}

void FrmZaehlerselect::cmdspeichern_Click()
{
    const int row = listRow_;
    MeterSelection::SaveResult outcome;
    {
        Hourglass hourglass;
        outcome = core_.save(row);
    }
    if (outcome == MeterSelection::SaveResult::NoKeyField) {
        ShowMessageBox(QStringLiteral("Interner Fehler : Kein Schlüssel eingegeben"));
        return;
    }
    if (outcome == MeterSelection::SaveResult::Failed) {
        WriteProgramLog(QStringLiteral("Speichern in ") + core_.recordSource() + QStringLiteral(" : ")
                        + core_.lastError());
        ShowMessageBox(QStringLiteral("Fehler beim Speichern"));
    } else {
        showListFrame();
    }
    AutoSizeGridColumns(ListGrid);
    SelectGridRow(ListGrid, row);
}

void FrmZaehlerselect::placeTextBox(int row, int column)
{
    if (row < 0 || row >= core_.edit().rowCount() || column < 0 || column > 1) {
        txtedit->hide();
        return;
    }
    editRow_ = row;
    editColumn_ = column;
    const QModelIndex index = core_.edit().index(row, column);
    EditGrid->setCurrentIndex(index);
    EditGrid->scrollTo(index);
    // The text is the cell's; writing it back on the change changes nothing.
    txtedit->setText(core_.edit().cell(row, column));
    txtedit->setAlignment(column == 0 ? Qt::AlignRight : Qt::AlignLeft);
    txtedit->setGeometry(EditGrid->visualRect(index));
    txtedit->show();
    txtedit->setFocus();
}

bool FrmZaehlerselect::txtedit_KeyDown(int key)
{
    switch (key) {
    case Qt::Key_Down:
        if (editRow_ + 1 < core_.edit().rowCount())
            placeTextBox(editRow_ + 1, editColumn_);
        return true;
    case Qt::Key_Up:
        if (editRow_ > 0)
            placeTextBox(editRow_ - 1, editColumn_);
        return true;
    case Qt::Key_Left:
        if (txtedit->cursorPosition() > 0 || txtedit->hasSelectedText() || editColumn_ == 0)
            return false;
        placeTextBox(editRow_, 0);
        return true;
    case Qt::Key_Right:
        if (txtedit->cursorPosition() < txtedit->text().size() || txtedit->hasSelectedText() || editColumn_ == 1)
            return false;
        placeTextBox(editRow_, 1);
        txtedit->setCursorPosition(0);
        return true;
    default:
        return false;
    }
}

void FrmZaehlerselect::Label1_DblClick()
{
    if (!chooseColor_)
        return;
    const std::optional<QColor> chosen = chooseColor_(Label1->palette().color(QPalette::Window));
    if (!chosen || !chosen->isValid())
        return;
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::Window, *chosen);
    Label1->setPalette(palette);
    Text1->setText(QString::number(chosen->red() + chosen->green() * 256 + chosen->blue() * 65536));
}

bool FrmZaehlerselect::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonDblClick) {
        Label1_DblClick();
        return true;
    }
    if (watched == txtedit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)
            return txtedit_KeyDown(key->key());
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kelvaro
