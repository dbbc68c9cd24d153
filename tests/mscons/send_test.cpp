#include "data/testdatabase.h"
#include "edifactreader.h"
#include "mailserver.h"
#include "programrun.h"

#include "foundation/timeutil.h"
#include "mail/mailsettings.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

namespace kelvaro::test {
namespace {

ProgramRun mscons_send(const QStringList& args)
{
    const ProgramRun run = RunCli(QStringList{"mscons-send"} + args, {}, 120000);
    EXPECT_TRUE(run.finished);
    return run;
}

qint64 at(const QString& text) { return DateToSeconds(text); }

// A local port on which nobody listens: a mail server that is down.
int ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class MsconsSend : public ::testing::Test {
protected:
    void SetUp() override
    {
        Mandant = QStringLiteral("200");
        DBPATH = QStringLiteral(".\\DB200\\");
        db_ = std::make_unique<ClientDatabase>(Engine::SQLite);
        ASSERT_TRUE(db_->ready());
        ASSERT_TRUE(db_->openInto(c_));
        ASSERT_TRUE(QDir().mkpath(dir_.file("Z200")));
        dir_.write("OVX.INI", "[OVX]\r\nOVXMandant=200\r\n[MSCONS200]\r\nAbsender=9912345678901\r\n"
                              "Empfaenger=9900000000001\r\nZeitzone=Europe/Berlin\r\n");
        ASSERT_TRUE(c_.exec("INSERT INTO zaehler (LZNR, ZNr, ZQuelle, MSCONS_Lokation) VALUES (1, '11', 'M-Bus', "
                            "'DE0001234567890123456789012345678')"));
        ASSERT_TRUE(c_.exec("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (1, 1, '1-1:1.8.0')"));
    }
    void mailTo(int port, const QString& to = QStringLiteral("netz@example.org"))
    {
        const QString ini = MailSettingsFile();
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("SMTPServer"), QStringLiteral("127.0.0.1"), ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("Port"), QString::number(port), ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("EigEMail"), QStringLiteral("station@example.org"), ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("AnEMail"), to, ini));
        ASSERT_TRUE(WriteMailSetting(QStringLiteral("Betreff"), QStringLiteral("MSCONS"), ini));
    }
    void store(const QString& time, double value)
    {
        QString file;
        ASSERT_EQ(RB6Append(QStringLiteral(".\\"), 1, at(time), value, 1, file), 0);
    }
    QStringList files(const QString& folder) const
    {
        QStringList found;
        const QDir dir(dir_.file("MSCONS/" + folder));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
            found << dir.filePath(name);
        return found;
    }
    QString programLog() const
    {
        QString text;
        for (const QString& name : QDir(dir_.file("DB200")).entryList({"*ed.log"}, QDir::Files))
            text += QString::fromLatin1(dir_.read("DB200/" + name));
        return text;
    }
    // The attachments the server received, by file name.
    static QMap<QString, QByteArray> received(const MailServer& server)
    {
        QMap<QString, QByteArray> found;
        for (const QJsonObject& message : server.messages()) {
            const QJsonObject attachments = message["attachments"].toObject();
            EXPECT_EQ(attachments.size(), 1);
            for (auto it = attachments.begin(); it != attachments.end(); ++it)
                found[it.key()] = QByteArray::fromBase64(it.value().toString().toLatin1());
        }
        return found;
    }
    QMap<QString, QByteArray> sentFiles() const
    {
        QMap<QString, QByteArray> found;
        for (const QString& file : files("Gesendet")) {
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            found[QFileInfo(file).fileName()] = f.readAll();
        }
        return found;
    }

    InstallationDir dir_;
    std::unique_ptr<ClientDatabase> db_;
    SqlConnection c_{"kelvaro.test.mscons.send"};
};

TEST_F(MsconsSend, TheDaysInterchangeIsMailedOnceAndMovedToSent)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    mailTo(server.port());
    store("07.12.2026 23:00", 4711.5);

    const ProgramRun run = mscons_send({"-M200", "--date", "07.12.2026", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
    EXPECT_TRUE(files("Ausgang").isEmpty());
    ASSERT_EQ(files("Gesendet").size(), 1);
    EXPECT_TRUE(QFileInfo(files("Gesendet")[0])
                    .fileName()
                    .startsWith("MSCONS_9912345678901_9900000000001_20261207_20261207_"));
    EXPECT_EQ(run.outJson()["sent"].toArray().size(), 1);
    // The server got the file as it lies in Gesendet, byte for byte.
    EXPECT_EQ(received(server), sentFiles());
    EXPECT_EQ(server.messages().value(0)["rcpt"].toArray().first().toString(), "netz@example.org");
    const QList<ReadSegment> seg = ReadInterchange(files("Gesendet")[0]);
    const auto qty = std::find_if(seg.begin(), seg.end(), [](const ReadSegment& s) { return s.tag == "QTY"; });
    ASSERT_TRUE(qty != seg.end());
    EXPECT_EQ(qty->at(0, 1), "4711.5");
    EXPECT_TRUE(programLog().contains("MSCONS-Versand 07.12.2026: versandt")) << programLog().toStdString();

    // The same day again builds and mails nothing.
    const QByteArray counter = dir_.read("DB200/MSCONS-Referenz-M200.txt");
    const ProgramRun rerun = mscons_send({"--date", "07.12.2026"});
    EXPECT_EQ(rerun.exitCode, 1) << rerun.err.toStdString();
    EXPECT_EQ(server.messages().size(), 1);
    EXPECT_EQ(files("Gesendet").size(), 1);
    EXPECT_TRUE(files("Ausgang").isEmpty());
    EXPECT_EQ(dir_.read("DB200/MSCONS-Referenz-M200.txt"), counter);

    // Asked for, the day is built again under a new reference.
    const ProgramRun again = mscons_send({"--date", "07.12.2026", "--again"});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    ASSERT_EQ(files("Gesendet").size(), 2);
    EXPECT_NE(ReadInterchange(files("Gesendet")[0]).value(0).at(4),
              ReadInterchange(files("Gesendet")[1]).value(0).at(4));
    EXPECT_EQ(received(server), sentFiles());
}

TEST_F(MsconsSend, AReceiverAddedLaterGetsTheDayWithoutTheOthersGettingItAgain)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    mailTo(server.port());
    store("07.12.2026 12:00", 1);
    ASSERT_EQ(mscons_send({"--date", "07.12.2026"}).exitCode, 0);
    dir_.write("OVX.INI", "[OVX]\r\nOVXMandant=200\r\n[MSCONS200]\r\nAbsender=9912345678901\r\n"
                          "Empfaenger=9900000000001;9900000000002\r\nZeitzone=Europe/Berlin\r\n");
    const ProgramRun run = mscons_send({"--date", "07.12.2026", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray built = run.outJson()["built"].toArray();
    ASSERT_EQ(built.size(), 1);
    EXPECT_TRUE(built[0].toString().contains("_9900000000002_20261207_")) << built[0].toString().toStdString();
    EXPECT_EQ(files("Gesendet").size(), 2);
    EXPECT_EQ(received(server), sentFiles());
}

TEST_F(MsconsSend, AFileTheServerDidNotTakeGoesWithTheNextRun)
{
    store("07.12.2026 12:00", 1);
    store("08.12.2026 12:00", 2);
    store("09.12.2026 12:00", 3);
    {
        // The server refuses the recipient.
        MailServer refusing({"--refuse", "netz@example.org"});
        ASSERT_TRUE(refusing.ready());
        mailTo(refusing.port());
        const ProgramRun run = mscons_send({"--date", "07.12.2026"});
        EXPECT_EQ(run.exitCode, 6) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("550")) << run.err.toStdString();
        EXPECT_TRUE(refusing.messages().isEmpty());
    }
    ASSERT_EQ(files("Ausgang").size(), 1);
    EXPECT_TRUE(files("Gesendet").isEmpty());
    EXPECT_TRUE(programLog().contains(QFileInfo(files("Ausgang")[0]).fileName()
                                      + " nicht versandt, bleibt im Ausgang: Fehler beim Senden:"))
        << programLog().toStdString();

    // The server is down: the next day joins the first in the outbox; the
    // first day is not built a second time.
    mailTo(ClosedPort());
    EXPECT_EQ(mscons_send({"--date", "07.12.2026"}).exitCode, 6);
    const ProgramRun down = mscons_send({"--date", "08.12.2026", "--json"});
    EXPECT_EQ(down.exitCode, 6) << down.err.toStdString();
    EXPECT_EQ(down.outJson()["error"].toObject()["code"].toInt(), 6);
    EXPECT_EQ(down.outJson()["left"].toArray().size(), 2);
    const QStringList left = files("Ausgang");
    ASSERT_EQ(left.size(), 2);
    EXPECT_TRUE(left[1].contains("_20261208_20261208_"));

    // With the server up the next run mails the files left and the new one.
    MailServer server;
    ASSERT_TRUE(server.ready());
    mailTo(server.port());
    const ProgramRun up = mscons_send({"--date", "09.12.2026"});
    EXPECT_EQ(up.exitCode, 0) << up.err.toStdString();
    EXPECT_TRUE(files("Ausgang").isEmpty());
    EXPECT_EQ(files("Gesendet").size(), 3);
    EXPECT_EQ(server.messages().size(), 3);
    EXPECT_EQ(received(server), sentFiles());
}

TEST_F(MsconsSend, AFailedBuildStillMailsWhatWasLeftAndTellsIt)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    store("07.12.2026 12:00", 1);
    store("08.12.2026 12:00", 2);
    // No SendMail.INI yet: the mail cannot go out.
    const ProgramRun unset = mscons_send({"--date", "07.12.2026"});
    ASSERT_EQ(unset.exitCode, 6) << unset.err.toStdString();
    ASSERT_EQ(files("Ausgang").size(), 1);

    // The reference counter is damaged: the day cannot be built, the file of
    // the day before goes out all the same, and the run says it failed.
    mailTo(server.port());
    dir_.write("DB200/MSCONS-Referenz-M200.txt", "kaputt");
    const ProgramRun run = mscons_send({"--date", "08.12.2026"});
    EXPECT_EQ(run.exitCode, 5) << run.err.toStdString();
    EXPECT_TRUE(files("Ausgang").isEmpty());
    ASSERT_EQ(files("Gesendet").size(), 1);
    EXPECT_TRUE(files("Gesendet")[0].contains("_20261207_20261207_"));
    EXPECT_EQ(received(server), sentFiles());
    EXPECT_TRUE(programLog().contains("MSCONS-Versand 08.12.2026: MSCONS nicht erzeugt:"))
        << programLog().toStdString();

    // A day without readings and nothing left: nothing to send.
    const ProgramRun empty = mscons_send({"--date", "01.12.2026"});
    EXPECT_EQ(empty.exitCode, 1) << empty.err.toStdString();
    EXPECT_TRUE(programLog().contains("MSCONS-Versand 01.12.2026: keine Zählerstände")) << programLog().toStdString();
}

TEST_F(MsconsSend, TwoRunsAtOnceMailTheDayOnce)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    mailTo(server.port());
    store("07.12.2026 12:00", 1);
    const QString program = ProgramPath("kelvaro-cli");
    const QStringList args{"mscons-send", "--date", "07.12.2026"};
    QProcess a, b;
    a.start(program, args);
    b.start(program, args);
    ASSERT_TRUE(a.waitForFinished(120000) && b.waitForFinished(120000));
    // One of them builds and mails, the other finds the day done.
    EXPECT_EQ(QSet<int>({a.exitCode(), b.exitCode()}), QSet<int>({0, 1}));
    EXPECT_EQ(server.messages().size(), 1);
    EXPECT_EQ(files("Gesendet").size(), 1);
    EXPECT_TRUE(files("Ausgang").isEmpty());
}

TEST_F(MsconsSend, WithoutADateTheRunTakesYesterday)
{
    MailServer server;
    ASSERT_TRUE(server.ready());
    mailTo(server.port());
    const QDate yesterday = QDate::currentDate().addDays(-1);
    store(yesterday.toString("dd.MM.yyyy") + " 12:00", 7);
    const ProgramRun run = mscons_send({});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(files("Gesendet").size(), 1);
    const QString day = yesterday.toString("yyyyMMdd");
    EXPECT_TRUE(files("Gesendet")[0].contains('_' + day + '_' + day + '_')) << files("Gesendet")[0].toStdString();
}

} // namespace
} // namespace kelvaro::test
