#include "mail/maildispatch.h"

#include "foundation/lasterror.h"
#include "mail/mailaddresses.h"
#include "mail/mailcommandline.h"
#include "mail/mailmessage.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace kelvaro {

MailDispatch::MailDispatch(QString settingsFile, bool unattended, QObject* parent)
    : QObject(parent), settings(MailSettings::load(settingsFile)), settingsFile_(std::move(settingsFile)),
      unattended_(unattended)
{
    connect(&sender_, &SmtpSender::progress, this, &MailDispatch::progress);
    connect(&sender_, &SmtpSender::status, this, &MailDispatch::status);
    connect(&sender_, &SmtpSender::sendSuccessful, this, [this] {
        finished_ = true;
        succeeded_ = true;
        Q_EMIT progress(100);
        Q_EMIT done(true, {});
    });
    connect(&sender_, &SmtpSender::sendFailed, this, &MailDispatch::fail);
}

void MailDispatch::fail(const QString& explanation)
{
    // The last error is set in both modes: the unattended program reports it on its output.
    SetLastErrorText(QStringLiteral("Fehler beim Senden: ") + QLatin1Char('\n') + explanation);
    finished_ = true;
    succeeded_ = false;
    Q_EMIT progress(100);
    Q_EMIT done(false, explanation);
}

void MailDispatch::addAttachment(const QString& path)
{
    if (!attachmentString.isEmpty())
        attachmentString += QLatin1Char(';');
    attachmentString += path;
}

void MailDispatch::reset()
{
    attachmentString.clear();
    Q_EMIT progress(0);
}

bool MailDispatch::send()
{
    if (sender_.running())
        return false;
    finished_ = false;
    succeeded_ = false;
    OutgoingMail mail{settings.sender, settings.senderName, settings.to, settings.cc, settings.subject, body,
                      SplitAttachments(attachmentString.trimmed()), settings.html, settings.encoding};
    const auto message = BuildMailMessage(mail, QDateTime::currentDateTime());
    if (!message) {
        fail(LastErrorText());
        return false;
    }
    // An address in both "An" and "Cc" gets the mail once.
    QStringList recipients;
    for (const QString& address : SplitAddresses(settings.to) + SplitAddresses(settings.cc))
        if (!recipients.contains(address, Qt::CaseInsensitive))
            recipients << address;
    SmtpJob job{settings.server, MailPort(settings.port), settings.sender, recipients, settings.login, settings.plainLogin,
                settings.user, settings.password, caFile, *message};
    return sender_.start(std::move(job));
}

static bool WaitFinished(MailDispatch& dispatch, int timeoutSeconds)
{
    if (dispatch.finished())
        return true;
    QEventLoop loop;
    QObject::connect(&dispatch, &MailDispatch::done, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    if (!dispatch.finished())
        dispatch.cancel();
    return dispatch.finished();
}

int RunAutoSend(const QString& commandLine, const QString& settingsFile)
{
    MailDispatch dispatch(settingsFile, true);
    dispatch.attachmentString = GetFile(commandLine);
    if (dispatch.attachmentString.isEmpty()) {
        std::fprintf(stderr, "mbus-sendmail: kein Anhang (-F<Datei>) angegeben, nichts versandt\n");
        return 2;
    }
    QObject::connect(&dispatch, &MailDispatch::status, [](const QString& text) {
        std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    });
    dispatch.send();
    WaitFinished(dispatch, 300);
    if (dispatch.succeeded())
        return 0;
    std::fprintf(stderr, "%s\n", LastErrorText().toLocal8Bit().constData());
    return 1;
}

bool SendAttachmentUnattended(const QString& settingsFile, const QString& attachment, int timeoutSeconds,
                              QString& explanation)
{
    MailDispatch dispatch(settingsFile, true);
    dispatch.attachmentString = attachment;
    explanation.clear();
    QObject::connect(&dispatch, &MailDispatch::done, [&explanation](bool, const QString& text) { explanation = text; });
    dispatch.send();
    if (!WaitFinished(dispatch, timeoutSeconds)) {
        explanation = QStringLiteral("keine Antwort des Servers in %1 s").arg(timeoutSeconds);
        return false;
    }
    return dispatch.succeeded();
}

bool ADO_SendMail(const QString& to, const QString& subject, const QString& message, const QString& attachment,
                  int timeoutSeconds, const QString& settingsFile)
{
    MailDispatch dispatch(settingsFile, false);
    dispatch.settings.to = to;
    dispatch.settings.subject = subject;
    dispatch.body = message;
    dispatch.attachmentString = attachment;
    if (attachment.trimmed().isEmpty())
        return false;
    dispatch.send();
    return WaitFinished(dispatch, timeoutSeconds) && dispatch.succeeded();
}

} // namespace kelvaro
