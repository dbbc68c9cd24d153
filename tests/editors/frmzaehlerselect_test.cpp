#include "data/schema.h"
#include "editorfixture.h"
#include "editors/ui/frmzaehlerselect.h"
#include "foundation/paths.h"
#include "foundation/programlog.h"
#include "foundation/ui/gridutil.h"
#include "foundation/ui/termination.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>
#include <QTimer>
#include <QtTest/QTest>
#include <csignal>

using namespace kelvaro;

namespace {

const QString kMeterListSql = QString::fromUtf8(
    " SELECT    zaehler.LZNR, zaehler.ZNR, zaehler.Hersteller, zaehler.Typ, zaehler.ZQUELLE, zaehler.ZNAME, "
    "zaehler.txtBemerkung as [Bemerkung] From Zaehler Where ((Zaehler.ZQuelle = 'M-Bus'))");
const QString kOrderedSql = QStringLiteral("SELECT LZNR, ZNr, ZName, MBAdr FROM zaehler ORDER BY MBAdr");

void clickRow(QTableView* grid, int row, bool twice = false)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    if (twice)
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

int currentRow(QTableView* grid) { return grid->currentIndex().isValid() ? grid->currentIndex().row() : -1; }

// Runs `act` on the modal selection dialog as soon as it is open.
void whenModal(std::function<void(FrmZaehlerselect&)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dialog = qobject_cast<FrmZaehlerselect*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(*dialog);
        }
    });
    timer->start();
}

class SelectWindow : public test::EditorTest {
protected:
    void SetUp() override
    {
        test::EditorTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The program log lives in DBPATH, which a server client has no file in.
        ASSERT_TRUE(EnsureDirectory(DBPATH));
        first_ = addMeter("Alpha", 1, 1);
        second_ = addMeter("beta", 2, 1);
        third_ = addMeter("ALPHABET", 3, 1);
    }
    QStringList messages() const { return dir_.messages(); }
    qint64 first_ = 0, second_ = 0, third_ = 0;
};

TEST_P(SelectWindow, TextsAndTheLoadedListWithTheWholeFirstRowSelected)
{
    FrmZaehlerselect window(settings_);
    window.show();
    const QList<std::pair<QWidget*, const char*>> texts{
        {window.lblSuche, "Suche :"},          {window.cmdWaehlenAbbrechen, "Abbrechen"},
        {window.cmddrucken, "Drucken"},        {window.cmdaendern, "Ändern"},
        {window.cmdspeichern, "Speichern"},    {window.cmdabbrechen, "Abbrechen"}};
    for (const auto& [widget, text] : texts) {
        const QString shown = qobject_cast<QLabel*>(widget) ? qobject_cast<QLabel*>(widget)->text()
                                                            : qobject_cast<QPushButton*>(widget)->text();
        EXPECT_EQ(shown, QString::fromUtf8(text));
    }
    EXPECT_TRUE(window.fraliste->isVisible());
    EXPECT_FALSE(window.fraEdit->isVisible());

    ASSERT_TRUE(window.ListeLaden(kMeterListSql));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window.ListGrid->model()->headerData(6, Qt::Horizontal).toString(), "Bemerkung");
    EXPECT_EQ(currentRow(window.ListGrid), 0);
    EXPECT_EQ(window.ListGrid->currentIndex().column(), 0);
    EXPECT_EQ(window.ListGrid->selectionModel()->selectedIndexes().size(), 7) << "the whole row";
    const QFontMetrics metrics(window.ListGrid->font());
    EXPECT_GE(window.ListGrid->columnWidth(5), metrics.horizontalAdvance("Name ALPHABETAA"));

    clickRow(window.ListGrid, 2);
    EXPECT_EQ(window.ListGrid->selectionModel()->selectedIndexes().size(), 7);
    EXPECT_TRUE(window.ListGrid->selectionModel()->isRowSelected(2, {}));

    // A refused statement: message, the list as it was.
    EXPECT_FALSE(window.ListeLaden("SELECT Unbekannt FROM zaehler"));
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].startsWith("Fehler in der Datenbank "));
    EXPECT_EQ(window.ListGrid->model()->rowCount(), 3);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // An empty result: the header only, nothing selected, the normal pointer.
    ASSERT_TRUE(window.ListeLaden(kMeterListSql + " AND ZNr = 'keiner'"));
    EXPECT_EQ(window.ListGrid->model()->rowCount(), 0);
    EXPECT_EQ(window.ListGrid->model()->columnCount(), 7);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_P(SelectWindow, ChooseReturnsTheKeyOfTheChosenRowAndNothingOnCancel)
{
    whenModal([](FrmZaehlerselect& dialog) {
        clickRow(dialog.ListGrid, 1);
        QTest::mouseClick(dialog.cmdOk, Qt::LeftButton);
    });
    EXPECT_EQ(FrmZaehlerselect::choose(nullptr, settings_, kOrderedSql, QString::fromUtf8("M-Buszählerliste")),
              QString::number(second_));

    QString caption;
    whenModal([&caption](FrmZaehlerselect& dialog) {
        caption = dialog.windowTitle();
        clickRow(dialog.ListGrid, 2);
        QTest::mouseClick(dialog.cmdWaehlenAbbrechen, Qt::LeftButton);
    });
    EXPECT_EQ(FrmZaehlerselect::choose(nullptr, settings_, kOrderedSql, QString::fromUtf8("M-Buszählerliste")), "");
    EXPECT_EQ(caption, QString::fromUtf8("M-Buszählerliste"));

    whenModal([](FrmZaehlerselect& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(FrmZaehlerselect::choose(nullptr, settings_, kOrderedSql, "x"), "");

    // The meter list editor's own statement works on this engine too.
    whenModal([](FrmZaehlerselect& dialog) { clickRow(dialog.ListGrid, 2, true); });
    const QString chosen = FrmZaehlerselect::choose(nullptr, settings_, kMeterListSql, "x");
    EXPECT_TRUE(chosen == QString::number(first_) || chosen == QString::number(second_)
                || chosen == QString::number(third_))
        << chosen.toStdString();

    EXPECT_EQ(FrmZaehlerselect::choose(nullptr, settings_, "SELECT Unbekannt FROM zaehler", "x"), "");
    EXPECT_EQ(messages().size(), 1);
}

TEST_P(SelectWindow, DoubleClickChoosesTheRowInModeAendern)
{
    FrmZaehlerselect window(settings_);
    ASSERT_TRUE(window.ListeLaden(kOrderedSql));
    window.show();
    clickRow(window.ListGrid, 2, true);
    EXPECT_EQ(window.result(), QString::number(third_));
    EXPECT_EQ(window.mode(), "aendern");
    EXPECT_FALSE(window.isVisible()) << "hidden, not gone, so that the caller reads the result";
    EXPECT_EQ(window.QDialog::result(), QDialog::Accepted);
}

TEST_P(SelectWindow, TypingSearchesOnAndTellsWhenNothingFollows)
{
    FrmZaehlerselect window(settings_);
    ASSERT_TRUE(window.ListeLaden(kOrderedSql));
    window.show();
    clickRow(window.ListGrid, 1);

    QTest::keyClicks(window.Text2, "B");
    EXPECT_EQ(currentRow(window.ListGrid), 1) << "one character: from the top, first hit 'beta'";
    QTest::keyClicks(window.Text2, "e");
    EXPECT_EQ(currentRow(window.ListGrid), 2) << "two characters search on after the current row";
    EXPECT_EQ(window.ListGrid->selectionModel()->selectedIndexes().size(), 4);
    EXPECT_TRUE(messages().isEmpty());

    QTest::mouseClick(window.cmdweitersuchen, Qt::LeftButton);
    EXPECT_EQ(currentRow(window.ListGrid), 2);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages()[0], "Keinen weiteren Eintrag mit >Be< gefunden");
    EXPECT_EQ(dir_.messageTitles()[0], "Suchen");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Columns of no width are not searched, hidden ones neither.
    window.Text2->clear();
    SelectGridRow(window.ListGrid, 0);
    window.ListGrid->setColumnWidth(2, 0);
    window.Text2->setText("Name b");
    EXPECT_EQ(messages().size(), 2) << messages().join('|').toStdString();
    EXPECT_EQ(currentRow(window.ListGrid), 0);
    window.ListGrid->setColumnWidth(2, 1);
    window.Text2->clear();
    SelectGridRow(window.ListGrid, 0);
    window.Text2->setText("Name b");
    EXPECT_EQ(currentRow(window.ListGrid), 1) << "a column of one pixel (15 twips) is searched";
    window.ListGrid->setColumnHidden(2, true);
    SelectGridRow(window.ListGrid, 0);
    QTest::mouseClick(window.cmdweitersuchen, Qt::LeftButton);
    EXPECT_EQ(currentRow(window.ListGrid), 0);
    EXPECT_EQ(messages().size(), 3);
}

TEST_P(SelectWindow, EditingARowThroughTheTextBoxAndSavingIt)
{
    FrmZaehlerselect window(settings_);
    ASSERT_TRUE(window.ListeLaden(kOrderedSql));
    window.setRecordSource("zaehler");
    window.setKeyField("LZNR");
    window.show();
    clickRow(window.ListGrid, 1);
    QTest::mouseClick(window.cmdaendern, Qt::LeftButton);
    ASSERT_TRUE(window.fraEdit->isVisible());
    EXPECT_FALSE(window.fraliste->isVisible());
    const QAbstractItemModel* edit = window.EditGrid->model();
    ASSERT_EQ(edit->rowCount(), 3);
    EXPECT_EQ(edit->index(1, 0).data().toString(), "ZName : ");
    EXPECT_EQ(window.txtedit->text(), "beta");
    EXPECT_EQ(window.txtedit->geometry(), window.EditGrid->visualRect(edit->index(0, 1)));

    window.txtedit->selectAll();
    QTest::keyClicks(window.txtedit, "Beta-2");
    EXPECT_EQ(edit->index(0, 1).data().toString(), "Beta-2");
    QTest::keyClick(window.txtedit, Qt::Key_Down);
    EXPECT_EQ(window.editRow(), 1);
    EXPECT_EQ(window.txtedit->text(), "Name beta");
    EXPECT_EQ(edit->index(0, 1).data().toString(), "Beta-2") << "the text stays in its cell";
    QTest::keyClick(window.txtedit, Qt::Key_End);
    QTest::keyClicks(window.txtedit, " Ost");
    QTest::keyClick(window.txtedit, Qt::Key_Down);
    window.txtedit->selectAll();
    QTest::keyClicks(window.txtedit, "12");
    QTest::keyClick(window.txtedit, Qt::Key_Down);
    EXPECT_EQ(window.editRow(), 2) << "no row below the last";
    QTest::keyClick(window.txtedit, Qt::Key_Up);
    EXPECT_EQ(window.editRow(), 1);

    // Left moves into the name column only from the start of the text.
    QTest::keyClick(window.txtedit, Qt::Key_End);
    QTest::keyClick(window.txtedit, Qt::Key_Left);
    EXPECT_EQ(window.editColumn(), 1);
    QTest::keyClick(window.txtedit, Qt::Key_Home);
    QTest::keyClick(window.txtedit, Qt::Key_Left);
    EXPECT_EQ(window.editColumn(), 0);
    EXPECT_EQ(window.txtedit->text(), "ZName : ");
    QTest::keyClick(window.txtedit, Qt::Key_End);
    QTest::keyClick(window.txtedit, Qt::Key_Right);
    EXPECT_EQ(window.editColumn(), 1);

    QTest::mouseClick(window.cmdspeichern, Qt::LeftButton);
    EXPECT_TRUE(messages().isEmpty()) << messages().join('|').toStdString();
    EXPECT_TRUE(window.fraliste->isVisible());
    EXPECT_TRUE(window.changed());
    EXPECT_EQ(currentRow(window.ListGrid), 1);
    EXPECT_EQ(window.ListGrid->model()->index(1, 2).data().toString(), "Name beta Ost");
    EXPECT_EQ(db().scalar("SELECT ZNr FROM zaehler WHERE LZNR = ?", {second_}).toString(), "Beta-2");
    EXPECT_EQ(db().scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {second_}).toString(), "Name beta Ost");
    EXPECT_EQ(db().scalar("SELECT MBAdr FROM zaehler WHERE LZNR = ?", {second_}).toInt(), 12);
    EXPECT_EQ(db().scalar("SELECT ZName FROM zaehler WHERE LZNR = ?", {first_}).toString(), "Name Alpha");
}

TEST_P(SelectWindow, RefusedSavesTellWhyAndKeepTheEditFrame)
{
    FrmZaehlerselect window(settings_);
    ASSERT_TRUE(window.ListeLaden(kOrderedSql));
    window.show();
    QTest::mouseClick(window.cmdaendern, Qt::LeftButton);
    window.txtedit->selectAll();
    QTest::keyClicks(window.txtedit, "Neu");

    QTest::mouseClick(window.cmdspeichern, Qt::LeftButton); // no record source
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages()[0], "Fehler beim Speichern");
    EXPECT_TRUE(window.fraEdit->isVisible());
    EXPECT_EQ(window.ListGrid->model()->index(0, 1).data().toString(), "Neu");
    EXPECT_FALSE(window.changed());

    window.setRecordSource("zaehler"); // but no "BNr" in it
    QTest::mouseClick(window.cmdspeichern, Qt::LeftButton);
    EXPECT_EQ(messages().value(1), "Fehler beim Speichern");

    window.setKeyField({});
    QTest::mouseClick(window.cmdspeichern, Qt::LeftButton);
    EXPECT_EQ(messages().value(2), QString::fromUtf8("Interner Fehler : Kein Schlüssel eingegeben"));
    EXPECT_EQ(db().scalar("SELECT ZNr FROM zaehler WHERE LZNR = ?", {first_}).toString(), "Alpha");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(QFile(NativePath(ProgramLogFileName())).exists());

    QTest::mouseClick(window.cmdabbrechen, Qt::LeftButton);
    EXPECT_TRUE(window.fraliste->isVisible());
    EXPECT_EQ(window.ListGrid->model()->rowCount(), 3) << "Abbrechen of Ändern removes no row";
}

TEST_P(SelectWindow, CancellingANewRowRemovesIt)
{
    FrmZaehlerselect window(settings_);
    ASSERT_TRUE(window.ListeLaden(kOrderedSql));
    window.show();
    window.neueZeile();
    EXPECT_EQ(window.mode(), "neu");
    EXPECT_EQ(window.ListGrid->model()->rowCount(), 4);
    EXPECT_EQ(currentRow(window.ListGrid), 3);
    EXPECT_TRUE(window.fraEdit->isVisible());
    EXPECT_EQ(window.txtedit->text(), "");
    QTest::mouseClick(window.cmdabbrechen, Qt::LeftButton);
    EXPECT_EQ(window.ListGrid->model()->rowCount(), 3);
    EXPECT_TRUE(window.fraliste->isVisible());
    EXPECT_EQ(window.mode(), "");
}

TEST_P(SelectWindow, ColourFieldTakesTheChosenColourAndItsNumber)
{
    FrmZaehlerselect window(settings_);
    window.show();
    QTest::mouseClick(window.cmdaendern, Qt::LeftButton); // no rows: stays in the list
    EXPECT_TRUE(window.fraliste->isVisible());
    window.neueZeile();

    std::optional<QColor> answer = QColor(1, 2, 3);
    int asked = 0;
    window.setColorChooser([&](const QColor&) {
        ++asked;
        return answer;
    });
    QTest::mouseDClick(window.Label1, Qt::LeftButton);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(window.Text1->text(), "197121"); // 1 + 2 * 256 + 3 * 65536
    EXPECT_EQ(window.Label1->palette().color(QPalette::Window), QColor(1, 2, 3));

    answer.reset();
    QTest::mouseDClick(window.Label1, Qt::LeftButton);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(window.Text1->text(), "197121") << "cancel changes nothing";
    EXPECT_EQ(window.Label1->palette().color(QPalette::Window), QColor(1, 2, 3));

    answer = QColor(255, 255, 255);
    QTest::mouseDClick(window.Label1, Qt::LeftButton);
    EXPECT_EQ(window.Text1->text(), "16777215");
}

// Resizes the dialog again while it lays itself out.
class NestedResize : public QObject {
public:
    explicit NestedResize(FrmZaehlerselect& dialog)
        : dialog_(dialog)
    {
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && armed_) {
            armed_ = false;
            QResizeEvent nested(QSize(500, 300), dialog_.size());
            QApplication::sendEvent(&dialog_, &nested);
        }
        return false;
    }
    bool armed_ = true;

private:
    FrmZaehlerselect& dialog_;
};

TEST_P(SelectWindow, ResizeWhileLayingOutIsLeftAndLogged)
{
    FrmZaehlerselect window(settings_);
    window.show();
    QFile log(NativePath(ProgramLogFileName()));
    log.remove();
    NestedResize nested(window);
    window.ListGrid->installEventFilter(&nested);
    window.resize(700, 500);
    QApplication::processEvents();
    EXPECT_FALSE(nested.armed_) << "the grid was laid out";
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count("Form_Resize Geschw Problem"), 1);
    EXPECT_EQ(window.fraliste->geometry(), QRect(6, 6, 688, 488)) << "the outer layout ran to its end";

    window.resize(600, 400);
    QApplication::processEvents();
    EXPECT_EQ(window.fraliste->geometry(), QRect(6, 6, 588, 388)) << "the marker is cleared afterwards";
    log.seek(0);
    EXPECT_EQ(log.readAll().count("Form_Resize Geschw Problem"), 1);
}

TEST_P(SelectWindow, PrintsTheListIntoAPdf)
{
    FrmZaehlerselect window(settings_);
    auto print = [&](const QString& name) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir_.file(name));
        printer.setPageOrientation(QPageLayout::Portrait);
        window.printList(printer);
        EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait) << "the printer's setting comes back";
        return dir_.read(name);
    };
    ASSERT_TRUE(window.ListeLaden(kMeterListSql + " AND ZNr = 'keiner'"));
    const QByteArray empty = print("leer.pdf");
    for (int k = 0; k < 60; ++k)
        addMeter(QStringLiteral("Zähler %1").arg(k), 10 + k, 2);
    ASSERT_TRUE(window.ListeLaden(kMeterListSql));
    const QByteArray full = print("liste.pdf");
    ASSERT_TRUE(empty.startsWith("%PDF"));
    ASSERT_TRUE(full.startsWith("%PDF"));
    EXPECT_GT(full.size(), empty.size() + 2000) << "the rows are printed";
    EXPECT_GE(full.count("/Type /Page\n") + full.count("/Type /Page\r") + full.count("/Type /Page "), 2)
        << "63 rows take more than one page";
}

TEST_P(SelectWindow, Screenshot)
{
    const QString outDir = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR");
    if (outDir.isEmpty() || GetParam() != test::Engine::SQLite)
        GTEST_SKIP() << "KELVARO_SCREENSHOT_DIR not set";
    ASSERT_TRUE(db().exec("DELETE FROM zaehler"));
    ASSERT_TRUE(InsertDemoData(db())) << LastErrorText().toStdString();
    FrmZaehlerselect window(settings_);
    window.setWindowTitle(QString::fromUtf8("M-Buszählerliste"));
    ASSERT_TRUE(window.ListeLaden(kMeterListSql));
    window.resize(700, 300);
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(QDir(outDir).filePath("zaehlerselect.png")));
}

INSTANTIATE_TEST_SUITE_P(Engines, SelectWindow, ::testing::Values(test::Engine::SQLite, test::Engine::PostgreSQL),
                         test::EngineName);

// The child of the termination test: a modal choice that a SIGTERM ends.
TEST(SelectTermination, ChildWaitsInTheModalChoice)
{
    if (qEnvironmentVariableIsEmpty("KELVARO_SELECT_CHILD"))
        GTEST_SKIP() << "run by SigtermEndsTheModalChoice";
    test::InstallationDir dir;
    DBPATH = QStringLiteral(".\\DB200\\");
    test::ClientDatabase database(test::Engine::SQLite);
    ASSERT_TRUE(database.ready());
    SqlConnection c(QStringLiteral("child"));
    ASSERT_TRUE(database.openInto(c));
    ASSERT_TRUE(InsertDemoData(c));
    c.close();
    InstallTerminationSignals(nullptr);
    whenModal([](FrmZaehlerselect&) {
        std::printf("modal\n");
        std::fflush(stdout);
    });
    const QString chosen = FrmZaehlerselect::choose(
        nullptr, EditorDatabaseSettings::forClient("200", DBPATH, {}), kMeterListSql, "x");
    std::printf("result=<%s>\n", chosen.toUtf8().constData());
    std::fflush(stdout);
}

TEST(SelectTermination, SigtermEndsTheModalChoice)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KELVARO_SELECT_CHILD", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=SelectTermination.ChildWaitsInTheModalChoice"});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray out;
    while (!out.contains("modal\n") && child.waitForReadyRead(10000))
        out += child.readAllStandardOutput();
    ASSERT_TRUE(out.contains("modal\n")) << out.toStdString() << child.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(child.processId()), SIGTERM);
    ASSERT_TRUE(child.waitForFinished(10000));
    out += child.readAllStandardOutput();
    EXPECT_TRUE(out.contains("result=<>\n")) << out.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
}

} // namespace
