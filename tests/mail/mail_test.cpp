#include "mailserver.h"
#include "programrun.h"
#include "testsupport.h"
#include "wiretap.h"

#include "foundation/lasterror.h"
#include "mail/mailaddresses.h"
#include "mail/mailcommandline.h"
#include "mail/maildispatch.h"
#include "mail/mailsettings.h"

#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvaro;
using kelvaro::test::InstallationDir;
using kelvaro::test::MailServer;
using kelvaro::test::RunExecutable;
using kelvaro::test::RunOptions;
using kelvaro::test::RunProgram;
using kelvaro::test::WireTap;

namespace {

QStringList Strings(const QJsonValue& array)
{
    QStringList list;
    for (const QJsonValue& v : array.toArray())
        list << v.toString();
    return list;
}

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

TEST(MailAddresses, FieldsSplitIntoSingleAddresses)
{
    EXPECT_EQ(SplitAddresses(QStringLiteral("a@x.de; b@x.de,c@y.de ;; ")),
              QStringList({QStringLiteral("a@x.de"), QStringLiteral("b@x.de"), QStringLiteral("c@y.de")}));
    EXPECT_EQ(SplitAddresses(QStringLiteral("Netz Süd <netz@x.de>; <b@x.de>")),
              QStringList({QStringLiteral("netz@x.de"), QStringLiteral("b@x.de")}));
    EXPECT_TRUE(SplitAddresses(QStringLiteral(" ; , ")).isEmpty());
    EXPECT_TRUE(IsUsableAddress(QStringLiteral("a.b+c@x-y.de")));
    // Anything that could end the RCPT command and start another is refused.
    for (const QString bad : {"a@x.de>\r\nRCPT TO:<b@y.de", "a b@x.de", "ax.de", "@x.de", "a@", "a@b@c", "\"a\"@x.de"})
        EXPECT_FALSE(IsUsableAddress(bad)) << bad.toStdString();
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

    // A self-signed certificate for 127.0.0.1.
    bool makeCertificate(const QString& cert, const QString& key)
    {
        const QStringList args{"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                               "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert};
        return RunExecutable(QStringLiteral("openssl"), args, 30000).exitCode == 0;
    }

    // The login of `user`:`password` in any form it could take on the wire.
    static QList<QByteArray> CredentialForms(const QByteArray& user, const QByteArray& password)
    {
        return {password, password.toBase64(), QByteArray('\0' + user + '\0' + password).toBase64(),
                QByteArray(user + '\0' + user + '\0' + password).toBase64()};
    }

    int runProgram(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return RunProgram(QStringLiteral("mbus-sendmail"), args, RunOptions{dir.path(), 30000, env}).exitCode;
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
    // This server offers no STARTTLS: a relay on the same machine.
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("AnmeldungOhneTLS"), QStringLiteral("1"), ini));

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
    // The copy recipient was taken and got the mail.
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_EQ(Strings(server.messages().first()[QStringLiteral("rcpt")]), QStringList{QStringLiteral("kopie@example.org")});
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
    EXPECT_EQ(LastErrorText(), QStringLiteral("Fehler beim Senden: \nAnhang %1 kann nicht gelesen werden: Die Datei ist nicht vorhanden.")
                                   .arg(dir.file(QStringLiteral("fehlt.edi"))));
    EXPECT_TRUE(server.messages().isEmpty());

    QDir(dir.path()).mkdir(QStringLiteral("ordner"));
    MailDispatch folder(MailSettingsFile(), false);
    folder.addAttachment(dir.file(QStringLiteral("ordner")));
    EXPECT_FALSE(sendAndWait(folder));
    EXPECT_TRUE(LastErrorText().endsWith(QStringLiteral("Das ist ein Verzeichnis, keine Datei."))) << LastErrorText().toStdString();
    EXPECT_TRUE(server.messages().isEmpty());
}

TEST_F(MailSend, StartTlsWhenTheServerOffersIt)
{
    const QString cert = dir.file(QStringLiteral("cert.pem"));
    const QString key = dir.file(QStringLiteral("key.pem"));
    ASSERT_TRUE(makeCertificate(cert, key));
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

TEST_F(MailSend, LoginGoesOutInClearOnlyWhenTheSwitchAllowsIt)
{
    MailServer server({QStringLiteral("--login"), QStringLiteral("zaehler:geheim")});
    ASSERT_TRUE(server.ready());
    WireTap tap(quint16(server.port()));
    store(server);
    const QString ini = MailSettingsFile();
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Port"), QString::number(tap.port()), ini));
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Anmelden"), QStringLiteral("1"), ini));
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Username"), QStringLiteral("zaehler"), ini));
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("PW"), QStringLiteral("geheim"), ini));
    dir.write(QStringLiteral("a.edi"), "UNA:+.? '");

    {
        MailDispatch dispatch(ini, false);
        dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
        EXPECT_FALSE(sendAndWait(dispatch));
        EXPECT_TRUE(LastErrorText().contains(QStringLiteral("STARTTLS"))) << LastErrorText().toStdString();
        EXPECT_TRUE(LastErrorText().contains(QStringLiteral("AnmeldungOhneTLS=1"))) << LastErrorText().toStdString();
    }
    EXPECT_TRUE(server.messages().isEmpty());
    ASSERT_TRUE(tap.fromClient().contains("EHLO")) << "the tap saw the dialogue";
    EXPECT_FALSE(tap.fromClient().contains("AUTH"));
    for (const QByteArray& form : CredentialForms("zaehler", "geheim"))
        EXPECT_FALSE(tap.fromClient().contains(form)) << form.constData();

    ASSERT_TRUE(WriteMailSetting(QStringLiteral("AnmeldungOhneTLS"), QStringLiteral("1"), ini));
    MailDispatch dispatch(ini, false);
    dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
    ASSERT_TRUE(sendAndWait(dispatch)) << LastErrorText().toStdString();
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_TRUE(server.messages().first()[QStringLiteral("login")].toBool());
    EXPECT_FALSE(server.messages().first()[QStringLiteral("tls")].toBool());
}

TEST_F(MailSend, LoginOverStartTlsNeedsNoSwitch)
{
    const QString cert = dir.file(QStringLiteral("cert.pem"));
    const QString key = dir.file(QStringLiteral("key.pem"));
    ASSERT_TRUE(makeCertificate(cert, key));
    MailServer server({QStringLiteral("--login"), QStringLiteral("zaehler:geheim"), QStringLiteral("--cert"), cert,
                       QStringLiteral("--key"), key});
    ASSERT_TRUE(server.ready());
    WireTap tap(quint16(server.port()));
    store(server);
    const QString ini = MailSettingsFile();
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Port"), QString::number(tap.port()), ini));
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Anmelden"), QStringLiteral("1"), ini));
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("Username"), QStringLiteral("zaehler"), ini));
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("PW"), QStringLiteral("geheim"), ini));
    dir.write(QStringLiteral("a.edi"), "UNB+UNOC:3'");

    MailDispatch dispatch(ini, false);
    dispatch.caFile = cert;
    dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
    ASSERT_TRUE(sendAndWait(dispatch)) << LastErrorText().toStdString();
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_TRUE(server.messages().first()[QStringLiteral("tls")].toBool());
    EXPECT_TRUE(server.messages().first()[QStringLiteral("login")].toBool());
    EXPECT_TRUE(tap.fromClient().contains("STARTTLS"));
    for (const QByteArray& form : CredentialForms("zaehler", "geheim"))
        EXPECT_FALSE(tap.fromClient().contains(form)) << form.constData();
}

TEST_F(MailSend, EveryMailHasItsOwnMessageIdAndADate)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    store(server);
    dir.write(QStringLiteral("a.edi"), "UNH+1'");
    for (int i = 0; i < 2; ++i) {
        MailDispatch dispatch(MailSettingsFile(), false);
        dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
        ASSERT_TRUE(sendAndWait(dispatch)) << LastErrorText().toStdString();
    }
    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 2);
    for (const QJsonObject& m : messages) {
        const QString id = m[QStringLiteral("message_id")].toString();
        EXPECT_TRUE(id.startsWith(QLatin1Char('<')) && id.endsWith(QStringLiteral("@example.org>"))) << id.toStdString();
        EXPECT_FALSE(m[QStringLiteral("date")].toString().isEmpty());
        EXPECT_TRUE(m[QStringLiteral("date_has_zone")].toBool()) << m[QStringLiteral("date")].toString().toStdString();
        EXPECT_TRUE(m[QStringLiteral("header_defects")].toObject().isEmpty())
            << QJsonDocument(m[QStringLiteral("header_defects")].toObject()).toJson().constData();
    }
    EXPECT_NE(messages[0][QStringLiteral("message_id")], messages[1][QStringLiteral("message_id")]);
}

TEST_F(MailSend, SeveralRecipientsEachGetTheMailAndEachRefusalIsReported)
{
    MailServer server({QStringLiteral("--refuse"), QStringLiteral("weg@example.org")});
    ASSERT_TRUE(server.ready());
    store(server, QStringLiteral("a@example.org; b@example.org"));
    const QString ini = MailSettingsFile();
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("CCEMail"), QStringLiteral("c@example.org, a@example.org"), ini));
    dir.write(QStringLiteral("a.edi"), "x");
    {
        MailDispatch dispatch(ini, false);
        dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
        ASSERT_TRUE(sendAndWait(dispatch)) << LastErrorText().toStdString();
    }
    ASSERT_EQ(server.messages().size(), 1);
    QJsonObject m = server.messages().first();
    EXPECT_EQ(Strings(m[QStringLiteral("rcpt")]),
              QStringList({QStringLiteral("a@example.org"), QStringLiteral("b@example.org"), QStringLiteral("c@example.org")}))
        << "one RCPT per address, an address of both fields once";
    EXPECT_EQ(Strings(m[QStringLiteral("to_addresses")]),
              QStringList({QStringLiteral("a@example.org"), QStringLiteral("b@example.org")}));
    EXPECT_EQ(Strings(m[QStringLiteral("cc_addresses")]),
              QStringList({QStringLiteral("c@example.org"), QStringLiteral("a@example.org")}));
    EXPECT_TRUE(m[QStringLiteral("header_defects")].toObject().isEmpty());

    // One of them refused: the others get the mail, the refusal is reported
    // and the send does not count as done.
    ASSERT_TRUE(WriteMailSetting(QStringLiteral("AnEMail"), QStringLiteral("a@example.org;weg@example.org"), ini));
    MailDispatch dispatch(ini, false);
    dispatch.addAttachment(dir.file(QStringLiteral("a.edi")));
    QStringList statusLines;
    QObject::connect(&dispatch, &MailDispatch::status, [&](const QString& line) { statusLines << line; });
    EXPECT_FALSE(sendAndWait(dispatch));
    EXPECT_TRUE(LastErrorText().contains(QStringLiteral("weg@example.org"))) << LastErrorText().toStdString();
    EXPECT_TRUE(LastErrorText().contains(QStringLiteral("550"))) << LastErrorText().toStdString();
    EXPECT_EQ(statusLines.filter(QStringLiteral("abgelehnt")).size(), 1) << statusLines.join('\n').toStdString();
    ASSERT_EQ(server.messages().size(), 2);
    m = server.messages().last();
    EXPECT_EQ(Strings(m[QStringLiteral("rcpt")]),
              QStringList({QStringLiteral("a@example.org"), QStringLiteral("c@example.org")}));
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
