#include "mail/ui/frmmsconssendmail.h"

#include "foundation/lasterror.h"
#include "mail/maildispatch.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace kelvaro {

FrmMSConsSendMail::FrmMSConsSendMail(MailDispatch& dispatch, QWidget* parent) : QWidget(parent), dispatch_(dispatch)
{
    setWindowTitle(QStringLiteral("Send Mail V1.0"));
    MailSettings& s = dispatch_.settings;
    auto* form = new QFormLayout;
    const QList<std::tuple<QString, QString, QString*>> table{
        {QStringLiteral("SMTPServer"), QStringLiteral("SMTP-Server"), &s.server},
        {QStringLiteral("Port"), QStringLiteral("Port (25=Standart)"), &s.port},
        {QStringLiteral("EigEMail"), QStringLiteral("Ihre Email-Adresse"), &s.sender},
        {QStringLiteral("EigName"), QStringLiteral("Ihr Name"), &s.senderName},
        {QStringLiteral("Username"), QStringLiteral("Username"), &s.user},
        {QStringLiteral("PW"), QStringLiteral("Password"), &s.password},
        {QStringLiteral("AnEMail"), QStringLiteral("An Email"), &s.to},
        {QStringLiteral("CCEMail"), QStringLiteral("Cc: Email"), &s.cc},
        {QStringLiteral("Betreff"), QStringLiteral("Betreff"), &s.subject}};
    for (const auto& [key, label, value] : table) {
        auto* edit = new QLineEdit(*value);
        if (key == QLatin1String("PW"))
            edit->setEchoMode(QLineEdit::Password);
        connect(edit, &QLineEdit::textChanged, this, [this, key, value](const QString& text) {
            *value = text;
            WriteMailSetting(key, text, dispatch_.settingsFile());
        });
        form->addRow(label, edit);
        fields_.append({key, edit});
    }

    login_ = new QCheckBox(QStringLiteral("Am Server anmelden"));
    login_->setChecked(s.login);
    html_ = new QCheckBox(QStringLiteral("HTML"));
    html_->setChecked(s.html);
    uuencode_ = new QRadioButton(QStringLiteral("UUEncode"));
    mime_ = new QRadioButton(QStringLiteral("MIME"));
    (s.encoding == AttachmentEncoding::UUEncode ? uuencode_ : mime_)->setChecked(true);
    connect(login_, &QCheckBox::toggled, this, [this](bool on) {
        dispatch_.settings.login = on;
        WriteMailSetting(QStringLiteral("Anmelden"), on ? QStringLiteral("1") : QStringLiteral("0"), dispatch_.settingsFile());
        updateLoginFields();
    });
    connect(html_, &QCheckBox::toggled, this, [this](bool on) {
        dispatch_.settings.html = on;
        WriteMailSetting(QStringLiteral("HTML"), on ? QStringLiteral("1") : QStringLiteral("0"), dispatch_.settingsFile());
    });
    connect(uuencode_, &QRadioButton::toggled, this, [this](bool on) {
        dispatch_.settings.encoding = on ? AttachmentEncoding::UUEncode : AttachmentEncoding::Mime;
        WriteMailSetting(QStringLiteral("Kodierung"), EncodingKeyValue(dispatch_.settings.encoding), dispatch_.settingsFile());
    });
    auto* switches = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(login_), static_cast<QWidget*>(html_), static_cast<QWidget*>(uuencode_),
                       static_cast<QWidget*>(mime_)})
        switches->addWidget(w);
    form->addRow(switches);

    body_ = new QPlainTextEdit(dispatch_.body);
    connect(body_, &QPlainTextEdit::textChanged, this, [this] { dispatch_.body = body_->toPlainText(); });
    form->addRow(QStringLiteral("Nachricht"), body_);
    attachments_ = new QListWidget;
    form->addRow(QStringLiteral("Dateien im Anhang"), attachments_);

    auto* statusBox = new QGroupBox(QStringLiteral("Status"));
    statusList_ = new QListWidget;
    (new QVBoxLayout(statusBox))->addWidget(statusList_);
    form->addRow(statusBox);
    progress_ = new QProgressBar;
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setFormat(QStringLiteral("%p %"));
    form->addRow(QStringLiteral("Fortschritt"), progress_);

    send_ = new QPushButton(QStringLiteral("Senden"));
    reset_ = new QPushButton(QStringLiteral("Reset"));
    auto* attach = new QPushButton(QStringLiteral("Datei anhängen"));
    auto* close = new QPushButton(QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {send_, reset_, attach, close})
        buttons->addWidget(b);
    form->addRow(buttons);
    setLayout(form);

    connect(attach, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Datei anhängen"));
        if (!path.isEmpty())
            attachFile(path);
    });
    connect(send_, &QPushButton::clicked, this, [this] {
        statusList_->clear();
        setCursor(Qt::WaitCursor);
        dispatch_.send();
        unsetCursor();
    });
    connect(reset_, &QPushButton::clicked, this, [this] {
        attachments_->clear();
        statusList_->clear();
        dispatch_.reset();
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(&dispatch_, &MailDispatch::progress, progress_, &QProgressBar::setValue);
    connect(&dispatch_, &MailDispatch::status, this, [this](const QString& text) {
        statusList_->addItem(text);
        statusList_->setCurrentRow(statusList_->count() - 1);
        statusList_->scrollToBottom();
    });
    connect(&dispatch_, &MailDispatch::done, this, [this](bool ok, const QString&) {
        if (!ok)
            statusList_->addItem(LastErrorText());
    });
    updateLoginFields();
}

QLineEdit* FrmMSConsSendMail::field(const QString& key) const
{
    for (const auto& [k, edit] : fields_)
        if (k == key)
            return edit;
    return nullptr;
}

void FrmMSConsSendMail::attachFile(const QString& path)
{
    attachments_->addItem(path);
    dispatch_.addAttachment(path);
}

void FrmMSConsSendMail::updateLoginFields()
{
    for (const char* key : {"Username", "PW"}) {
        QLineEdit* edit = field(QLatin1String(key));
        edit->setEnabled(login_->isChecked());
        if (auto* form = qobject_cast<QFormLayout*>(layout()))
            if (QWidget* label = form->labelForField(edit))
                label->setEnabled(login_->isChecked());
    }
}

} // namespace kelvaro
