#include "mail/smtpsender.h"

#include "mail/mailaddresses.h"
#include "mail/mailsettings.h"

#include <QMetaObject>
#include <curl/curl.h>

namespace kelvaro {

namespace {

struct Upload {
    const QByteArray* data;
    qsizetype sent = 0;
    int lastPercent = -1;
    SmtpSender* sender;
    const std::atomic<bool>* cancel;
};

size_t ReadChunk(char* buffer, size_t size, size_t count, void* user)
{
    auto* up = static_cast<Upload*>(user);
    if (*up->cancel)
        return CURL_READFUNC_ABORT;
    const size_t room = size * count;
    const size_t left = size_t(up->data->size() - up->sent);
    const size_t n = std::min(room, left);
    memcpy(buffer, up->data->constData() + up->sent, n);
    up->sent += qsizetype(n);
    const int percent = up->data->isEmpty() ? 100 : int(up->sent * 100 / up->data->size());
    if (percent != up->lastPercent) {
        up->lastPercent = percent;
        Q_EMIT up->sender->progress(percent);
    }
    return n;
}

int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return *static_cast<const std::atomic<bool>*>(user) ? 1 : 0;
}

// What the dialogue with the server tells beyond curl's result: its first
// refusal (a 4xx or 5xx reply) and the refusal of each recipient.
struct Dialogue {
    QByteArray firstRefusal;
    QByteArray pendingRecipient; // RCPT sent, reply not yet seen
    QList<QPair<QByteArray, QByteArray>> refusedRecipients;
};

bool IsRefusal(const QByteArray& reply)
{
    return !reply.isEmpty() && (reply[0] == '4' || reply[0] == '5');
}

int WatchDialogue(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    auto* d = static_cast<Dialogue*>(user);
    const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
    if (type == CURLINFO_HEADER_OUT) {
        d->pendingRecipient.clear();
        if (line.startsWith("RCPT TO:"))
            d->pendingRecipient = line.mid(8).trimmed();
    } else if (type == CURLINFO_HEADER_IN) {
        if (d->firstRefusal.isEmpty() && IsRefusal(line))
            d->firstRefusal = line;
        // The last line of a reply has a blank after its code.
        const bool lastLine = line.size() < 4 || line[3] != '-';
        if (!d->pendingRecipient.isEmpty() && lastLine) {
            if (IsRefusal(line))
                d->refusedRecipients.append({d->pendingRecipient, line});
            d->pendingRecipient.clear();
        }
    }
    return 0;
}

// curl's words for the failures a station meets, in the window's language.
QString ResultText(CURLcode result, bool loginNeedsTls)
{
    switch (result) {
    case CURLE_USE_SSL_FAILED:
        return loginNeedsTls
                   ? QStringLiteral("Der Server bietet keine Verschlüsselung (STARTTLS) an; ohne sie wird die Anmeldung "
                                    "nicht gesendet. Für einen Server auf demselben Rechner erlaubt %1=1 in "
                                    "SendMail.INI die Anmeldung ohne TLS.")
                         .arg(QLatin1String(kPlainLoginKey))
                   : QStringLiteral("Der Server bietet keine Verschlüsselung (STARTTLS) an.");
    case CURLE_COULDNT_RESOLVE_HOST: return QStringLiteral("Der SMTP-Server wurde nicht gefunden.");
    case CURLE_COULDNT_CONNECT: return QStringLiteral("Keine Verbindung zum SMTP-Server.");
    case CURLE_OPERATION_TIMEDOUT: return QStringLiteral("Zeitüberschreitung bei der Verbindung zum SMTP-Server.");
    case CURLE_LOGIN_DENIED: return QStringLiteral("Der Server hat die Anmeldung abgelehnt.");
    case CURLE_PEER_FAILED_VERIFICATION:
        return QStringLiteral("Das Zertifikat des Servers ist nicht vertrauenswürdig.");
    case CURLE_SSL_CONNECT_ERROR: return QStringLiteral("Die verschlüsselte Verbindung zum Server kam nicht zustande.");
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING: return QStringLiteral("Die Verbindung zum SMTP-Server brach ab.");
    case CURLE_WEIRD_SERVER_REPLY: return QStringLiteral("Unerwartete Antwort des SMTP-Servers.");
    default: return {};
    }
}

QByteArray Bracketed(const QString& address)
{
    return "<" + address.trimmed().toUtf8() + ">";
}

} // namespace

SmtpSender::SmtpSender(QObject* parent) : QObject(parent)
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(initialised);
}

SmtpSender::~SmtpSender()
{
    cancel_ = true;
    join();
}

void SmtpSender::join()
{
    if (worker_.joinable())
        worker_.join();
}

bool SmtpSender::start(SmtpJob job)
{
    if (running_)
        return false;
    join();
    running_ = true;
    cancel_ = false;
    // running_ is cleared in the owner's thread just before the result signal.
    worker_ = std::thread([this, job = std::move(job)]() mutable { run(std::move(job)); });
    return true;
}

void SmtpSender::run(SmtpJob job)
{
    auto finish = [this](bool ok, const QString& explanation) {
        QMetaObject::invokeMethod(this, [this, ok, explanation] {
            running_ = false;
            if (ok)
                Q_EMIT sendSuccessful();
            else
                Q_EMIT sendFailed(explanation);
        }, Qt::QueuedConnection);
    };

    QStringList recipients;
    for (const QString& r : job.recipients) {
        if (r.trimmed().isEmpty())
            continue;
        if (!IsUsableAddress(r.trimmed()))
            return finish(false, QStringLiteral("Ungültige Empfängeradresse: %1").arg(r.trimmed()));
        recipients << r.trimmed();
    }
    if (job.server.trimmed().isEmpty())
        return finish(false, QStringLiteral("Kein SMTP-Server angegeben"));
    if (job.sender.trimmed().isEmpty())
        return finish(false, QStringLiteral("Keine Absenderadresse angegeben"));
    if (!IsUsableAddress(job.sender.trimmed()))
        return finish(false, QStringLiteral("Ungültige Absenderadresse: %1").arg(job.sender.trimmed()));
    if (recipients.isEmpty())
        return finish(false, QStringLiteral("Kein Empfänger angegeben"));

    CURL* curl = curl_easy_init();
    if (!curl)
        return finish(false, QStringLiteral("SMTP kann nicht gestartet werden"));

    const QByteArray url = (job.port == 465 ? "smtps://" : "smtp://") + job.server.trimmed().toUtf8() + ":"
                           + QByteArray::number(job.port);
    const QByteArray from = Bracketed(job.sender);
    const QByteArray user = job.user.toUtf8();
    const QByteArray password = job.password.toUtf8();
    const QByteArray caFile = job.caFile.toUtf8();
    curl_slist* rcpt = nullptr;
    for (const QString& r : recipients)
        rcpt = curl_slist_append(rcpt, Bracketed(r).constData());

    char errorText[CURL_ERROR_SIZE] = {};
    Upload upload{&job.message, 0, -1, this, &cancel_};
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    // A password goes out encrypted or not at all: a server (or someone
    // between) that offers no STARTTLS ends the send before the login.
    const bool loginNeedsTls = job.login && !job.allowPlainLogin;
    curl_easy_setopt(curl, CURLOPT_USE_SSL, long(loginNeedsTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
#if LIBCURL_VERSION_NUM >= 0x080200
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT_ALLOWFAILS, 1L);
#else
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
#endif
    if (!caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
    if (job.login) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(job.message.size()));
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadChunk);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckCancel);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &cancel_);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    Dialogue dialogue;
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, WatchDialogue);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &dialogue);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);

    Q_EMIT status(QStringLiteral("Verbinde mit %1:%2").arg(job.server.trimmed()).arg(job.port));
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);

    QStringList refused;
    for (const auto& [address, reply] : dialogue.refusedRecipients) {
        refused << QStringLiteral("Empfänger %1 abgelehnt: %2").arg(QString::fromUtf8(address), QString::fromUtf8(reply));
        Q_EMIT status(refused.last());
    }
    if (result == CURLE_OK) {
        Q_EMIT status(QStringLiteral("Mail versandt (%1 Bytes)").arg(job.message.size()));
        if (refused.isEmpty())
            return finish(true, {});
        return finish(false, refused.join(QLatin1Char('\n')) + QStringLiteral("\nAn die übrigen Empfänger versandt."));
    }
    QString explanation = ResultText(result, loginNeedsTls);
    if (explanation.isEmpty())
        explanation = errorText[0] ? QString::fromUtf8(errorText) : QString::fromUtf8(curl_easy_strerror(result));
    if (!refused.isEmpty())
        explanation = refused.join(QLatin1Char('\n'));
    else if (!dialogue.firstRefusal.isEmpty())
        explanation += QStringLiteral(" - ") + QString::fromUtf8(dialogue.firstRefusal);
    if (cancel_)
        explanation = QStringLiteral("Abgebrochen");
    Q_EMIT status(explanation);
    finish(false, explanation);
}

} // namespace kelvaro
