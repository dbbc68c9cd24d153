#pragma once
#include "mail/mailsettings.h"
#include "mail/smtpsender.h"

#include <QObject>

namespace kelvaro {

// The headless mail dispatch behind the window and AUTOSEND: settings, the
// message text and the attachment string, one send at a time.
class MailDispatch : public QObject {
    Q_OBJECT
public:
    MailDispatch(QString settingsFile, bool unattended, QObject* parent = nullptr);

    MailSettings settings;
    QString body;
    QString attachmentString; // paths joined by ";"
    QString caFile;           // extra trusted certificates for the TLS test of a server

    void addAttachment(const QString& path);
    void reset();
    // Builds the message and starts the send; false (failure reported) when it cannot start.
    bool send();
    bool finished() const { return finished_; }
    bool succeeded() const { return succeeded_; }
    bool unattended() const { return unattended_; }
    // Cancels a running send.
    void cancel() { sender_.cancel(); }
    const QString& settingsFile() const { return settingsFile_; }

Q_SIGNALS:
    void progress(int percent);
    void status(const QString& text);
    void done(bool ok, const QString& explanation);

private:
    void fail(const QString& explanation);

    QString settingsFile_;
    bool unattended_;
    SmtpSender sender_;
    bool finished_ = true;
    bool succeeded_ = false;
};

// Sends at once with the stored settings and the file of "-F"; waits for the
// result. Returns the exit code of the unattended program: 0 sent, 1 failed,
// 2 nothing to send (no "-F" file).
int RunAutoSend(const QString& commandLine, const QString& settingsFile);

// Sends `attachment` at once with the stored settings of `settingsFile`, as
// AUTOSEND does, without output, and waits at most timeoutSeconds. True when
// the server accepted the mail; otherwise `explanation` says why.
bool SendAttachmentUnattended(const QString& settingsFile, const QString& attachment, int timeoutSeconds,
                              QString& explanation);

// For other parts of the program: fills recipient, subject, message and
// attachment, sends when there is an attachment and waits at most
// timeoutSeconds. True when the mail went out.
bool ADO_SendMail(const QString& to, const QString& subject, const QString& message, const QString& attachment,
                  int timeoutSeconds, const QString& settingsFile = MailSettingsFile());

} // namespace kelvaro
