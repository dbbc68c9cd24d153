#include "consoles/serialconsole.h"
#include "consoles/ui/frmmbusfelsbrunn.h"
#include "consoles/ui/frmmbuslog.h"
#include "mbus/wire/busport.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kelvaro;
using kelvaro::test::BusJson;
using kelvaro::test::SimProcess;

namespace {

const QString kMeter4 =
    QStringLiteral(R"({"primary": 4, "id": "12070267", "baud": [2400], "records": ["0406E8030000", "04134C1D0000"]})");

// The console's window, its log window and its core on the simulator's line.
struct ConsoleOnSim {
    test::InstallationDir installation;
    SimProcess sim;
    LogWindowModel model;
    SerialConsole console;
    FrmMBusLog log;
    FrmMBusFelsbrunn window;
    explicit ConsoleOnSim(const QString& meter = kMeter4)
        : sim(BusJson({meter}), {"--fast"})
        , console(mbus::PortDirectory::everyPortTo(sim.device()), model)
        , log(model)
        , window(console, log)
    {
        window.show();
    }
    // Opens COM 3 through the window.
    bool openPort()
    {
        window.cboPort->setCurrentText("3");
        QTest::mouseClick(window.cmdOpen, Qt::LeftButton);
        return console.isOpen();
    }
};

bool AnyWindowVisible()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            return true;
    return false;
}

} // namespace

TEST(SerialConsoleWindow, ChosenSelectionSentAndItsTelegramShown)
{
    test::InstallationDir installation; // the program log goes there
    SimProcess sim(BusJson({QStringLiteral(R"({"primary": 4, "id": "12070267", "baud": [2400], "records": ["0406E8030000", "04134C1D0000"]})")}),
                   {"--fast"});
    ASSERT_FALSE(sim.device().isEmpty()) << sim.output().toStdString();
    LogWindowModel model;
    SerialConsole console(mbus::PortDirectory::everyPortTo(sim.device()), model);
    FrmMBusLog log(model);
    FrmMBusFelsbrunn window(console, log);
    window.show();

    EXPECT_EQ(window.txtSend->text(), "68 0B 0B 68 53 FD 52 67 02 F7 FF FF FF FF FF FD 16");
    EXPECT_EQ(window.cboBaud->count(), 6);
    window.lstSelection->setCurrentRow(8);
    EXPECT_EQ(window.txtSend->text(), "68 0B 0B 68 53 FD 52 80 82 24 FF FF FF FF FF C3 16");
    window.lstSelection->setCurrentRow(7);

    EXPECT_EQ(window.lblState->text(), "Close");
    QTest::mouseClick(window.cmdOpen, Qt::LeftButton);
    EXPECT_EQ(window.lblState->text(), "Open ");
    QTest::mouseClick(window.cmdSend, Qt::LeftButton);
    EXPECT_EQ(window.txtIdent->text(), "12070267");
    EXPECT_EQ(window.txtAddress->text(), "4");
    EXPECT_EQ(window.grdResult->rowCount(), 2);
    EXPECT_EQ(log.MSFlexGrid1->count(), int(model.rows().size()));
    EXPECT_EQ(log.MSFlexGrid1->item(4)->text(), "Send 5");

    if (const QString shots = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR"); !shots.isEmpty())
        window.grab().save(shots + "/mbus-serialconsole.png");

    window.txtSend->setText("68 0B 0B 68 53 FD 52 99 99 99 99 FF FF FF FF 00 16");
    QTest::mouseClick(window.cmdSend, Qt::LeftButton);
    EXPECT_EQ(model.rows().last(), "FEHLER kein E5");
    EXPECT_TRUE(window.txtIdent->text().isEmpty()) << "no values left from the exchange before";
    EXPECT_EQ(window.grdResult->rowCount(), 0);
    EXPECT_EQ(window.lblState->text(), "Open ");

    window.txtSpeedFrom->setText("3");
    window.txtSpeedTo->setText("4");
    QTest::mouseClick(window.cmdSpeedRead, Qt::LeftButton);
    EXPECT_EQ(window.lblSpeedCount->text(), "1") << "address 4 answers, 3 is silent";
    EXPECT_FALSE(window.lblSpeedSeconds->text().isEmpty());
    EXPECT_TRUE(window.cmdSend->isEnabled());
    EXPECT_FALSE(window.cmdSpeedStop->isEnabled());

    QTest::mouseClick(window.cmdClose, Qt::LeftButton);
    EXPECT_EQ(window.lblState->text(), "Close");
    log.resize(300, 200);
    EXPECT_EQ(log.MSFlexGrid1->width(), 300 - 8 - 8);
}

TEST(SerialConsoleWindow, ClosingTheConsoleEndsTheProgramAndReleasesThePort)
{
    ConsoleOnSim c;
    ASSERT_FALSE(c.sim.device().isEmpty()) << c.sim.output().toStdString();
    ASSERT_TRUE(c.openPort());
    ASSERT_TRUE(c.log.isVisible());

    // The program's own loop must end with the console's window.
    QTimer::singleShot(0, &c.window, [&] { c.window.close(); });
    QTimer::singleShot(10000, qApp, [] { QApplication::exit(99); });
    EXPECT_EQ(QApplication::exec(), 0) << "the log window kept the program running";
    EXPECT_FALSE(c.log.isVisible());
    EXPECT_FALSE(AnyWindowVisible());
    EXPECT_FALSE(c.console.isOpen());
    mbus::BusPort other;
    EXPECT_TRUE(other.open(c.sim.device(), 2400)) << "the port is free for the next program";
}

TEST(SerialConsoleWindow, OneExchangeAtATime)
{
    ConsoleOnSim c;
    ASSERT_FALSE(c.sim.device().isEmpty()) << c.sim.output().toStdString();
    ASSERT_TRUE(c.openPort());
    c.window.lstSelection->setCurrentRow(7);

    // Halfway through the exchange the operator reaches for the other buttons.
    QStringList enabledDuring;
    QString refusal;
    QObject::connect(&c.model, &LogWindowModel::rowInserted, &c.window, [&](int, const QString& text) {
        if (text != "Send 5")
            return;
        QTimer::singleShot(0, &c.window, [&] {
            for (QPushButton* b : {c.window.cmdSpeedRead, c.window.cmdOpen, c.window.cmdClose, c.window.cmdSend}) {
                if (b->isEnabled())
                    enabledDuring << b->text();
                QTest::mouseClick(b, Qt::LeftButton);
            }
            // Core callers are refused as well.
            EXPECT_FALSE(c.console.close());
            c.console.speedTest(1, 5, {}, &refusal);
        });
    });
    QTest::mouseClick(c.window.cmdSend, Qt::LeftButton);
    EXPECT_TRUE(enabledDuring.isEmpty()) << enabledDuring.join(", ").toStdString();
    EXPECT_FALSE(refusal.isEmpty());
    EXPECT_EQ(c.window.txtIdent->text(), "12070267") << c.model.rows().join("\n").toStdString();
    EXPECT_TRUE(c.console.isOpen());
    for (const QString& row : c.model.rows())
        EXPECT_FALSE(row.startsWith("Geschwindigkeitstest")) << "a speed test ran inside the exchange";
    for (QPushButton* b : {c.window.cmdSpeedRead, c.window.cmdOpen, c.window.cmdClose, c.window.cmdSend})
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
}

TEST(SerialConsoleWindow, ClosingDuringTheSpeedTestStopsItAndThenCloses)
{
    ConsoleOnSim c;
    ASSERT_FALSE(c.sim.device().isEmpty()) << c.sim.output().toStdString();
    ASSERT_TRUE(c.openPort());
    c.window.txtSpeedFrom->setText("4");
    c.window.txtSpeedTo->setText("250");
    bool asked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &c.window, [&] {
        if (!asked && !c.window.lblSpeedCount->text().isEmpty()) {
            asked = true;
            c.window.close();
        }
    });
    poll.start(1);
    QTest::mouseClick(c.window.cmdSpeedRead, Qt::LeftButton);
    ASSERT_TRUE(asked);
    EXPECT_FALSE(c.window.isVisible());
    EXPECT_FALSE(c.log.isVisible());
    EXPECT_FALSE(c.console.isOpen());
    ASSERT_FALSE(c.model.rows().isEmpty());
    const QString line = c.model.rows().last();
    EXPECT_TRUE(line.startsWith("Geschwindigkeitstest 4..")) << line.toStdString();
    EXPECT_FALSE(line.startsWith("Geschwindigkeitstest 4..250")) << line.toStdString();
}

TEST(SerialConsoleWindow, FocusInTheListKeepsTheTypedFrame)
{
    ConsoleOnSim c;
    c.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&c.window));
    const QString typed = "10 5B 04 5F 16";
    c.window.txtSend->setText(typed);
    c.window.lstSelection->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(c.window.lstSelection->hasFocus());
    EXPECT_EQ(c.window.txtSend->text(), typed);

    QListWidgetItem* nzr = c.window.lstSelection->item(8);
    QTest::mouseClick(c.window.lstSelection->viewport(), Qt::LeftButton, {},
                      c.window.lstSelection->visualItemRect(nzr).center());
    EXPECT_EQ(c.window.txtSend->text(), "68 0B 0B 68 53 FD 52 80 82 24 FF FF FF FF FF C3 16");
    QTest::keyClick(c.window.lstSelection, Qt::Key_Down);
    EXPECT_EQ(c.window.txtSend->text(), "68 0B 0B 68 53 FD 52 49 02 25 23 FF FF FF FF 31 16");
}

TEST(SerialConsoleWindow, PortNotOpenNamesTheChosenPort)
{
    ConsoleOnSim c;
    ASSERT_FALSE(c.sim.device().isEmpty()) << c.sim.output().toStdString();
    c.window.cboPort->setCurrentText("7");
    QTest::mouseClick(c.window.cmdSend, Qt::LeftButton);
    ASSERT_FALSE(c.installation.messages().isEmpty());
    EXPECT_EQ(c.installation.messages().last(), "Comport 7 nicht geöffnet!");

    ASSERT_TRUE(c.openPort());
    QTest::mouseClick(c.window.cmdClose, Qt::LeftButton);
    c.window.cboPort->setCurrentText("6");
    QTest::mouseClick(c.window.cmdSpeedRead, Qt::LeftButton);
    EXPECT_EQ(c.window.lblMessage->text(), "Comport 6 nicht geöffnet!") << "not the port that was open last";
}

// A line that goes away shows: between exchanges the state turns to "Close" by
// itself, during "&Send" the message names the loss; "&Open" opens it again
// once it is back.
TEST(SerialConsoleWindow, LostLineShowsCloseAndOpensAgain)
{
    test::InstallationDir installation;
    test::ReturningLine line(BusJson({kMeter4}), test::ReturningLine::PseudoTerminal);
    ASSERT_TRUE(line.isUp());
    LogWindowModel model;
    SerialConsole console(mbus::PortDirectory::everyPortTo(line.device()), model);
    FrmMBusLog log(model);
    FrmMBusFelsbrunn window(console, log);
    window.show();
    window.cboPort->setCurrentText("3");
    QTest::mouseClick(window.cmdOpen, Qt::LeftButton);
    ASSERT_EQ(window.lblState->text(), "Open ");

    line.drop();
    for (int i = 0; i < 250 && window.lblState->text() != "Close"; ++i)
        QTest::qWait(20);
    EXPECT_EQ(window.lblState->text(), "Close");
    EXPECT_TRUE(window.lblMessage->text().startsWith("Leitung verloren (")) << window.lblMessage->text().toStdString();

    ASSERT_TRUE(line.restore());
    QTest::mouseClick(window.cmdOpen, Qt::LeftButton);
    ASSERT_EQ(window.lblState->text(), "Open ");
    QObject::connect(&model, &LogWindowModel::rowInserted, [&](int, const QString& text) {
        if (text.startsWith("Send 17") && line.isUp())
            line.drop();
    });
    QTest::mouseClick(window.cmdSend, Qt::LeftButton);
    EXPECT_EQ(window.lblState->text(), "Close");
    ASSERT_FALSE(installation.messages().isEmpty());
    EXPECT_TRUE(installation.messages().last().startsWith("Comport 3: Leitung verloren beim Warten auf E5 ("))
        << installation.messages().last().toStdString();
    EXPECT_TRUE(window.cmdOpen->isEnabled());
}
