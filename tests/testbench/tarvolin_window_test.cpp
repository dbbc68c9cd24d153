#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "simprocess.h"
#include "testbench/testbench.h"
#include "testbench/testbenchsettings.h"
#include "testbench/ui/frmtarvolin.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::testbench;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {

// Takes the URLs the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

QString windowMeter(int primary, const QString& id)
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [2400], "records": ["0406E8030000", "04134C1D0000"]})")
        .arg(primary)
        .arg(id);
}

} // namespace

TEST(TarvolinWindow, SizeCaptionsToolTipsAndEdits)
{
    InstallationDir dir;
    TestBench bench;
    FrmTarvolin window(bench);
    bench.load(QString());
    window.applyFormSize();
    window.show();
    EXPECT_EQ(window.windowTitle(), "Tarvolin V4.3");
    EXPECT_EQ(window.size(), QSize(741, 611)) << "without the access word";

    const QList<std::pair<QPushButton*, const char*>> captions{
        {window.cmdLesenPrim, "&M-Bus lesen Prim"}, {window.cmdSekLesen, "Sekundär lesen"},
        {window.cmdSekSuchen, "Sekundär Adressen suchen"}, {window.cmdSekAbbrechen, "Abbrechen"},
        {window.cmdPrimSuchen, "&Primär Suchen"}, {window.cmdPrimStop, "Stop"}, {window.cmdSpeedLesen, "Lesen"},
        {window.cmdSpeedStop, "Stop"}, {window.cmdSpeichern, "&Speichern"}, {window.cmdZwischenablage, "&Zwischenabl."},
        {window.cmdInDBSpeichern, "In DB Speichern"}, {window.cmdImportListe, "&Import Liste in DB"},
        {window.cmdListeLesen, "Liste Lesen (txt)"}, {window.cmdImportIndex, "Import Inde&x"},
        {window.cmdImportAlleIndex, "Import &Alle Index"}, {window.cmdImportAbbrechen, "&Abbrechen"},
        {window.cmdWaehlen, "Wählen"}, {window.cmdModemSuchen, "Suchen"}, {window.cmdAuflegen, "Auflegen"},
        {window.cmdSchliessen, "&Schließen"}};
    for (const auto& [button, caption] : captions)
        EXPECT_EQ(button->text(), QString::fromUtf8(caption));
    EXPECT_EQ(window.mnuEnde->text(), "&Ende [Alt F4]");
    EXPECT_EQ(window.mnuImportIni->text(), "I&mport INI");
    EXPECT_EQ(window.FrameSpeed->title(), "Geschwindigkeitstest");
    EXPECT_EQ(window.cmdPrimSuchen->toolTip(), "Sucht nach nach MBuszähler mit eingestellten Primäradressen.");
    EXPECT_EQ(window.cmdSekSuchen->toolTip(), "Durchsucht den gesamten Bus mit den angeklickten Baudraten nach MBus Zähler");
    EXPECT_EQ(window.cmdSpeichern->toolTip(), "Speicher die gefundenen Zähler in einer ASCII Datei.");
    EXPECT_EQ(window.cmdZwischenablage->toolTip(), "Liste in die Zwischenablage kopieren");
    EXPECT_EQ(window.Text2->toolTip(), "An diesem Comport ist der Pegelwandler angeschlossen.");
    EXPECT_EQ(window.ComboPosition->toolTip(), "Ab welcher Stelle fesucht werden soll. Führende Nullen werden ergänzt.");
    EXPECT_EQ(window.LabelMask->toolTip(),
              "Gesuchte Adresse: f steht für einen Platzhalter ähnlich wie bei der Dateisuche das * oder ?");
    const QStringList tips{"Default : 330", "Default : 50", "Default : 4", "Default : 11"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(window.Text4[i]->toolTip(), tips[i]);
        EXPECT_EQ(window.Text5[i]->toolTip(), tips[i]);
        EXPECT_EQ(window.Text4[i]->text(), tips[i].mid(10));
    }
    EXPECT_EQ(window.Text3->text(), "9600");
    EXPECT_EQ(window.MSFlexGrid1->model()->rowCount(), 251);
    EXPECT_EQ(window.MSFlexGrid1->model()->headerData(9, Qt::Horizontal).toString(), "Herst.Int");
    EXPECT_EQ(window.MSFlexGrid2->model()->headerData(2, Qt::Horizontal).toString(), "Meßart");
    EXPECT_EQ(window.ComboPosition->itemText(3), "000fffff");

    // Typing into a field writes its key.
    window.Text1->selectAll();
    QTest::keyClicks(window.Text1, "42");
    EXPECT_EQ(ReadIniString("Tarvolin200", "PrimAdr", kOvxIni), "42");
    window.Text5[3]->selectAll();
    QTest::keyClicks(window.Text5[3], "13");
    EXPECT_EQ(ReadIniString("200MBus", "COMDeadtime", kOvxIni), "13");
    // The provider list: kind 2 switches the time-out fields off, in both frames.
    window.Combo1->setFocus();
    QTest::keyClick(window.Combo1, Qt::Key_Down);
    EXPECT_EQ(bench.providerKind, 2);
    EXPECT_EQ(window.Combo2->currentIndex(), 2);
    EXPECT_FALSE(window.Text4[0]->isEnabled());
    EXPECT_EQ(ReadIniString("200MBus0", "OleProvider", kOvxIni), "2");

    // "I&mport INI" opens the default list with the desktop's editor.
    window.mnuImportIni->trigger();
    EXPECT_EQ(dir.messages().last(), "Datei nicht gefunden : MBusImportIndex.txt");
    dir.write("MBusImportIndex.txt", "Pri;ID\r\n");
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    window.mnuImportIni->trigger();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_TRUE(catcher.urls.first().toLocalFile().endsWith("/MBusImportIndex.txt"));

    // The access word shows the whole form; the import and modem frames stand at 120 twips.
    TestBench full;
    FrmTarvolin wide(full);
    full.load("qvxnk");
    wide.applyFormSize();
    EXPECT_GT(wide.width(), 741);
    EXPECT_GT(wide.height(), 611);
    EXPECT_EQ(wide.FrameImport->x(), 8);
    EXPECT_EQ(wide.FrameModem->x(), 8);
}

TEST(TarvolinWindow, ClickThroughASearch)
{
    InstallationDir dir;
    SimProcess sim(BusJson({windowMeter(1, "12345601"), windowMeter(2, "12345602")}), {"--fast"});
    WriteIniString("OVX", "COM1", sim.device(), kOvxIni);
    WriteIniString("200MBus", "COMTimeout", "40", kOvxIni);
    WriteIniString("200MBus", "COMTimeoutOffset", "8", kOvxIni);
    TestBench bench;
    FrmTarvolin window(bench);
    bench.load("qvxnk");
    window.applyFormSize();
    window.show();
    ASSERT_TRUE(window.Check1[2]->isChecked()) << "2400 ticked by default";
    EXPECT_EQ(window.TextBis->text(), "250");

    // While the search runs: the window is served, a second bus action is
    // refused, then Stop is clicked.
    bool busy = false, stopEnabled = false, searchEnabled = true;
    int progress = 0;
    QString status;
    QTimer::singleShot(400, [&] {
        busy = bench.busy();
        stopEnabled = window.cmdPrimStop->isEnabled();
        searchEnabled = window.cmdPrimSuchen->isEnabled();
        progress = window.ProgressBar1->value();
        status = window.LabelStatus[2]->text();
        bench.cmdLesenPrim();
        bench.cmdPrimSuchen();
        QTest::mouseClick(window.cmdPrimStop, Qt::LeftButton);
    });
    QTest::mouseClick(window.cmdPrimSuchen, Qt::LeftButton);
    EXPECT_TRUE(busy);
    EXPECT_TRUE(stopEnabled);
    EXPECT_FALSE(searchEnabled);
    EXPECT_GT(progress, 0);
    EXPECT_TRUE(status.startsWith("Suche Adr.: ")) << status.toStdString();

    const QString summary = window.LabelElapsed->text();
    const QString stoppedMark = " sec. gefunden. Suche abgebrochen bei Adr. ";
    ASSERT_TRUE(summary.startsWith("2 Zähler in ") && summary.contains(stoppedMark)) << summary.toStdString();
    const int stoppedAt = summary.mid(summary.indexOf(stoppedMark) + stoppedMark.size()).toInt();
    EXPECT_GT(stoppedAt, 2);
    EXPECT_LT(stoppedAt, 250);
    EXPECT_EQ(bench.foundGrid.cell(stoppedAt, 0), "") << "nothing asked after the stop";
    EXPECT_EQ(bench.foundGrid.cell(stoppedAt - 1, 0), QString::number(stoppedAt - 1));
    EXPECT_EQ(bench.resultGrid.rowCount(), 4) << "the refused reading added nothing";
    EXPECT_TRUE(window.cmdPrimSuchen->isEnabled());
    EXPECT_FALSE(window.cmdPrimStop->isEnabled());

    // Double-click on a found meter fills the fields.
    const QPoint row2 = window.MSFlexGrid1->visualRect(window.MSFlexGrid1->model()->index(2, 0)).center();
    QTest::mouseClick(window.MSFlexGrid1->viewport(), Qt::LeftButton, {}, row2);
    QTest::mouseDClick(window.MSFlexGrid1->viewport(), Qt::LeftButton, {}, row2);
    EXPECT_EQ(window.Text1->text(), "2");
    EXPECT_EQ(window.Text3->text(), "2400");
    EXPECT_EQ(window.TextID->text(), "12345602");

    QTest::mouseClick(window.cmdZwischenablage, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), bench.clipboardText());
    EXPECT_EQ(bench.clipboardText().count("\r\n"), 3);

    // Saved, then chosen in the test-file list: the same meters.
    QTest::mouseClick(window.cmdSpeichern, Qt::LeftButton);
    ASSERT_EQ(window.File1->count(), 1);
    QTest::mouseClick(window.File1->viewport(), Qt::LeftButton, {},
                      window.File1->visualItemRect(window.File1->item(0)).center());
    ASSERT_EQ(bench.foundGrid.rowCount(), 2);
    EXPECT_EQ(bench.foundGrid.cell(1, 1), "12345602");
    EXPECT_EQ(window.File1->selectedItems().size(), 1);
    // A new search replaces the list's meters: the list is no longer marked.
    QTest::mouseClick(window.cmdPrimSuchen, Qt::LeftButton);
    EXPECT_TRUE(window.File1->selectedItems().isEmpty());
    EXPECT_TRUE(bench.chosenTestFile.isEmpty());

    QTest::mouseClick(window.cmdSchliessen, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

TEST(TarvolinWindow, AfterAReadingTheNextKeystrokeChangesNoSetting)
{
    InstallationDir dir;
    SimProcess sim(BusJson({windowMeter(1, "12345601")}), {"--fast"});
    WriteIniString("OVX", "COM1", sim.device(), kOvxIni);
    TestBench bench;
    FrmTarvolin window(bench);
    bench.load("qvxnk");
    window.applyFormSize();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    bench.setBaud("2400");
    bench.setPrimAdr("1");
    const QString timeout = ReadIniString("200MBus", "COMTimeout", kOvxIni);
    ASSERT_EQ(timeout, "330");

    for (QPushButton* button : {window.cmdLesenPrim, window.cmdSekLesen, window.cmdTestTelegramm}) {
        QTest::mouseClick(button, Qt::LeftButton);
        QWidget* focused = QApplication::focusWidget();
        EXPECT_EQ(focused, button) << button->text().toStdString() << ": the focus is back where the action began";
        QTest::keyClicks(focused ? focused : &window, "7");
        EXPECT_EQ(window.Text4[0]->text(), timeout) << button->text().toStdString();
        EXPECT_EQ(ReadIniString("200MBus", "COMTimeout", kOvxIni), timeout) << button->text().toStdString();
        if (button == window.cmdLesenPrim) {
            EXPECT_EQ(bench.header.idDec, "12345601") << "the reading ran";
        }
    }
}

TEST(TarvolinWindow, EveryCaptionFitsItsLabel)
{
    InstallationDir dir;
    TestBench bench;
    FrmTarvolin window(bench);
    bench.load("qvxnk");
    window.applyFormSize();
    window.show();
    int captions = 0;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        ++captions;
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        EXPECT_GE(label->contentsRect().width(), needed) << '"' << label->text().toStdString() << '"';
    }
    EXPECT_GE(captions, 8 + 4) << "the time-out captions of both frames among them";
    for (int i = 0; i < 4; ++i) {
        // The caption is the nearest label on the left of its field, and the field does not cover it.
        const QLineEdit* field = window.Text4[i];
        const QLabel* caption = nullptr;
        for (const QLabel* label : field->parentWidget()->findChildren<QLabel*>())
            if (label->y() == field->y() && label->x() < field->x() && (!caption || label->x() > caption->x()))
                caption = label;
        ASSERT_NE(caption, nullptr) << i;
        EXPECT_EQ(caption->text(), TimeoutCaptions()[i]);
        EXPECT_LT(caption->geometry().right(), field->x());
        EXPECT_LE(field->geometry().right(), field->parentWidget()->contentsRect().right()) << "inside its frame";
        EXPECT_GE(field->contentsRect().width(), field->fontMetrics().horizontalAdvance(field->text()))
            << "the value shows whole";
    }
}

#include "tarvolin_window_test.moc"
