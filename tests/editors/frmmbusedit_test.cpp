#include "editorfixture.h"
#include "editors/metereditor.h"
#include "editors/ui/frmmbusedit.h"
#include "editors/ui/frmzaehlerselect.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest/QTest>

using namespace kelvaro;

namespace {

class MeterEditWindow : public test::EditorTest {
protected:
    void SetUp() override
    {
        test::EditorTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        first_ = addMeter("1001", 1, 1);
        second_ = addMeter("1002", 2, 1);
        ASSERT_TRUE(db().exec("UPDATE zaehler SET MB_ID = '10010001' WHERE LZNR = ?", {first_}));
        for (int index = 1; index <= 3; ++index)
            ASSERT_TRUE(db().exec("INSERT INTO MB_IndexListe (Lznr, MBIndex, Art, Einheit, Faktor, MBTyp, Anzeigen, "
                                  "Speichern) VALUES (?, ?, ?, 'kWh', 1, 0, ?, ?)",
                                  {first_, index, QStringLiteral("Wert %1").arg(index), true, true}));
        environment_.client = Mandant;
        environment_.dbPath = DBPATH;
        environment_.datenPath = DBPATH;
        environment_.database = settings_;
        editor_ = std::make_unique<MeterEditor>(settings_, Mandant);
        window_ = std::make_unique<FrmMBusEdit>(*editor_, environment_);
        window_->load();
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }
    void TearDown() override
    {
        window_.reset();
        editor_.reset();
        test::EditorTest::TearDown();
    }

    QPoint cellCentre(QTableView* view, int row, int column)
    {
        return view->visualRect(view->model()->index(row, column)).center();
    }
    void doubleClickListRow(int row)
    {
        QWidget* viewport = window_->MSFlexGrid1->viewport();
        const QPoint at = cellCentre(window_->MSFlexGrid1, row, MeterListGrid::ColAdresse);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    }
    // The line editor open in the index grid.
    QLineEdit* cellEditor()
    {
        for (QLineEdit* line : window_->EditGrid->viewport()->findChildren<QLineEdit*>())
            if (line->isVisible())
                return line;
        return nullptr;
    }
    QModelIndex current() { return window_->EditGrid->currentIndex(); }

    qint64 first_ = 0, second_ = 0;
    EditorEnvironment environment_;
    std::unique_ptr<MeterEditor> editor_;
    std::unique_ptr<FrmMBusEdit> window_;
};

TEST_P(MeterEditWindow, ListModeEditModeAndTheirWidths)
{
    EXPECT_EQ(window_->windowTitle(), "MBus-Zähler bearbeiten");
    EXPECT_EQ(window_->size(), QSize(368, 589));
    EXPECT_FALSE(window_->Frame2->isVisible());
    EXPECT_EQ(window_->Label4_0->text(), settings_.displayName());
    EXPECT_EQ(window_->Label4_1->text(), DBPATH + "yymmddmb.txt");
    EXPECT_TRUE(window_->MSFlexGrid1->isColumnHidden(MeterListGrid::ColQuelle));
    EXPECT_TRUE(window_->MSFlexGrid1->isColumnHidden(MeterListGrid::ColLznr));
    EXPECT_EQ(window_->MSFlexGrid1->currentIndex().row(), 0);
    EXPECT_EQ(window_->Text1[0]->toolTip(), "Nummer die auf dem Zähler steht");
    EXPECT_EQ(window_->cmdSpeichern->toolTip(), "Änderungen speichern.");
    EXPECT_EQ(window_->cmdAbbrechen->toolTip(), "Zurück zur Liste. Nicht Speichern.");

    doubleClickListRow(1);
    EXPECT_EQ(window_->size(), QSize(941, 589));
    EXPECT_TRUE(window_->Frame2->isVisible());
    EXPECT_EQ(window_->Text1[0]->text(), "1002");
    EXPECT_EQ(editor_->indexGrid.rowCount(), 0);
    QTest::mouseClick(window_->cmdAbbrechen, Qt::LeftButton);
    EXPECT_EQ(window_->size(), QSize(368, 589));
    EXPECT_EQ(window_->MSFlexGrid1->currentIndex().row(), 1) << "the remembered row";

    QTest::mouseClick(window_->cmdZwischen, Qt::LeftButton);
    const QStringList lines = QGuiApplication::clipboard()->text().split("\r\n");
    EXPECT_TRUE(lines.value(0).startsWith("ZQUELLE\tLZNR\tMBus Adresse"));
    EXPECT_TRUE(lines.value(2).endsWith("\t1002"));
}

TEST_P(MeterEditWindow, KeysMoveTheCellEditorAndEditsAreSaved)
{
    doubleClickListRow(0);
    ASSERT_EQ(current(), editor_->indexGrid.index(0, MeterIndexGrid::ColArt));
    if (const QString shots = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR"); !shots.isEmpty() && GetParam() == test::Engine::SQLite)
        window_->grab().save(shots + "/mbus-edit.png");
    ASSERT_NE(cellEditor(), nullptr);
    cellEditor()->end(false);
    QTest::keyClicks(cellEditor(), " HT");
    EXPECT_EQ(editor_->indexGrid.cell(0, MeterIndexGrid::ColArt), "Wert 1 HT") << "each key stroke reaches the cell";
    EXPECT_TRUE(editor_->indexGrid.cell(0, MeterIndexGrid::ColLznr).endsWith('*'));

    QTest::keyClick(cellEditor(), Qt::Key_Right);
    EXPECT_EQ(current().column(), MeterIndexGrid::ColEinheit);
    cellEditor()->end(false);
    QTest::keyClick(cellEditor(), Qt::Key_Right);
    EXPECT_EQ(current().column(), MeterIndexGrid::ColFaktor) << "Anzeigen is skipped";
    cellEditor()->home(false);
    QTest::keyClick(cellEditor(), Qt::Key_Left);
    EXPECT_EQ(current().column(), MeterIndexGrid::ColEinheit);
    QTest::keyClick(cellEditor(), Qt::Key_Down);
    EXPECT_EQ(current().row(), 1);
    QTest::keyClick(cellEditor(), Qt::Key_PageDown);
    EXPECT_EQ(current().row(), 2);
    QTest::keyClick(cellEditor(), Qt::Key_Down);
    EXPECT_EQ(current().row(), 2);
    QTest::keyClick(cellEditor(), Qt::Key_PageUp);
    EXPECT_EQ(current().row(), 0);
    QTest::keyClick(cellEditor(), Qt::Key_Up);
    EXPECT_EQ(current().row(), 0);
    cellEditor()->selectAll();
    QTest::keyClicks(cellEditor(), "m3");

    QTest::mouseClick(window_->EditGrid->viewport(), Qt::LeftButton, {},
                      cellCentre(window_->EditGrid, 1, MeterIndexGrid::ColAnzeigen));
    EXPECT_EQ(editor_->indexGrid.cell(1, MeterIndexGrid::ColAnzeigen), "False");

    window_->Text1[1]->clear();
    QTest::keyClicks(window_->Text1[1], "Hauptzaehler 2");
    QTest::mouseClick(window_->Check1, Qt::LeftButton);
    QTest::mouseClick(window_->cmdSpeichern, Qt::LeftButton);
    EXPECT_EQ(window_->size(), QSize(368, 589));
    EXPECT_EQ(db().scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {first_}).toString(), "Hauptzaehler 2");
    EXPECT_EQ(db().scalar("SELECT MBZstand FROM zaehler WHERE LZNR = ?", {first_}).toInt(), 0);
    EXPECT_EQ(db().scalar("SELECT Art FROM MB_IndexListe WHERE Lznr = ? AND MBIndex = 1", {first_}).toString(),
              "Wert 1 HT");
    EXPECT_EQ(db().scalar("SELECT Einheit FROM MB_IndexListe WHERE Lznr = ? AND MBIndex = 1", {first_}).toString(),
              "m3");
    EXPECT_FALSE(db().scalar("SELECT Anzeigen FROM MB_IndexListe WHERE Lznr = ? AND MBIndex = 2", {first_}).toBool());
}

TEST_P(MeterEditWindow, CopyThroughTheSelectionDialogAndDeleteAnsweredNo)
{
    doubleClickListRow(0);
    // Cancel first, then choose the second meter.
    for (const bool choose : {false, true}) {
        QTimer::singleShot(0, [this, choose] {
            auto* dialog = qobject_cast<FrmZaehlerselect*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "M-Buszählerliste");
            if (!choose) {
                QTest::mouseClick(dialog->cmdWaehlenAbbrechen, Qt::LeftButton);
                return;
            }
            for (int row = 0; row < dialog->ListGrid->model()->rowCount(); ++row)
                if (dialog->ListGrid->model()->index(row, 0).data().toLongLong() == second_)
                    dialog->ListGrid->setCurrentIndex(dialog->ListGrid->model()->index(row, 1));
            QTest::mouseClick(dialog->cmdOk, Qt::LeftButton);
        });
        QTest::mouseClick(window_->cmdListeKopieren, Qt::LeftButton);
        EXPECT_EQ(count("MB_IndexListe", second_), choose ? 3 : 0);
    }
    EXPECT_EQ(count("MB_IndexListe", first_), 3);

    QTest::mouseClick(window_->cmdAbbrechen, Qt::LeftButton);
    window_->MSFlexGrid1->setCurrentIndex(editor_->list.index(editor_->list.rowOf(second_), 2));
    QTest::mouseClick(window_->cmdLoeschen, Qt::LeftButton);
    EXPECT_EQ(dir_.messages().last(), "Der Zähler wird gelöcht!\rSind sie sicher?");
    EXPECT_EQ(count("zaehler", second_), 1);
    EXPECT_EQ(count("MB_IndexListe", second_), 3);
}

TEST_P(MeterEditWindow, TheBoxesTakeNoMoreThanTheirColumnsAndShowTheSecondaryAddress)
{
    doubleClickListRow(0);
    const QLineEdit* id = window_->Text1[FieldMBID];
    EXPECT_EQ(id->text(), "10010001");
    EXPECT_EQ(id->maxLength(), 8);
    EXPECT_EQ(window_->Text1[FieldZName]->maxLength(), 255);
    EXPECT_EQ(window_->Text1[FieldZNr]->maxLength(), 255);
    EXPECT_EQ(window_->Text1[FieldSelect]->maxLength(), 255);
    // Below the primary address, with a label like the others.
    EXPECT_GT(id->y(), window_->Text1[FieldMBAdr]->y());
    EXPECT_LT(id->y(), window_->Text1[FieldMBComP]->y());
    EXPECT_GT(window_->EditGrid->y(), window_->Check1->y() + window_->Check1->height() - 1);
    ASSERT_NE(cellEditor(), nullptr);
    EXPECT_EQ(cellEditor()->maxLength(), 40) << "Art";
    QTest::keyClick(cellEditor(), Qt::Key_End);
    QTest::keyClick(cellEditor(), Qt::Key_Right);
    ASSERT_EQ(current().column(), MeterIndexGrid::ColEinheit);
    EXPECT_EQ(cellEditor()->maxLength(), 15) << "Einheit";

    // Typed into the window, refused with the field's name; the form stays open.
    window_->Text1[FieldMBBaud]->clear();
    QTest::keyClicks(window_->Text1[FieldMBBaud], "24OO");
    QTest::mouseClick(window_->cmdSpeichern, Qt::LeftButton);
    EXPECT_TRUE(window_->Frame2->isVisible());
    ASSERT_FALSE(dir_.messages().isEmpty());
    EXPECT_TRUE(dir_.messages().last().startsWith("Baudrate : ")) << dir_.messages().last().toStdString();
    EXPECT_EQ(db().scalar("SELECT MBBaud FROM zaehler WHERE LZNR = ?", {first_}).toInt(), 2400);

    window_->Text1[FieldMBBaud]->clear();
    QTest::keyClicks(window_->Text1[FieldMBBaud], "9600");
    window_->Text1[FieldMBID]->clear();
    QTest::keyClicks(window_->Text1[FieldMBID], "10010002");
    // The location, last in the frame, takes at most its column's 35 characters.
    QLineEdit* location = window_->Text1[FieldLocation];
    EXPECT_EQ(location->maxLength(), 35);
    EXPECT_GT(location->y(), window_->Text1[FieldSelect]->y());
    EXPECT_LT(location->y(), window_->Check1->y());
    QTest::keyClicks(location, "DE0001234567890123456789012345678XYZW");
    EXPECT_EQ(location->text(), "DE0001234567890123456789012345678XY");
    QTest::mouseClick(window_->cmdSpeichern, Qt::LeftButton);
    EXPECT_FALSE(window_->Frame2->isVisible());
    EXPECT_EQ(db().scalar("SELECT MB_ID FROM zaehler WHERE LZNR = ?", {first_}).toString(), "10010002");
    EXPECT_EQ(db().scalar("SELECT MSCONS_Lokation FROM zaehler WHERE LZNR = ?", {first_}).toString(),
              "DE0001234567890123456789012345678XY");
}

TEST_P(MeterEditWindow, CopyingAnEmptyListAsksForNoTargetAndSaysSo)
{
    doubleClickListRow(1);
    ASSERT_EQ(editor_->indexGrid.rowCount(), 0);
    bool asked = false;
    window_->chooseCopyTarget = [&] {
        asked = true;
        return QString::number(first_);
    };
    QTest::mouseClick(window_->cmdListeKopieren, Qt::LeftButton);
    EXPECT_FALSE(asked);
    ASSERT_EQ(dir_.messages().size(), 1);
    EXPECT_EQ(dir_.messages()[0], "Dieser Zähler hat keine Indexliste: es wird nichts kopiert.");
    EXPECT_EQ(count("MB_IndexListe", first_), 3);
}

INSTANTIATE_TEST_SUITE_P(Engines, MeterEditWindow, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);

} // namespace
