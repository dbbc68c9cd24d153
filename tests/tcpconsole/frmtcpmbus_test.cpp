#include "consoles/tcpconsole.h"
#include "consoles/ui/frmtcpmbus.h"
#include "foundation/messages.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using namespace kelvaro;
using namespace kelvaro::test;

TEST(FrmTCPMBus, ConnectSendAndCloseThroughTheButtons)
{
    InstallationDir dir;
    SimProcess sim(BusJson({R"({"primary": 10, "id": "12345678", "manufacturer": "KEL", "medium": 7,
                                "baud": [2400], "records": ["0413A0860100"]})"}),
                   {"--tcp", "0", "--fast"});
    const QUrl target(sim.device());
    ASSERT_GT(target.port(), 0);

    TcpConsole console;
    FrmTCPMBus window(console);
    window.show();
    EXPECT_EQ(window.txtSend->text(), "10;7B;0A;85;16;");
    EXPECT_EQ(window.lblStatus->text(), "0 Close");

    QTest::keyClicks(window.txtIP, target.host());
    window.txtPort->clear();
    QTest::keyClicks(window.txtPort, QString::number(target.port()));
    QTest::mouseClick(window.cmdConnect, Qt::LeftButton);
    EXPECT_EQ(window.lblStatus->text(), "7 Verbunden");
    EXPECT_TRUE(window.cmdSend->isEnabled());

    QTest::mouseClick(window.cmdSend, Qt::LeftButton);
    const QString reply = window.txtReply->toPlainText();
    EXPECT_TRUE(reply.startsWith("68;") && reply.endsWith("16;")) << reply.toStdString();
    if (const QString shots = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR"); !shots.isEmpty())
        window.grab().save(shots + "/mbus-tcpconsole.png");

    QTest::mouseClick(window.cmdClose, Qt::LeftButton);
    EXPECT_EQ(window.lblStatus->text(), "0 Close");
    QTest::mouseClick(window.cmdSend, Qt::LeftButton);
    EXPECT_EQ(window.txtReply->toPlainText(), "Keine Antwort");
    EXPECT_TRUE(dir.messages().isEmpty());
}

TEST(FrmTCPMBus, EmptyPortFieldIsFilledInAndAFailureReported)
{
    InstallationDir dir;
    TcpConsole console;
    FrmTCPMBus window(console);
    window.txtPort->clear();
    QTest::mouseClick(window.cmdConnect, Qt::LeftButton); // no address
    EXPECT_EQ(window.txtPort->text(), "10001");
    ASSERT_EQ(dir.messageTitles().size(), 1);
    EXPECT_EQ(dir.messageTitles().first(), "Comtest");
    EXPECT_EQ(window.lblStatus->text(), "0 Close");
    EXPECT_TRUE(window.cmdConnect->isEnabled());
}

TEST(FrmTCPMBus, CorrectedPortShowsWhileTheFailureIsStillOnScreen)
{
    InstallationDir dir;
    TcpConsole console;
    FrmTCPMBus window(console);
    window.show();
    QStringList portWhileShown;
    SetMessageHandler({[&](const QString&, const QString&) { portWhileShown << window.txtPort->text(); },
                       [](const QString&, bool defaultYes, const QString&) { return defaultYes; },
                       {}});
    window.txtPort->setText("0");
    QTest::mouseClick(window.cmdConnect, Qt::LeftButton); // no address: the connection fails
    EXPECT_EQ(portWhileShown, QStringList{"10001"});
    EXPECT_EQ(window.txtPort->text(), "10001");
}
