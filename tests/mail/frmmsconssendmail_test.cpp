#include "mailserver.h"
#include "testsupport.h"

#include "foundation/ini.h"
#include "mail/maildispatch.h"
#include "mail/ui/frmmsconssendmail.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace kelvaro;

namespace {

TEST(FrmMSConsSendMail, FieldsAreStoredAndTheMailGoesOut)
{
    test::InstallationDir dir;
    test::MailServer server;
    ASSERT_TRUE(server.ready());
    MailDispatch dispatch(MailSettingsFile(), false);
    FrmMSConsSendMail window(dispatch);
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Send Mail V1.0"));

    const QList<QPair<QString, QString>> typed{{QStringLiteral("SMTPServer"), QStringLiteral("127.0.0.1")},
                                               {QStringLiteral("Port"), QString::number(server.port())},
                                               {QStringLiteral("EigEMail"), QStringLiteral("station@example.org")},
                                               {QStringLiteral("AnEMail"), QStringLiteral("an@example.org")},
                                               {QStringLiteral("Betreff"), QStringLiteral("Monatswerte")}};
    for (const auto& [key, text] : typed) {
        QTest::keyClicks(window.field(key), text);
        EXPECT_EQ(ReadIniString(QStringLiteral("SendMail"), key, MailSettingsFile()), text) << key.toStdString();
    }

    EXPECT_FALSE(window.field(QStringLiteral("PW"))->isEnabled());
    QTest::mouseClick(window.loginSwitch(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(window.field(QStringLiteral("PW"))->isEnabled());
    EXPECT_EQ(ReadIniString(QStringLiteral("SendMail"), QStringLiteral("Anmelden"), MailSettingsFile()), QStringLiteral("1"));
    QTest::mouseClick(window.loginSwitch(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(window.field(QStringLiteral("Username"))->isEnabled());

    dir.write(QStringLiteral("w.edi"), "UNB'");
    window.attachFile(dir.file(QStringLiteral("w.edi")));
    QSignalSpy done(&dispatch, &MailDispatch::done);
    QTest::mouseClick(window.sendButton(), Qt::LeftButton);
    ASSERT_TRUE(done.count() > 0 || done.wait(20000));
    EXPECT_TRUE(done.first().at(0).toBool());
    EXPECT_EQ(server.messages().size(), 1);
    EXPECT_EQ(window.progressBar()->text(), QStringLiteral("100 %"));
    EXPECT_GT(window.statusList()->count(), 0);
    if (const QString shots = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR"); !shots.isEmpty())
        window.grab().save(shots + "/mbus-sendmail.png");

    QTest::mouseClick(window.resetButton(), Qt::LeftButton);
    EXPECT_EQ(window.attachmentList()->count(), 0);
    EXPECT_EQ(window.statusList()->count(), 0);
    EXPECT_TRUE(dispatch.attachmentString.isEmpty());
}

} // namespace
