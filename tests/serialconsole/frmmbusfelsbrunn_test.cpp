#include "consoles/serialconsole.h"
#include "consoles/ui/frmmbusfelsbrunn.h"
#include "consoles/ui/frmmbuslog.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace kelvaro;
using kelvaro::test::BusJson;
using kelvaro::test::SimProcess;

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
