#include "readall/ui/frmmarvikmbus.h"

#include "foundation/textutil.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvaro::readall {

namespace {
constexpr int kDefaultTimerMs = 10000;
}

FrmMarvikMBus::FrmMarvikMBus(ReadAll& reader, QWidget* parent)
    : QWidget(parent), reader_(reader), trigger_(reader.clock().date().month()), port_(new QLineEdit),
      directory_(new QLineEdit), count_(new QLineEdit), timerMs_(new QLineEdit), start_(new QPushButton("Start")),
      status_(new QLabel)
{
    setWindowTitle(QStringLiteral("Marvik MBus"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Com :"), port_);
    form->addRow(QStringLiteral("Path :"), directory_);
    form->addRow(QStringLiteral("Anz :"), count_);
    form->addRow(QStringLiteral("TimerS :"), timerMs_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(start_);
    layout->addWidget(status_);

    const ReadAllFields kept = LoadReadAllFields();
    port_->setText(kept.port);
    directory_->setText(kept.directory);
    count_->setText(kept.count);
    timerMs_->setText(QString::number(kDefaultTimerMs));

    // Each change is kept at once, as the form always did for the directory.
    connect(directory_, &QLineEdit::textEdited, this, [](const QString& text) { SaveDirectory(text); });
    connect(port_, &QLineEdit::textEdited, this, [](const QString& text) { SavePort(text); });
    connect(count_, &QLineEdit::textEdited, this, [](const QString& text) { SaveCount(text); });
    connect(timerMs_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int ms = static_cast<int>(Val(text));
        timer_.setInterval(ms > 0 ? ms : kDefaultTimerMs);
    });
    connect(start_, &QPushButton::clicked, this, &FrmMarvikMBus::readNow);
    connect(&timer_, &QTimer::timeout, this, &FrmMarvikMBus::onTimerTick);

    reader_.progress = [this](int address, int count) {
        status_->setText(QStringLiteral("%1 / %2").arg(address).arg(count));
    };
    timer_.setInterval(kDefaultTimerMs);
    timer_.start();
}

FrmMarvikMBus::~FrmMarvikMBus()
{
    reader_.progress = nullptr; // the reader may outlive the form
}

ReadAllFields FrmMarvikMBus::fields() const
{
    return {port_->text(), directory_->text(), count_->text()};
}

QString FrmMarvikMBus::statusText() const
{
    return status_->text();
}

void FrmMarvikMBus::readNow()
{
    if (reader_.running())
        return;
    start_->setEnabled(false);
    const ReadAll::Summary summary = reader_.readAll(fields());
    start_->setEnabled(true);
    showSummary(summary);
}

void FrmMarvikMBus::onTimerTick()
{
    if (reader_.running())
        return;
    if (trigger_.tick(reader_.clock().date().month()))
        readNow();
}

void FrmMarvikMBus::showSummary(const ReadAll::Summary& summary)
{
    QString text = SummaryText(summary);
    if (!summary.error.isEmpty())
        text += QStringLiteral(" - ") + summary.error;
    status_->setText(text);
}

void FrmMarvikMBus::closeEvent(QCloseEvent* event)
{
    // A running read stops at its next meter; the window closes once it has.
    reader_.cancel();
    timer_.stop();
    QWidget::closeEvent(event);
}

} // namespace kelvaro::readall
