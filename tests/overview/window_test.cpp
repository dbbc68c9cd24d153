#include "overview/ui/frmkelvarov4alle.h"
#include "foundation/processlock.h"
#include "overviewfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTableView>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::overview;
using namespace kelvaro::test;

namespace {

class OverviewWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(inst_.ready);
        inst_.addMeters(3, 2400, 2);
        inst_.addMeters(3, 300, 1);
        inst_.addMeters(5, 9600, 4);
        // Test bench and meter list editor beside the overview, no log import.
        for (const char* name : {"bin/tarvolin", "bin/mbus-edit"}) {
            inst_.dir.write(name, "#!/bin/sh\n");
            QFile(inst_.dir.file(name)).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        Overview::Environment environment;
        environment.programs = OverviewInstallation::locations(inst_.dir.file("bin"));
        environment.starter = starts_.starter();
        overview_ = std::make_unique<Overview>(environment);
        window_ = std::make_unique<FrmKelvaroV4Alle>(*overview_);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        overview_->load("-M200");
    }
    void clickRow(int row)
    {
        QTableView* grid = window_->MSFlexGrid1;
        const QRect cell = grid->visualRect(grid->model()->index(row, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }
    QString shown(int row, int column) const
    {
        return window_->MSFlexGrid1->model()->index(row, column).data().toString();
    }

    OverviewInstallation inst_;
    RecordedStarts starts_;
    std::unique_ptr<Overview> overview_;
    std::unique_ptr<FrmKelvaroV4Alle> window_;
};

} // namespace

TEST_F(OverviewWindow, ShowsThePortGridAndTheControls)
{
    EXPECT_EQ(window_->windowTitle(), "OVX Kelvaro V4.1");
    QAbstractItemModel* model = window_->MSFlexGrid1->model();
    ASSERT_EQ(model->columnCount(), 9);
    QStringList captions;
    for (int c = 0; c < 9; ++c)
        captions << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(captions, (QStringList{"Com", "Anz Zähler", "300 Baud", "1200 Baud", "2400 Baud", "4800 Baud",
                                     "9600 Baud", "Zyk.Zeit [s]", "Status"}));
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(shown(0, 1), "3");
    EXPECT_EQ(shown(0, 7), "2,99");
    EXPECT_EQ(shown(1, 6), "4");
    EXPECT_TRUE(window_->lblDatenbank->text().contains("basis")) << window_->lblDatenbank->text().toStdString();
    EXPECT_EQ(window_->lblPfad->text(), ".\\yymmddmb.txt");
    EXPECT_EQ(window_->chkwerteprotokoll->text(), "M-Bus Werte Protokollieren (\\xxxxxxMB.log)");
    EXPECT_EQ(window_->Check1->text(), "MBus Neustart um :");
    EXPECT_EQ(window_->Check2->text(), "Mit Index-Export");
    ASSERT_EQ(window_->Combo1->count(), 3);
    EXPECT_EQ(window_->Combo1->currentText(), "MBus OLE V2");
    EXPECT_EQ(window_->menuBar()->actions().first()->text(), "&Datei");
    if (const QString shots = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR"); !shots.isEmpty()) {
        // Port 3's master as running.
        ProcessLock held(MasterPortLockFile(".\\DB200\\", "200", 3));
        ASSERT_TRUE(held.tryLock(ProcessLock::Mode::Exclusive));
        overview_->refreshStatus();
        window_->MSFlexGrid1->selectRow(0);
        window_->grab().save(shots + "/kelvaro-overview.png");
    }
}

TEST_F(OverviewWindow, ClickingARowStartsItsMasterOnceAndMarksIt)
{
    clickRow(1);
    ASSERT_EQ(starts_.calls, (QList<QStringList>{{"kelvaro", "Auto", "-M200", "-C5"}}));
    // The recorded start runs no process: the next refresh finds no master and
    // the port may be started again.
    EXPECT_EQ(shown(1, 8), "");
    ProcessLock held(MasterPortLockFile(".\\DB200\\", "200", 3));
    ASSERT_TRUE(held.tryLock(ProcessLock::Mode::Exclusive));
    overview_->refreshStatus();
    EXPECT_EQ(shown(0, 8), "läuft");
    clickRow(0);
    QTest::keyClick(window_->MSFlexGrid1, Qt::Key_Return);
    EXPECT_EQ(starts_.calls.size(), 1) << "a port whose master runs elsewhere is not started";
    EXPECT_TRUE(inst_.dir.messages().isEmpty());
}

TEST_F(OverviewWindow, MenusStartTheSiblingProgramsWithTheClient)
{
    window_->MnuZaehler->trigger();
    window_->mnuTarvolin->trigger();
    EXPECT_EQ(starts_.calls, (QList<QStringList>{{"mbus-edit", "-M200"}, {"tarvolin", "-M200"}}));
    window_->mnuImportLogFile->trigger();
    EXPECT_EQ(starts_.calls.size(), 2);
    EXPECT_EQ(inst_.dir.messages(), QStringList{"mbus-logimport ist nicht installiert."});
    EXPECT_TRUE(inst_.programLog().contains("Starte tarvolin -M200"));

    window_->mnuEnde->trigger();
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(OverviewWindow, ProviderListWritesOleProviderOfPortZero)
{
    window_->Combo1->setFocus();
    QTest::keyClick(window_->Combo1, Qt::Key_Down);
    EXPECT_EQ(window_->Combo1->currentIndex(), 2);
    EXPECT_EQ(ReadIniString("200MBus0", "OleProvider", kOvxIni), "2");
    EXPECT_EQ(ReadIniString("200MBus3", "OleProvider", kOvxIni), "") << "the masters' own entries stay";
}

// The three boxes keep their state in OVX.INI, where the masters read it.
TEST_F(OverviewWindow, TheThreeBoxesWriteTheirKeysAndShowThemAtLoad)
{
    EXPECT_FALSE(window_->chkwerteprotokoll->isChecked());
    EXPECT_FALSE(window_->Check1->isChecked());
    EXPECT_FALSE(window_->Check2->isChecked());

    window_->chkwerteprotokoll->click();
    EXPECT_EQ(ReadIniString("MB200", "MBSpeichern1", kOvxIni), "1");
    window_->Check2->click();
    EXPECT_EQ(ReadIniString("200MBus", "MitIndexExport", kOvxIni), "1");
    window_->Text2->setText("5:15");
    window_->Check1->click();
    EXPECT_EQ(ReadIniString("200MBus", "NeustartUm", kOvxIni), "05:15");
    EXPECT_EQ(window_->Text2->text(), "05:15");
    // A changed time counts while the box is ticked; a wrong one switches it off.
    window_->Text2->setFocus();
    window_->Text2->selectAll();
    QTest::keyClicks(window_->Text2, "06:45");
    QTest::keyClick(window_->Text2, Qt::Key_Return);
    EXPECT_EQ(ReadIniString("200MBus", "NeustartUm", kOvxIni), "06:45");
    EXPECT_EQ(overview_->dailyRestart().time(), QTime(6, 45));
    window_->Text2->selectAll();
    QTest::keyClicks(window_->Text2, "spaeter");
    QTest::keyClick(window_->Text2, Qt::Key_Return);
    EXPECT_FALSE(window_->Check1->isChecked());
    EXPECT_EQ(ReadIniString("200MBus", "NeustartUm", kOvxIni), "");
    EXPECT_EQ(inst_.dir.messages().size(), 1);

    window_->chkwerteprotokoll->click();
    EXPECT_EQ(ReadIniString("MB200", "MBSpeichern1", kOvxIni), "0");

    // What another overview (or a master's own settings panel) wrote shows at load.
    ASSERT_TRUE(WriteIniString("MB200", "MBSpeichern1", "1", kOvxIni));
    ASSERT_TRUE(WriteIniString("200MBus", "NeustartUm", "03:30", kOvxIni));
    ASSERT_TRUE(WriteIniString("200MBus", "MitIndexExport", "0", kOvxIni));
    Overview::Environment environment;
    environment.programs = OverviewInstallation::locations(inst_.dir.file("bin"));
    environment.starter = starts_.starter();
    Overview second(environment);
    FrmKelvaroV4Alle window(second);
    window.show();
    second.load("-M200");
    EXPECT_TRUE(window.chkwerteprotokoll->isChecked());
    EXPECT_TRUE(window.Check1->isChecked());
    EXPECT_EQ(window.Text2->text(), "03:30");
    EXPECT_FALSE(window.Check2->isChecked());
}
