#pragma once
#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>
#include <thread>

namespace kelvaro {

struct SmtpJob {
    QString server;
    int port = 25;
    QString sender;
    QStringList recipients; // To and Cc, one address each
    bool login = false;
    bool allowPlainLogin = false; // a login also without TLS (a relay on the same machine)
    QString user;
    QString password;
    QString caFile;         // extra trusted certificates (empty: the system's)
    QByteArray message;     // the whole message, CRLF lines
};

// The mail component: sends one message at a time on a worker thread through
// libcurl's SMTP (STARTTLS whenever the server offers it, SMTPS on port 465)
// and reports by its four signals, delivered in the owner's thread. A login
// goes out only over TLS unless the job allows it in clear. Every recipient
// is its own RCPT; the mail goes to those the server takes, and each refusal
// is reported (the send then counts as failed: not everyone got it).
class SmtpSender : public QObject {
    Q_OBJECT
public:
    explicit SmtpSender(QObject* parent = nullptr);
    ~SmtpSender() override; // cancels a running send and waits for it

    // false when a send is still running.
    bool start(SmtpJob job);
    bool running() const { return running_; }
    void cancel() { cancel_ = true; }

Q_SIGNALS:
    void progress(int percent);
    void status(const QString& text);
    void sendSuccessful();
    void sendFailed(const QString& explanation);

private:
    void run(SmtpJob job);
    void join();

    std::thread worker_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
};

} // namespace kelvaro
