#pragma once
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace kelvaro {

class MailDispatch;

// "Send Mail V1.0": a view over MailDispatch; every settings field is written
// to the settings file as it changes.
class FrmMSConsSendMail : public QWidget {
    Q_OBJECT
public:
    explicit FrmMSConsSendMail(MailDispatch& dispatch, QWidget* parent = nullptr);

    void attachFile(const QString& path);

    QLineEdit* field(const QString& key) const;
    QCheckBox* loginSwitch() const { return login_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* resetButton() const { return reset_; }
    QListWidget* attachmentList() const { return attachments_; }
    QListWidget* statusList() const { return statusList_; }
    QProgressBar* progressBar() const { return progress_; }

private:
    void updateLoginFields();

    MailDispatch& dispatch_;
    QList<QPair<QString, QLineEdit*>> fields_;
    QCheckBox* login_;
    QCheckBox* html_;
    QRadioButton* uuencode_;
    QRadioButton* mime_;
    QPlainTextEdit* body_;
    QListWidget* attachments_;
    QListWidget* statusList_;
    QProgressBar* progress_;
    QPushButton* send_;
    QPushButton* reset_;
};

} // namespace kelvaro
