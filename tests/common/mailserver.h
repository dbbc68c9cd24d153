#pragma once
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace kelvaro::test {

// The throw-away SMTP server of smtpserver.py on a free local port.
class MailServer {
public:
    explicit MailServer(const QStringList& options = {});
    ~MailServer();
    bool ready() const { return ready_; }
    int port() const { return port_; }
    // The received messages, oldest first.
    QList<QJsonObject> messages() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    bool ready_ = false;
};

} // namespace kelvaro::test
