#include "consoles/ui/frmmbuslog.h"

#include "consoles/logwindowmodel.h"

#include <QListWidget>
#include <QResizeEvent>

namespace kelvaro {

namespace {
constexpr int kGridLeft = 8;
constexpr int kGridMargin = 8; // 120 twips at 96 dpi
} // namespace

FrmMBusLog::FrmMBusLog(LogWindowModel& model, QWidget* parent)
    : QWidget(parent)
    , MSFlexGrid1(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("frmMBusLog"));
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->move(kGridLeft, kGridLeft);
    MSFlexGrid1->addItems(model.rows());
    connect(&model, &LogWindowModel::rowInserted, this, [this](int row, const QString& text) {
        MSFlexGrid1->insertItem(row, text);
        MSFlexGrid1->scrollToItem(MSFlexGrid1->item(row));
    });
    connect(&model, &LogWindowModel::cleared, MSFlexGrid1, &QListWidget::clear);
    resize(520, 400);
}

void FrmMBusLog::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (const int width = LogWindowModel::GridWidthFor(event->size().width(), kGridLeft, kGridMargin); width > 0)
        MSFlexGrid1->resize(width, qMax(1, event->size().height() - 2 * kGridLeft));
}

} // namespace kelvaro
