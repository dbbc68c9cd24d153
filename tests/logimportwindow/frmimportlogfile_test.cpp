#include "data/testdatabase.h"
#include "foundation/gridmodel.h"
#include "foundation/paths.h"
#include "foundation/processlock.h"
#include "foundation/timeutil.h"
#include "logimport/ui/frmimportlogfile.h"
#include "storage/mbuslog.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::logimport;

namespace {

qint64 at(const char* text) { return DateToSeconds(QString::fromLatin1(text)); }

QList<RB6Element> elementsOf(const QString& file)
{
    QList<RB6IndexedElement> indexed;
    EXPECT_TRUE(RB6ReadElements(file, indexed)) << file.toStdString();
    QList<RB6Element> out;
    for (const auto& e : indexed)
        out << e.element;
    return out;
}

// Client 1320 with two meters at primary address 5 on ports 1 and 2 and the
// logs of 02.03.2024 and 03.03.2024 as the master writes them: four cycles a
// day, each meter with index 0 and 1 stored and index 2 not.
class ImportWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        DBPATH = QStringLiteral(".\\DB1320\\");
        Mandant = QStringLiteral("1320");
        database_ = std::make_unique<test::ClientDatabase>(test::Engine::SQLite);
        ASSERT_TRUE(database_->ready());
        SqlConnection c(QStringLiteral("kelvaro.test.window"));
        ASSERT_TRUE(database_->openInto(c));
        for (const auto& [port, id] : {std::pair{1, "12345678"}, std::pair{2, "87654321"}}) {
            ASSERT_TRUE(c.exec("INSERT INTO zaehler (ZNr, ZName, ZQuelle, MBAdr, MBComP, MBBaud, MBIndex, MB_ID, stufe) "
                               "VALUES (?, ?, 'M-Bus', 5, ?, 2400, 0, ?, 1)",
                               {QString::fromLatin1(id), QStringLiteral("Wärme %1").arg(port), port,
                                QString::fromLatin1(id)}))
                << LastErrorText().toStdString();
            const qint64 lznr = c.scalar("SELECT MAX(LZNR) FROM zaehler").toLongLong();
            lznr_ << lznr;
            for (int index = 0; index <= 2; ++index)
                ASSERT_TRUE(c.exec("INSERT INTO MB_IndexListe (LZNR, MBIndex, Speichern, Anzeigen) VALUES (?, ?, ?, ?)",
                                   {lznr, index, index < 2, true}));
        }
        c.close();
        writeDay("02.03.2024", 100.0);
        writeDay("03.03.2024", 200.0);
        // A file from before the import: it must go to the backup, not stay mixed in.
        QString old;
        ASSERT_EQ(RB6Append(DBPATH, lznr_[0], at("01.01.2020 00:00"), 1.0, 0, old), 0);
        oldFile_ = old;

        dir_.write("OVX.INI", "[1320MBus]\r\nRB6_StandardGroesse=10\r\n");
        ResetClient();
        environment_ = LogImportEnvironment::load(QStringLiteral("-M1320"));
        window_ = std::make_unique<FrmImportLogFile>();
        window_->load(environment_);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    void writeDay(const char* day, double base)
    {
        const QString date = QString::fromLatin1(day);
        WriteMBusLogAt(SecondsToDate(at(day) + 60), QStringLiteral("Datenholen gestartet"), kMBusLogHeader, kMBusLogTail);
        for (int cycle = 0; cycle < 4; ++cycle) {
            const qint64 time = DateToSeconds(date) + 3600 * (6 * cycle + 1);
            for (int port = 1; port <= 2; ++port)
                for (int index = 0; index <= 2; ++index)
                    WriteMBusLogAt(SecondsToDate(time),
                                   MBusReadingLogText(port == 1 ? "12345678" : "87654321", QStringLiteral("Wärme %1").arg(port),
                                                      port, 5, index, base + port * 10 + index + cycle * 0.25, "kWh"),
                                   kMBusLogHeader, kMBusLogTail);
        }
    }

    void type(QLineEdit* field, const QString& text)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
    }

    QString rb6(int meter, int slot) const { return RB6FileName(DBPATH, lznr_[meter], slot); }
    QStringList backups() const
    {
        return QDir(dir_.file("DB1320/Z1320")).entryList({"Sicherung-*"}, QDir::Dirs);
    }

    test::InstallationDir dir_;
    std::unique_ptr<test::ClientDatabase> database_;
    QList<qint64> lznr_;
    QString oldFile_;
    LogImportEnvironment environment_;
    std::unique_ptr<FrmImportLogFile> window_;
};

} // namespace

TEST(ImportWindowDates, FieldsTakeGermanDatesWithOrWithoutTime)
{
    EXPECT_EQ(ParseFormDate("17.09.2005"), QDate(2005, 9, 17));
    EXPECT_EQ(ParseFormDate("7.9.2005"), QDate(2005, 9, 7));
    EXPECT_EQ(ParseFormDate(" 17.9.2005 20:00 "), QDate(2005, 9, 17)) << "the date part of a time";
    EXPECT_FALSE(ParseFormDate("17.9.2005 25:00").isValid());
    EXPECT_FALSE(ParseFormDate("31.2.2005").isValid());
    EXPECT_FALSE(ParseFormDate("17.9.05").isValid()) << "a year in two digits is not guessed";
    EXPECT_FALSE(ParseFormDate("heute").isValid());
    EXPECT_FALSE(ParseFormDate("").isValid());
    qint64 s = 0;
    ASSERT_TRUE(ParseFormTime("02.03.2024", true, s));
    EXPECT_EQ(s, at("02.03.2024 23:59:59"));
    ASSERT_TRUE(ParseFormTime("02.03.2024 10:15", true, s));
    EXPECT_EQ(s, at("02.03.2024 10:15"));
    ASSERT_TRUE(ParseFormTime("2.3.2024", false, s));
    EXPECT_EQ(s, at("02.03.2024 00:00"));
}

TEST_F(ImportWindow, LoadSequenceOfTheFormOnItsOwn)
{
    EXPECT_EQ(window_->windowTitle(), "Import Log Datei");
    EXPECT_EQ(environment_.client, "1320");
    EXPECT_EQ(RB6_StandardGroesse, 10) << "RB6_StandardGroesse of [1320MBus]";
    EXPECT_EQ(window_->Text5[5]->text(), LocalNow().date().toString("dd.MM.yyyy"));
    EXPECT_EQ(window_->Label5->text(), "Bereit");
    EXPECT_TRUE(window_->Label4_0->text().contains("basis")) << window_->Label4_0->text().toStdString();
    EXPECT_EQ(window_->Text1->text(), ".\\DB1320\\MBusLog\\" + LocalNow().date().toString("yyMMdd") + "mb.log");
    EXPECT_TRUE(window_->cmdImport->isEnabled());
    EXPECT_FALSE(window_->cmdAbbrechen->isEnabled());

    ResetClient();
    dir_.write("OVX.INI", "");
    const auto other = LogImportEnvironment::load(QStringLiteral("-M7"));
    EXPECT_EQ(other.client, "007");
    EXPECT_EQ(other.dbPath, ".\\DB007\\");
    EXPECT_EQ(RB6_StandardGroesse, 6000) << "the default when the key is missing";
}

TEST_F(ImportWindow, ImportRebuildsTheRangeAndKeepsTheOldFiles)
{
    type(window_->Text5[4], "2.3.2024");
    type(window_->Text5[5], "03.03.2024 20:00");
    QTest::mouseClick(window_->cmdImport, Qt::LeftButton);

    ASSERT_TRUE(window_->Label5->text().startsWith("Fertig - alte RB6-Dateien in .\\DB1320\\Z1320\\Sicherung-"))
        << window_->Label5->text().toStdString();
    EXPECT_EQ(window_->ProgressBar1->value(), 100);
    EXPECT_TRUE(window_->Label2->text().endsWith("  (100%)")) << window_->Label2->text().toStdString();
    EXPECT_TRUE(window_->cmdImport->isEnabled());
    EXPECT_FALSE(window_->cmdAbbrechen->isEnabled());

    ASSERT_EQ(backups().size(), 1);
    EXPECT_TRUE(QFile::exists(dir_.file("DB1320/Z1320/" + backups()[0] + "/" + QFileInfo(oldFile_.replace('\\', '/')).fileName())));

    QList<RB6Element> expected;
    for (const char* day : {"02.03.2024", "03.03.2024"})
        for (int cycle = 0; cycle < 4; ++cycle)
            expected << RB6Element{qint32(at(day) + 3600 * (6 * cycle + 1)),
                                   (QString(day) == "02.03.2024" ? 100.0 : 200.0) + 10 + 1 + cycle * 0.25};
    EXPECT_EQ(elementsOf(rb6(0, 1)), expected) << "only the range's values, the old element gone with its file";
    EXPECT_EQ(QFileInfo(NativePath(rb6(0, 1))).size(), qint64(kRB6MasterBlockCount) * kRB6BlockBytes)
        << "created as the master creates a file, not with RB6_StandardGroesse";
    EXPECT_EQ(elementsOf(rb6(1, 0)).value(7).Wert, 200.0 + 20 + 0.75) << "the meter on port 2 kept apart";
    EXPECT_FALSE(QFile::exists(dir_.file(QString(rb6(0, 2)).replace('\\', '/')))) << "index 2 is not stored";

    const GridModel& summary = window_->importGrid;
    QMap<QString, QString> shown;
    for (int r = 0; r < summary.rowCount(); ++r)
        shown[summary.cell(r, 0).trimmed()] = summary.cell(r, 1);
    EXPECT_EQ(shown.value("Dateien gelesen"), "2");
    EXPECT_EQ(shown.value("Werte geschrieben"), "32");
}

TEST_F(ImportWindow, InvalidOrReversedDatesDoNothing)
{
    for (const auto& [from, to] : {std::pair{"32.3.2024", "03.03.2024"}, std::pair{"02.03.2024", "morgen"},
                                   std::pair{"03.03.2024", "02.03.2024"}}) {
        type(window_->Text5[4], from);
        type(window_->Text5[5], to);
        QTest::mouseClick(window_->cmdImport, Qt::LeftButton);
        QTest::mouseClick(window_->cmdTageswerte, Qt::LeftButton);
        EXPECT_EQ(window_->Label5->text(), "Bereit") << from << " " << to;
    }
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(elementsOf(oldFile_).size(), 1);
    EXPECT_EQ(window_->dailyGrid.rowCount(), 0);
}

TEST_F(ImportWindow, DailyValuesOneRowPerDay)
{
    type(window_->Text5[4], "01.03.2024");
    type(window_->Text5[5], "03.03.2024");
    type(window_->Text8, "5");
    QTest::mouseClick(window_->cmdTageswerte, Qt::LeftButton);
    EXPECT_EQ(window_->Label5->text(), "Fertig");
    const GridModel& grid = window_->dailyGrid;
    ASSERT_EQ(grid.columnCount(), 10);
    ASSERT_EQ(grid.rowCount(), 3);
    EXPECT_EQ(grid.rowCells(0), QStringList(10, QString())) << "no log on 01.03.2024";
    EXPECT_EQ(grid.cell(1, 0).left(17), "02.03.24 19:00:00") << "the day's last time stamp";
    EXPECT_EQ(grid.cell(2, 1).toStdString(), "220,75") << "index 0: the last line of the day (port 2)";
    EXPECT_EQ(grid.cell(2, 3), "222,75");
    EXPECT_EQ(grid.cell(2, 4), "");
    EXPECT_TRUE(backups().isEmpty()) << "daily values change no RB6 file";
}

TEST_F(ImportWindow, CancelStopsTheImportAndLeavesWholeFiles)
{
    type(window_->Text5[4], "02.03.2024");
    type(window_->Text5[5], "03.03.2024");
    QTimer::singleShot(0, window_.get(), [this] {
        EXPECT_TRUE(window_->isRunning());
        EXPECT_FALSE(window_->cmdImport->isEnabled());
        EXPECT_FALSE(window_->cmdLeseTag->isEnabled());
        QTest::mouseClick(window_->cmdAbbrechen, Qt::LeftButton);
    });
    QTest::mouseClick(window_->cmdImport, Qt::LeftButton);
    EXPECT_TRUE(window_->Label5->text().startsWith("Abgebrochen")) << window_->Label5->text().toStdString();
    EXPECT_FALSE(window_->isRunning());
    EXPECT_TRUE(window_->cmdImport->isEnabled());
    for (const QString& name : QDir(dir_.file("DB1320/Z1320")).entryList({"*.ovx"}, QDir::Files)) {
        RB6Header header;
        ASSERT_TRUE(RB6ReadHeader(dir_.file("DB1320/Z1320/" + name), header));
        EXPECT_TRUE(RB6HeaderProblem(header, QFileInfo(dir_.file("DB1320/Z1320/" + name)).size()).isEmpty()) << name.toStdString();
    }
}

TEST_F(ImportWindow, ClosingDuringAnImportCancelsItFirst)
{
    type(window_->Text5[4], "02.03.2024");
    type(window_->Text5[5], "03.03.2024");
    QTimer::singleShot(0, window_.get(), [this] {
        EXPECT_FALSE(window_->close()) << "the window stays until the import has stopped";
    });
    QTest::mouseClick(window_->cmdImport, Qt::LeftButton);
    EXPECT_TRUE(window_->Label5->text().startsWith("Abgebrochen"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window_->isVisible(); }, 2000));
}

TEST_F(ImportWindow, MasterCycleHoldingTheLockDisablesImportAndMakesItWait)
{
    window_->setLockPollInterval(20);
    ProcessLock master(environment_.rb6LockFile());
    ASSERT_TRUE(master.tryLock(ProcessLock::Mode::Shared)) << master.errorText().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window_->cmdImport->isEnabled(); }, 2000));
    EXPECT_TRUE(window_->LabelSperre->isVisible());
    EXPECT_FALSE(window_->cmdDateiLesen->isEnabled()) << "a single file writes RB6 files too";
    master.unlock();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->cmdImport->isEnabled(); }, 2000));
    EXPECT_FALSE(window_->LabelSperre->isVisible());

    // A cycle that begins between the poll and the click: the import waits and says so.
    type(window_->Text5[4], "02.03.2024");
    type(window_->Text5[5], "02.03.2024");
    ASSERT_TRUE(master.tryLock(ProcessLock::Mode::Shared));
    QString shownWhileWaiting;
    QTimer::singleShot(300, window_.get(), [&] {
        shownWhileWaiting = window_->Label5->text();
        master.unlock();
    });
    window_->cmdImport_Click();
    EXPECT_EQ(shownWhileWaiting, FrmImportLogFile::waitingText());
    EXPECT_TRUE(window_->Label5->text().startsWith("Fertig")) << window_->Label5->text().toStdString();
    EXPECT_EQ(elementsOf(rb6(0, 1)).size(), 4);
}

TEST_F(ImportWindow, SingleFileAndItsLines)
{
    type(window_->Text1, ".\\DB1320\\MBusLog\\240303mb.log");
    QTest::mouseClick(window_->cmdDateiLesen, Qt::LeftButton);
    EXPECT_EQ(window_->Label5->text(), "Fertig");
    EXPECT_TRUE(backups().isEmpty()) << "a single file moves nothing away";
    const auto elements = elementsOf(oldFile_);
    ASSERT_EQ(elements.size(), 5) << "appended to the file that was there";
    EXPECT_EQ(elements.last().Wert, 210.75);

    QTest::mouseClick(window_->cmdDateiAnzeigen, Qt::LeftButton);
    EXPECT_EQ(window_->importGrid.rowCount(), 25) << "the event line and 24 readings, the header skipped";
    EXPECT_EQ(window_->importGrid.cell(1, 4), "5");
    EXPECT_EQ(window_->Label5->text(), "25 Zeilen");
}

TEST_F(ImportWindow, SingleFileThatIsNotThereShowsAnError)
{
    type(window_->Text1, ".\\DB1320\\MBusLog\\991231mb.log");
    QTest::mouseClick(window_->cmdDateiLesen, Qt::LeftButton);
    EXPECT_TRUE(window_->Label5->text().startsWith("Fehler: ")) << window_->Label5->text().toStdString();
    EXPECT_TRUE(window_->Label5->text().contains("991231mb.log"));
    EXPECT_NE(window_->ProgressBar1->value(), 100);
    EXPECT_TRUE(window_->cmdDateiLesen->isEnabled()) << "the window is ready for the next file";
}

TEST_F(ImportWindow, Rb6ToolsOnTheFileOfAMeterKey)
{
    type(window_->Text5[4], "02.03.2024");
    type(window_->Text5[5], "03.03.2024");
    QTest::mouseClick(window_->cmdImport, Qt::LeftButton);

    type(window_->Text4, QString::number(lznr_[0]) + "/1");
    QTest::keyClick(window_->Text4, Qt::Key_Return);
    EXPECT_EQ(window_->Text3->text(), rb6(0, 1));
    QTest::mouseClick(window_->cmdDatInfoLesen, Qt::LeftButton);
    EXPECT_EQ(window_->infoGrid.rowCount(), 11);
    EXPECT_TRUE(window_->Label6->text().startsWith("Größe 7272000 Bytes; 8 Werte vom 02.03.2024 01:00:00"))
        << window_->Label6->text().toStdString();

    type(window_->Text5[3], "03.03.2024");
    QTest::mouseClick(window_->cmdLeseTag, Qt::LeftButton);
    ASSERT_EQ(window_->dayGrid.rowCount(), 4);
    EXPECT_EQ(window_->dayGrid.rowCells(0).mid(2), QStringList({"03.03.2024 01:00:00", "21600", "99,25", "211"}));

    type(window_->Text5[2], "03.03.2024 06:30");
    QTest::mouseClick(window_->Command1, Qt::LeftButton);
    EXPECT_TRUE(window_->Label6->text().startsWith("Pos= 15  Tm= ")) << window_->Label6->text().toStdString();

    type(window_->Text5[0], "02.03.2024 12:00");
    type(window_->Text5[1], "03.03.2024");
    QTest::mouseClick(window_->cmdLesen, Qt::LeftButton);
    EXPECT_EQ(window_->rangeGrid.rowCount(), 6);

    if (const QString shots = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR"); !shots.isEmpty()) {
        type(window_->Text8, "5");
        QTest::mouseClick(window_->cmdTageswerte, Qt::LeftButton);
        window_->grab().save(shots + "/mbus-logimport.png");
    }

    type(window_->Text3, ".\\DB1320\\Test\\test.ovx");
    type(window_->Text5[0], "01.01.2024");
    type(window_->Text5[1], "01.01.2024");
    QTest::mouseClick(window_->cmdErzeugeTestDatei, Qt::LeftButton);
    EXPECT_TRUE(window_->Label6->text().startsWith("rc= 0 in ")) << window_->Label6->text().toStdString();
    EXPECT_TRUE(window_->Label6->text().endsWith(" Sec"));
    EXPECT_EQ(elementsOf(".\\DB1320\\Test\\test.ovx").size(), 96);
    QTest::mouseClick(window_->cmdErzeugeTestDatei, Qt::LeftButton);
    EXPECT_TRUE(window_->Label6->text().startsWith("rc= -6 in ")) << "a file with data is left alone";
}

TEST_F(ImportWindow, AnImportThatCannotReadTheMetersSaysSoAndMovesNothing)
{
    ASSERT_TRUE(QFile::remove(dir_.file("DB1320/basis.db")));
    dir_.write("DB1320/basis.db", "no database");
    type(window_->Text5[4], "02.03.2024");
    type(window_->Text5[5], "03.03.2024");
    QTest::mouseClick(window_->cmdImport, Qt::LeftButton);
    EXPECT_TRUE(window_->Label5->text().startsWith("Fehler: ")) << window_->Label5->text().toStdString();
    EXPECT_NE(window_->ProgressBar1->value(), 100);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(elementsOf(oldFile_).size(), 1);
}
