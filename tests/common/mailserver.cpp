#include "mailserver.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>

namespace kelvaro::test {

static int FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

MailServer::MailServer(const QStringList& options)
{
    port_ = FreePort();
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"),
                   QStringList{QStringLiteral(KELVARO_SOURCE_DIR "/tests/common/smtpserver.py"), QStringLiteral("--port"),
                               QString::number(port_), QStringLiteral("--dir"), dir_.path()}
                       + options);
    while (process_.waitForReadyRead(10000))
        if (process_.readAll().contains("READY")) {
            ready_ = true;
            break;
        }
}

MailServer::~MailServer()
{
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

QList<QJsonObject> MailServer::messages() const
{
    QList<QJsonObject> found;
    for (int n = 1;; ++n) {
        QFile file(dir_.filePath(QStringLiteral("%1.json").arg(n)));
        if (!file.open(QIODevice::ReadOnly))
            return found;
        found << QJsonDocument::fromJson(file.readAll()).object();
    }
}

} // namespace kelvaro::test
