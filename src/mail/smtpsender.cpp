#include "mail/smtpsender.h"

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

// Keeps the server's first refusal (a 4xx or 5xx reply) for the explanation of a failure.
int FirstRefusal(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    auto* refusal = static_cast<QByteArray*>(user);
    if (type == CURLINFO_HEADER_IN && refusal->isEmpty() && size > 0 && (data[0] == '4' || data[0] == '5'))
        *refusal = QByteArray(data, qsizetype(size)).trimmed();
    return 0;
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
    for (const QString& r : job.recipients)
        if (!r.trimmed().isEmpty())
            recipients << r;
    if (job.server.trimmed().isEmpty())
        return finish(false, QStringLiteral("Kein SMTP-Server angegeben"));
    if (job.sender.trimmed().isEmpty())
        return finish(false, QStringLiteral("Keine Absenderadresse angegeben"));
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
    curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
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
    QByteArray refusal;
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, FirstRefusal);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &refusal);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);

    Q_EMIT status(QStringLiteral("Verbinde mit %1:%2").arg(job.server.trimmed()).arg(job.port));
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);

    if (result == CURLE_OK) {
        Q_EMIT status(QStringLiteral("Mail versandt (%1 Bytes)").arg(job.message.size()));
        return finish(true, {});
    }
    QString explanation = errorText[0] ? QString::fromUtf8(errorText) : QString::fromUtf8(curl_easy_strerror(result));
    if (!refusal.isEmpty())
        explanation += QStringLiteral(" - ") + QString::fromUtf8(refusal);
    if (cancel_)
        explanation = QStringLiteral("Abgebrochen");
    Q_EMIT status(explanation);
    finish(false, explanation);
}

} // namespace kelvaro
