#include "mailserver.h"
#include "testsupport.h"

#include "foundation/lasterror.h"
#include "mail/mailcommandline.h"
#include "mail/maildispatch.h"
#include "mail/mailsettings.h"

#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvaro;
using kelvaro::test::InstallationDir;
using kelvaro::test::MailServer;

namespace {

TEST(MailCommandLine, AutoSendAndFile)
{
    EXPECT_TRUE(IsAutoSend(QStringLiteral("AUTOSEND -Fa.txt")));
    EXPECT_TRUE(IsAutoSend(QStringLiteral("-Fa.txt autosend")));
    EXPECT_FALSE(IsAutoSend(QStringLiteral("AUTO SEND")));
    EXPECT_EQ(GetFile(QStringLiteral("AUTOSEND -FC:\\out\\m.edi rest")), QStringLiteral("C:\\out\\m.edi"));
    EXPECT_EQ(GetFile(QStringLiteral("AUTOSEND -Fx.edi")), QStringLiteral("x.edi"));
    EXPECT_EQ(GetFile(QStringLiteral("AUTOSEND -F x.edi")), QString());
    EXPECT_EQ(GetFile(QStringLiteral("AUTOSEND")), QString());
}

TEST(MailSettings, PortFallsBackTo25)
{
    EXPECT_EQ(MailPort(QString()), 25);
    EXPECT_EQ(MailPort(QStringLiteral("0")), 25);
    EXPECT_EQ(MailPort(QStringLiteral(" 587 ")), 587);
    EXPECT_EQ(MailPort(QStringLiteral("2525x")), 2525);
    EXPECT_EQ(MailPort(QStringLiteral("70000")), 25);
}

class MailSend : public ::testing::Test {
protected:
    InstallationDir dir;

    void store(const MailServer& server, const QString& to = QStringLiteral("an@example.org"))
    {
        const QString ini = MailSettingsFile();
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("SMTPServer"), QStringLiteral("127.0.0.1"), ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("Port"), QString::number(server.port()), ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("EigEMail"), QStringLiteral("station@example.org"), ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("EigName"), QStringLiteral("Zählerstation Süd"), ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("AnEMail"), to, ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("CCEMail"), QStringLiteral("kopie@example.org"), ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("Betreff"), QStringLiteral("MSCONS Übertragung"), ini));
    }

    QByteArray binaryFile(const QString& name)
    {
        QByteArray data;
        for (int i = 0; i < 5000; ++i)
            data += char((i * 37) & 0xff);
        data += "\r\n.\r\nend\n";
        dir.write(name, data);
        return data;
    }

    bool sendAndWait(MailDispatch& dispatch)
    {
        QEventLoop loop;
        QObject::connect(&dispatch, &MailDispatch::done, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        if (!dispatch.send())
            return false;
        if (!dispatch.finished())
            loop.exec();
        return dispatch.finished() && dispatch.succeeded();
    }

    int runProgram(const QStringList& args)
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELVARO_BINARY_DIR "/apps/mbus-sendmail/mbus-sendmail"), args);
        if (!p.waitForFinished(30000))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

TEST_F(MailSend, MimeMessageArrivesWhole)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    store(server);
    const QByteArray data = binaryFile(QStringLiteral("zaehler.edi"));
    dir.write(QStringLiteral("zwei.txt"), "zweiter Anhang\n");

    MailDispatch dispatch(MailSettingsFile(), false);
    dispatch.body = QStringLiteral("Guten Tag,\nanbei die Werte.\n.\nGruß");
    dispatch.addAttachment(dir.file(QStringLiteral("zaehler.edi")));
    dispatch.addAttachment(dir.file(QStringLiteral("zwei.txt")));
    QList<int> percents;
    QObject::connect(&dispatch, &MailDispatch::progress, [&](int p) { percents << p; });
    ASSERT_TRUE(sendAndWait(dispatch)) << LastErrorText().toStdString();

    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    const QJsonObject m = messages.first();
    EXPECT_EQ(m[QStringLiteral("subject")].toString(), QStringLiteral("MSCONS Übertragung"));
    EXPECT_EQ(m[QStringLiteral("cc")].toString(), QStringLiteral("kopie@example.org"));
    EXPECT_TRUE(m[QStringLiteral("from")].toString().contains(QStringLiteral("Zählerstation Süd")));
    EXPECT_EQ(m[QStringLiteral("reply_to")].toString(), QStringLiteral("station@example.org"));
    EXPECT_EQ(m[QStringLiteral("rcpt")].toArray().size(), 2);
    EXPECT_EQ(m[QStringLiteral("body_type")].toString(), QStringLiteral("text/plain"));
    EXPECT_EQ(m[QStringLiteral("body")].toString().remove(QLatin1Char('\r')).toStdString(), QStringLiteral("Guten Tag,\nanbei die Werte.\n.\nGruß").toStdString());
    EXPECT_FALSE(m[QStringLiteral("login")].toBool());
    const QJsonObject files = m[QStringLiteral("attachments")].toObject();
    EXPECT_EQ(QByteArray::fromBase64(files[QStringLiteral("zaehler.edi")].toString().toLatin1()), data);
    EXPECT_EQ(QByteArray::fromBase64(files[QStringLiteral("zwei.txt")].toString().toLatin1()), "zweiter Anhang\n");
    ASSERT_FALSE(percents.isEmpty());
    EXPECT_EQ(percents.last(), 100);
}

TEST_F(MailSend, UuencodedAttachmentsInHtmlBody)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    store(server);
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Kodierung"), QStringLiteral("UUEncode"), MailSettingsFile()));
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("HTML"), QStringLiteral("1"), MailSettingsFile()));
    const QByteArray data = binaryFile(QStringLiteral("werte.bin"));

    MailDispatch dispatch(MailSettingsFile(), false);
    dispatch.body = QStringLiteral("<p>Werte</p>");
    dispatch.addAttachment(dir.file(QStringLiteral("werte.bin")));
    ASSERT_TRUE(sendAndWait(dispatch)) << LastErrorText().toStdString();

    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first()[QStringLiteral("body_type")].toString(), QStringLiteral("text/html"));
    const QJsonObject uu = messages.first()[QStringLiteral("uu")].toObject();
    EXPECT_EQ(QByteArray::fromBase64(uu[QStringLiteral("werte.bin")].toString().toLatin1()), data);
}

TEST_F(MailSend, LoginWithRightAndWrongPassword)
{
    MailServer server({QStringLiteral("--login"), QStringLiteral("zaehler:geheim")});
    ASSERT_TRUE(server.ready());
    store(server);
    dir.write(QStringLiteral("a.edi"), "UNA:+.? '");
    const QString ini = MailSettingsFile();
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Anmelden"), QStringLiteral("1"), ini));
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Username"), QStringLiteral("zaehler"), ini));

    ASSERT_TRUE(WriteMailSetting(QStringLiteral("PW"), QStringLiteral("falsch"), ini));
    {
        MailDispatch dispatch(ini, false);
        dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
        EXPECT_FALSE(sendAndWait(dispatch));
        EXPECT_TRUE(LastErrorText().startsWith(QStringLiteral("Fehler beim Senden: \n")));
        EXPECT_FALSE(LastErrorText().contains(QStringLiteral("falsch")));
    }
    EXPECT_TRUE(server.messages().isEmpty());

    ASSERT_TRUE(WriteMailSetting(QStringLiteral("PW"), QStringLiteral("geheim"), ini));
    MailDispatch dispatch(ini, false);
    dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
    ASSERT_TRUE(sendAndWait(dispatch)) << LastErrorText().toStdString();
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_TRUE(server.messages().first()[QStringLiteral("login")].toBool());
}

TEST_F(MailSend, RefusedRecipientGivesTheServersReply)
{
    MailServer server({QStringLiteral("--refuse"), QStringLiteral("weg@example.org")});
    ASSERT_TRUE(server.ready());
    store(server, QStringLiteral("weg@example.org"));
    dir.write(QStringLiteral("a.edi"), "x");
    MailDispatch dispatch(MailSettingsFile(), false);
    dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
    EXPECT_FALSE(sendAndWait(dispatch));
    EXPECT_TRUE(LastErrorText().startsWith(QStringLiteral("Fehler beim Senden: \n")));
    EXPECT_TRUE(LastErrorText().contains(QStringLiteral("550"))) << LastErrorText().toStdString();
    EXPECT_TRUE(LastErrorText().contains(QStringLiteral("Mailbox unavailable"))) << LastErrorText().toStdString();
    EXPECT_TRUE(server.messages().isEmpty());
}

TEST_F(MailSend, UnreadableAttachmentSendsNothing)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    store(server);
    MailDispatch dispatch(MailSettingsFile(), false);
    dispatch.addAttachment(dir.file(QStringLiteral("fehlt.edi")));
    EXPECT_FALSE(sendAndWait(dispatch));
    EXPECT_TRUE(dispatch.finished());
    EXPECT_TRUE(LastErrorText().contains(QStringLiteral("fehlt.edi")));
    EXPECT_TRUE(server.messages().isEmpty());
}

TEST_F(MailSend, StartTlsWhenTheServerOffersIt)
{
    const QString cert = dir.file(QStringLiteral("cert.pem"));
    const QString key = dir.file(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
    ASSERT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
    MailServer server({QStringLiteral("--cert"), cert, QStringLiteral("--key"), key});
    ASSERT_TRUE(server.ready());
    store(server);
    dir.write(QStringLiteral("a.edi"), "UNB+UNOC:3'");

    {
        // An untrusted certificate stops the send rather than falling back to plain text.
        MailDispatch dispatch(MailSettingsFile(), false);
        dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
        EXPECT_FALSE(sendAndWait(dispatch));
        EXPECT_TRUE(server.messages().isEmpty());
    }
    MailDispatch dispatch(MailSettingsFile(), false);
    dispatch.caFile = cert;
    dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
    ASSERT_TRUE(sendAndWait(dispatch)) << LastErrorText().toStdString();
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_TRUE(server.messages().first()[QStringLiteral("tls")].toBool());
}

TEST_F(MailSend, SendMailForOtherParts)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    store(server);
    dir.write(QStringLiteral("b.edi"), "UNH+1'");
    EXPECT_FALSE(ADO_SendMail(QStringLiteral("x@example.org"), QStringLiteral("leer"), QString(), QString(), 10));
    EXPECT_TRUE(server.messages().isEmpty());

    ASSERT_TRUE(ADO_SendMail(QStringLiteral("netz@example.org"), QStringLiteral("Werte Mai"), QStringLiteral("anbei"),
                             dir.file(QStringLiteral("b.edi")), 20))
        << LastErrorText().toStdString();
    ASSERT_EQ(server.messages().size(), 1);
    const QJsonObject m = server.messages().first();
    EXPECT_EQ(m[QStringLiteral("to")].toString(), QStringLiteral("netz@example.org"));
    EXPECT_EQ(m[QStringLiteral("subject")].toString(), QStringLiteral("Werte Mai"));
    // The stored recipient is not overwritten by the call.
    EXPECT_EQ(MailSettings::load(MailSettingsFile()).to, QStringLiteral("an@example.org"));
}

TEST_F(MailSend, AutoSendProgram)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    store(server);
    const QByteArray data = binaryFile(QStringLiteral("m.edi"));

    EXPECT_EQ(runProgram({QStringLiteral("AUTOSEND")}), 2);
    EXPECT_EQ(runProgram({QStringLiteral("AUTOSEND"), QStringLiteral("-F")}), 2);
    EXPECT_TRUE(server.messages().isEmpty());

    EXPECT_EQ(runProgram({QStringLiteral("autosend"), QStringLiteral("-Fm.edi")}), 0);
    ASSERT_EQ(server.messages().size(), 1);
    const QJsonObject files = server.messages().first()[QStringLiteral("attachments")].toObject();
    EXPECT_EQ(QByteArray::fromBase64(files[QStringLiteral("m.edi")].toString().toLatin1()), data);

    // A server that is gone: a failure, reported by the exit code.
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Port"), QStringLiteral("1"), MailSettingsFile()));
    EXPECT_EQ(runProgram({QStringLiteral("AUTOSEND"), QStringLiteral("-Fm.edi")}), 1);
}

} // namespace
