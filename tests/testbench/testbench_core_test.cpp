#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "master/installation.h"
#include "mbus/hexlist.h"
#include "mbus/telegram.h"
#include "simprocess.h"
#include "testbench/sampletelegram.h"
#include "testbench/testbench.h"
#include "testsupport.h"

#include <QTimer>
#include <functional>
#include <memory>

using namespace kelvaro;
using namespace kelvaro::testbench;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {

constexpr int k9600 = 0, k2400 = 2, k300 = 5; // baud boxes

QString meter(int primary, const QString& id, const QString& bauds = "[2400]")
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": %3, "medium": 4,
        "records": ["0406E8030000", "04134C1D0000", "025B4600"]})")
        .arg(primary)
        .arg(id, bauds);
}

// An installation with a simulated bus on COM1 and short answer windows
// (the simulator answers at once).
struct Bench {
    explicit Bench(const QStringList& meters, const QStringList& simArgs = {"--fast"})
        : sim(std::make_unique<SimProcess>(BusJson(meters), simArgs))
    {
        WriteIniString("OVX", "COM1", sim->device(), kOvxIni);
        WriteIniString("200MBus", "COMTimeout", "40", kOvxIni);
        WriteIniString("200MBus", "COMTimeoutOffset", "8", kOvxIni);
        bench.load(QString());
        bench.modemGuardMs = 50;
    }
    QList<QStringList> foundRows() const
    {
        QList<QStringList> rows;
        for (int r = 0; r < bench.foundGrid.rowCount(); ++r)
            rows << bench.foundGrid.rowCells(r);
        return rows;
    }
    QStringList column(const GridModel& grid, int c) const
    {
        QStringList cells;
        for (int r = 0; r < grid.rowCount(); ++r)
            cells << grid.cell(r, c);
        return cells;
    }
    void tick(std::initializer_list<int> boxes)
    {
        bench.baudBoxes.fill(false);
        for (int b : boxes)
            bench.baudBoxes[b] = true;
    }

    InstallationDir dir;
    std::unique_ptr<SimProcess> sim;
    TestBench bench;
};

} // namespace

TEST(TestBenchSettings, DefaultsWriteBackClientAndAccessWord)
{
    InstallationDir dir;
    dir.write("OVX.INI", "[200MBus]\r\nCOMTimeout=0\r\nCOMTimeoutByte=7\r\n[Tarvolin200]\r\nBaud=0\r\n");
    TestBench bench;
    bench.load(QString());
    EXPECT_EQ(Mandant, "200") << "no client configured";
    EXPECT_FALSE(bench.fullSize());
    EXPECT_EQ(bench.fields.primAdr, "1");
    EXPECT_EQ(bench.fields.comPort, "1");
    EXPECT_EQ(bench.fields.baud, "9600");
    const std::array<QString, 4> shown{"330", "50", "7", "11"};
    EXPECT_EQ(bench.fields.readTimeouts, shown);
    EXPECT_EQ(bench.fields.searchTimeouts, shown);
    EXPECT_EQ(ReadIniString("200MBus", "COMTimeout", kOvxIni), "330") << "zero replaced and written back";
    EXPECT_EQ(ReadIniString("200MBus", "COMTimeoutOffset", kOvxIni), "50");
    EXPECT_EQ(ReadIniString("200MBus", "COMDeadtime", kOvxIni), "11");
    EXPECT_EQ(ReadIniString("200MBus", "COMTimeoutByte", kOvxIni), "7");
    EXPECT_EQ(ReadIniString("Tarvolin200", "Baud", kOvxIni), "0") << "the address fields are not written back";
    EXPECT_EQ(bench.providerKind, 1);
    EXPECT_EQ(bench.startMask, "ffffffff");
    EXPECT_EQ(bench.foundGrid.rowCount(), 251);
    EXPECT_EQ(bench.foundGrid.headers().size(), 10);
    EXPECT_EQ(bench.resultGrid.headers().first(), "Prim/[Index]");

    // Every edit writes its key at once.
    bench.setPrimAdr("5");
    bench.setComPort("3");
    bench.setBaud("2400");
    bench.setReadTimeout(0, "400");
    bench.setSearchTimeout(1, "60");
    EXPECT_EQ(ReadIniString("Tarvolin200", "PrimAdr", kOvxIni), "5");
    EXPECT_EQ(ReadIniString("Tarvolin200", "ComPort", kOvxIni), "3");
    EXPECT_EQ(ReadIniString("Tarvolin200", "Baud", kOvxIni), "2400");
    EXPECT_EQ(ReadIniString("200MBus", "COMTimeout", kOvxIni), "400");
    EXPECT_EQ(ReadIniString("200MBus", "COMTimeoutOffset", kOvxIni), "60");
    bench.positionChosen(3);
    EXPECT_EQ(bench.startMask, "000fffff");
    EXPECT_EQ(bench.maskLabel, "000fffff");

    // The stored fields come back; a configured client wins over 200; the access word.
    WriteIniString("OVX", "OVXMandant", "1320", kOvxIni);
    WriteIniString("Tarvolin1320", "PrimAdr", "17", kOvxIni);
    ResetClient();
    TestBench second;
    second.load("qvxnk");
    EXPECT_EQ(Mandant, "1320");
    EXPECT_TRUE(second.fullSize());
    EXPECT_EQ(second.fields.primAdr, "17");
    EXPECT_EQ(ReadIniString("1320MBus", "COMTimeout", kOvxIni), "330");
}

TEST(TestBenchSettings, SampleTelegramAndProviderChoice)
{
    InstallationDir dir;
    const QString hex = PadHexList(SampleTelegramText());
    EXPECT_TRUE(hex.startsWith("68;38;38;68;08;01;72;")) << hex.toStdString();
    const QByteArray frame = HexListeToStr(hex, ";");
    ASSERT_EQ(frame.size(), 62);
    quint8 sum = 0;
    for (int i = 4; i < 60; ++i)
        sum += static_cast<quint8>(frame[i]);
    EXPECT_EQ(sum, static_cast<quint8>(frame[60])) << "checksum";
    EXPECT_EQ(frame[61], '\x16');

    TestBench bench;
    bench.load(QString());
    bench.cmdTestTelegramm();
    ASSERT_EQ(bench.resultGrid.rowCount(), 8) << dir.messages().join('|').toStdString();
    EXPECT_EQ(bench.header.idDec, "12345678");
    EXPECT_EQ(bench.header.manufacturer, "KEL");
    EXPECT_EQ(bench.resultGrid.cell(0, 0), "1 [1]");
    EXPECT_EQ(bench.resultGrid.cell(0, 3), "12345");
    const QString texts = QStringList{bench.resultGrid.cell(0, 2), bench.resultGrid.cell(1, 2), bench.resultGrid.cell(4, 2),
                                      bench.resultGrid.cell(5, 2), bench.resultGrid.cell(6, 2)}
                              .join('|');
    for (const char* text : {"Energie", "Volumen", "Vorlauftemperatur", "Rücklauftemperatur", "Datum"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text << " in " << texts.toStdString();
    EXPECT_EQ(bench.resultGrid.cell(4, 3), "69,3");
    EXPECT_TRUE(bench.rawData.startsWith("62 HEX Zeichen")) << bench.rawData.toStdString();

    // Kind 2 has no provider: the choice is stored, the time-out fields are off.
    bench.providerChosen(2);
    EXPECT_EQ(ReadIniString("200MBus0", "OleProvider", kOvxIni), "2");
    EXPECT_FALSE(bench.timeoutFieldsEnabled);
    bench.cmdTestTelegramm();
    bench.cmdLesenPrim();
    EXPECT_EQ(dir.messages().count(mbus::kNoProviderMessage), 2);
    bench.providerChosen(1);
    EXPECT_TRUE(bench.timeoutFieldsEnabled);
}

TEST(TestBenchPrimary, TwoBaudRatesEmptyRangeAndSpeedTest)
{
    Bench b({meter(3, "11111111", "[2400, 300]"), meter(5, "22222222")});
    ASSERT_FALSE(b.sim->device().isEmpty());
    b.tick({k2400, k300});
    b.bench.vonField = "0";
    b.bench.bisField = "6";
    b.bench.cmdPrimSuchen();
    const GridModel& found = b.bench.foundGrid;
    ASSERT_EQ(found.rowCount(), 251);
    EXPECT_EQ(found.cell(3, 6), "2400;300;");
    EXPECT_EQ(found.cell(5, 6), "2400;");
    EXPECT_EQ(found.cell(3, 1), "11111111");
    EXPECT_EQ(found.cell(4, 0), "4") << "tried";
    EXPECT_EQ(found.cell(4, 1), "");
    EXPECT_EQ(found.cell(7, 0), "") << "outside the range";
    EXPECT_TRUE(b.bench.statusLabels[k2400].startsWith("2 Zähler gefunden in "))
        << b.bench.statusLabels[k2400].toStdString();
    EXPECT_TRUE(b.bench.statusLabels[k300].startsWith("1 Zähler gefunden in "));
    EXPECT_TRUE(b.bench.elapsedLabel.startsWith("1 Zähler in ")) << b.bench.elapsedLabel.toStdString();
    EXPECT_TRUE(b.bench.elapsedLabel.endsWith(" sec. gefunden. "));
    EXPECT_EQ(b.bench.resultGrid.rowCount(), 9) << "three records per answer";
    EXPECT_EQ(b.bench.resultGrid.cell(6, 0), "3 [1]");
    EXPECT_EQ(b.bench.progressValue, 14);
    EXPECT_EQ(b.bench.progressMaximum, 14);
    EXPECT_FALSE(b.bench.primStopEnabled);

    // "bis" below "von": no address tried, 0 meters.
    b.bench.vonField = "10";
    b.bench.bisField = "5";
    b.bench.cmdPrimSuchen();
    EXPECT_TRUE(b.bench.statusLabels[k2400].startsWith("0 Zähler gefunden in "));
    EXPECT_TRUE(b.bench.elapsedLabel.startsWith("0 Zähler in "));
    EXPECT_TRUE(b.column(found, 0).join("").isEmpty());

    // Speed test: one answer counted per meter, " Keine Antwort" for the others.
    b.bench.setBaud("2400");
    b.bench.vonField = "2";
    b.bench.bisField = "6";
    b.bench.cmdSpeedLesen();
    EXPECT_EQ(b.bench.speedCount, "2");
    EXPECT_FALSE(b.bench.speedSeconds.isEmpty());
    EXPECT_EQ(b.column(b.bench.resultGrid, 0), (QStringList{"2", "4", "6"}));
    EXPECT_EQ(b.bench.resultGrid.cell(0, 1), " Keine Antwort");

    // A reading by primary address.
    b.bench.setPrimAdr("5");
    b.bench.cmdLesenPrim();
    EXPECT_EQ(b.bench.header.idDec, "22222222");
    ASSERT_EQ(b.bench.resultGrid.rowCount(), 4);
    EXPECT_EQ(b.bench.resultGrid.cell(0, 0), "5 [1]");
    EXPECT_TRUE(b.bench.resultGrid.cell(3, 0).startsWith("Gelesen in "));
    EXPECT_TRUE(b.bench.resultGrid.cell(3, 0).endsWith(" s"));
}

TEST(TestBenchPrimary, StopGivesTheSummary)
{
    Bench b({meter(3, "1"), meter(5, "2"), meter(9, "3"), meter(20, "4")});
    b.tick({k2400, k300});
    b.bench.bisField = "30";
    // The operator presses Stop while address 16 is asked.
    QObject::connect(&b.bench.foundGrid, &GridModel::dataChanged, [&](const QModelIndex& at) {
        if (at.row() == 16 && at.column() == 0)
            b.bench.cmdPrimStop();
    });
    b.bench.cmdPrimSuchen();
    const QString summary = b.bench.elapsedLabel;
    EXPECT_TRUE(summary.startsWith("3 Zähler in ")) << summary.toStdString();
    EXPECT_TRUE(summary.endsWith(" sec. gefunden. Suche abgebrochen bei Adr. 17")) << summary.toStdString();
    EXPECT_EQ(b.bench.foundGrid.cell(17, 0), "");
    EXPECT_EQ(b.bench.statusLabels[k300], "") << "the next baud rate is not searched";
    EXPECT_FALSE(b.bench.busy());

    // The next search starts afresh.
    b.bench.bisField = "5";
    b.bench.cmdPrimSuchen();
    EXPECT_EQ(b.bench.foundGrid.cell(3, 6), "2400;");
    EXPECT_TRUE(b.bench.elapsedLabel.endsWith(" sec. gefunden. ")) << "the stop flag was cleared";
}

// A meter whose answer takes its time: a stop pressed meanwhile meets the exchange on the wire.
QString slowMeter(int primary, const QString& id)
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [2400], "medium": 4, "delay": 300,
        "records": ["0406E8030000", "04134C1D0000", "025B4600"]})")
        .arg(primary)
        .arg(id);
}

TEST(TestBenchPrimary, StopKeepsTheAnswerOnTheWireClosingNamesTheCutAddress)
{
    // With wire time and a long answer window, so that the stop comes while address 1 answers.
    Bench b({slowMeter(1, "11111111"), slowMeter(3, "33333333")}, {});
    ASSERT_FALSE(b.sim->device().isEmpty());
    b.bench.setSearchTimeout(0, "2000");
    b.bench.setSearchTimeout(1, "100");
    b.tick({k2400});
    b.bench.vonField = "1";
    b.bench.bisField = "5";
    bool asked = false;
    std::function<void()> press = [&] { b.bench.cmdPrimStop(); };
    QObject::connect(&b.bench.foundGrid, &GridModel::dataChanged, [&](const QModelIndex& at) {
        if (at.row() == 1 && at.column() == 0 && !asked) {
            asked = true;
            // After the request has gone out, before the answer has come.
            QTimer::singleShot(100, press);
        }
    });
    b.bench.cmdPrimSuchen();
    EXPECT_EQ(b.bench.foundGrid.cell(1, 1), "11111111") << "the answer on the wire is taken";
    ASSERT_EQ(b.bench.resultGrid.rowCount(), 3);
    EXPECT_EQ(b.bench.resultGrid.cell(0, 0), "1 [1]");
    EXPECT_TRUE(b.bench.elapsedLabel.startsWith("1 Zähler in ")) << b.bench.elapsedLabel.toStdString();
    EXPECT_TRUE(b.bench.elapsedLabel.endsWith(" sec. gefunden. Suche abgebrochen bei Adr. 2"))
        << b.bench.elapsedLabel.toStdString();
    EXPECT_EQ(b.bench.foundGrid.cell(2, 0), "") << "address 2 is not asked";

    // Closing the window breaks the exchange: the summary names the address it cut.
    asked = false;
    press = [&] { b.bench.stopAll(); };
    b.bench.cmdPrimSuchen();
    EXPECT_EQ(b.bench.foundGrid.cell(1, 1), "");
    EXPECT_TRUE(b.bench.elapsedLabel.startsWith("0 Zähler in ")) << b.bench.elapsedLabel.toStdString();
    EXPECT_TRUE(b.bench.elapsedLabel.endsWith(" sec. gefunden. Suche abgebrochen bei Adr. 1"))
        << b.bench.elapsedLabel.toStdString();
    EXPECT_FALSE(b.bench.busy());
}

TEST(TestBenchSecondary, TwinsTwoRatesStartPositionAndReading)
{
    Bench b({meter(1, "12345678", "[9600]"), meter(2, "12345679", "[9600]"), meter(3, "55555555", "[9600, 2400]")});
    b.tick({k9600, k2400});
    b.bench.cmdSekSuchen();
    ASSERT_EQ(b.bench.foundGrid.rowCount(), 3) << b.bench.resultLabel.toStdString();
    EXPECT_EQ(b.column(b.bench.foundGrid, 1), (QStringList{"55555555", "12345679", "12345678"}));
    EXPECT_EQ(b.bench.foundGrid.cell(0, 6), "9600;2400") << "listed once";
    EXPECT_EQ(b.bench.foundGrid.cell(1, 6), "9600");
    EXPECT_EQ(b.bench.foundGrid.cell(1, 0), "253");
    EXPECT_EQ(b.bench.foundGrid.cell(1, 2), "KEL");
    EXPECT_EQ(b.bench.foundGrid.cell(1, 5), "3");
    EXPECT_TRUE(b.bench.resultLabel.startsWith("3 Zähler gefunden in ")) << b.bench.resultLabel.toStdString();
    EXPECT_TRUE(b.bench.resultLabel.endsWith(" Sekunden"));
    EXPECT_EQ(b.bench.baudLabel, "2400");
    EXPECT_EQ(b.bench.progressValue, b.bench.progressMaximum);
    EXPECT_TRUE(b.bench.sekSuchenEnabled);
    EXPECT_FALSE(b.bench.sekAbbrechenEnabled);
    EXPECT_EQ(b.bench.resultGrid.rowCount(), 3) << "the telegram of the last meter found";

    // Position-list entry 3: the search starts at the fourth character.
    QStringList masks;
    QObject::connect(&b.bench, &TestBench::changed, [&] {
        if (masks.isEmpty() || masks.last() != b.bench.maskLabel)
            masks << b.bench.maskLabel;
    });
    b.bench.positionChosen(3);
    b.tick({k9600});
    b.bench.cmdSekSuchen();
    EXPECT_EQ(b.bench.foundGrid.rowCount(), 0);
    EXPECT_TRUE(masks.contains("0009ffff"));
    EXPECT_TRUE(masks.contains("0000ffff"));
    EXPECT_TRUE(b.bench.resultLabel.startsWith("0 Zähler gefunden  in ")) << b.bench.resultLabel.toStdString();

    // "Abbrechen" while the twins collide at "1fffffff": that exchange is the last one.
    b.bench.positionChosen(0);
    b.tick({k9600, k2400});
    masks.clear();
    QObject::connect(&b.bench, &TestBench::changed, [&] {
        if (b.bench.maskLabel == "1fffffff" && b.bench.sekAbbrechenEnabled)
            b.bench.cmdSekAbbrechen();
    });
    b.bench.cmdSekSuchen();
    EXPECT_EQ(masks.last(), "1fffffff") << masks.join(' ').toStdString();
    EXPECT_EQ(b.column(b.bench.foundGrid, 1), QStringList{"55555555"});
    EXPECT_TRUE(b.bench.resultLabel.startsWith("1 Zähler gefunden in ")) << "a stopped run writes its summary";
    EXPECT_EQ(b.bench.baudLabel, "9600");

    // "Sekundär lesen" with the ID field; several answers; a port that does not open.
    b.bench.setBaud("9600");
    b.bench.idField = "12345679";
    b.bench.cmdSekLesen();
    EXPECT_EQ(b.bench.header.idDec, "12345679");
    EXPECT_EQ(b.bench.resultGrid.rowCount(), 3);
    b.bench.idField = "1234567f";
    b.bench.cmdSekLesen();
    EXPECT_TRUE(b.dir.messages().contains("Antwort von mehreren Zählern."));
    b.bench.setComPort("9");
    WriteIniString("OVX", "COM9", "/dev/kelvaro-no-such-port", kOvxIni);
    b.bench.load(QString());
    b.bench.cmdSekLesen();
    EXPECT_EQ(b.dir.messages().last(), "Fehler");
}

TEST(TestBenchLists, SaveThenReadGivesTheSameGrid)
{
    Bench b({meter(1, "12345678", "[9600]"), meter(2, "12345679", "[9600, 2400]")});
    b.tick({k9600, k2400});
    b.bench.cmdSekSuchen();
    const QList<QStringList> searched = b.foundRows();
    ASSERT_EQ(searched.size(), 2);

    b.bench.cmdSpeichern();
    ASSERT_EQ(b.bench.testFiles.size(), 1);
    const QString saved = b.bench.testFiles.first();
    EXPECT_TRUE(saved.startsWith("MBTestCom"));
    EXPECT_EQ(b.dir.messages().last(), "\\Tabelle wurde gespeichert : " + saved);

    b.bench.foundGrid.clearRows();
    b.bench.testFileChosen(saved);
    EXPECT_EQ(b.foundRows(), searched);
    b.bench.foundGrid.clearRows();
    b.bench.cmdListeLesen();
    EXPECT_EQ(b.foundRows(), searched);

    // The clipboard text: headers and rows, tab-separated.
    const QStringList lines = b.bench.clipboardText().split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Pri\tID\tHerst."));
    EXPECT_EQ(lines[1], searched[0].join('\t'));

    // Double-click copies address, first baud rate and identification.
    b.bench.foundRowDoubleClicked(0);
    EXPECT_EQ(b.bench.fields.primAdr, "253");
    EXPECT_EQ(b.bench.fields.baud, "9600");
    EXPECT_EQ(b.bench.idField, searched[0][1]);
    EXPECT_EQ(ReadIniString("Tarvolin200", "Baud", kOvxIni), "9600");

    // The default list missing: a message, the grid stays.
    b.bench.testFileChosen(QString());
    const qsizetype messages = b.dir.messages().size();
    b.bench.cmdListeLesen();
    EXPECT_EQ(b.foundRows(), searched);
    EXPECT_EQ(b.dir.messages().size(), messages + 1);
}

TEST(TestBenchLists, ASecondSaveKeepsTheFirstList)
{
    Bench b({meter(1, "12345678", "[9600]")});
    b.tick({k9600});
    b.bench.cmdSekSuchen();
    b.bench.cmdSpeichern();
    ASSERT_EQ(b.bench.testFiles.size(), 1);
    const QString first = b.bench.testFiles.first();
    const QByteArray firstBytes = b.dir.read(first);

    b.bench.foundGrid.clearRows();
    b.bench.foundGrid.appendRow({"5", "55555555", "ABB", "1", "Strom", "2", "2400;"});
    b.bench.cmdSpeichern();
    ASSERT_EQ(b.bench.testFiles.size(), 2) << "two saves, two lists, whatever the minute";
    EXPECT_EQ(b.dir.read(first), firstBytes);
    QStringList others = b.bench.testFiles;
    others.removeAll(first);
    ASSERT_EQ(others.size(), 1);
    const QString second = others.first();
    EXPECT_EQ(b.dir.messages().last(), "\\Tabelle wurde gespeichert : " + second);
    EXPECT_TRUE(b.dir.read(second).contains("55555555"));
}

TEST(TestBenchImports, ANewSearchForgetsTheListChosenBefore)
{
    InstallationDir dir;
    SimProcess sim(BusJson({meter(7, "77777777")}), {"--fast"});
    dir.write("none.json", BusJson({}));
    QString error;
    ASSERT_TRUE(master::CreateDemoInstallation("200", sim.device(), dir.file("none.json"), &error)) << error.toStdString();
    WriteIniString("200MBus", "COMTimeout", "40", kOvxIni);
    WriteIniString("200MBus", "COMTimeoutOffset", "8", kOvxIni);
    // A list of meters on port 3, kept from another line.
    dir.write("MBTestCom3.txt", "Pri;ID;Herst.;Vers.;Medium;AnzDat.;Baudrate;ID Long;Medium Long;Herst.Int\r\n"
                                "4;44444444;ABB;1;Strom;2;2400;;;\r\n");
    const auto meters = [](int port) {
        SqlConnection db("test.ports");
        return OpenClientDatabase(db)
            ? db.scalar("SELECT Count(*) FROM zaehler WHERE ZQUELLE = 'M-Bus' AND MBComP = ?", {port}).toInt()
            : -1;
    };

    TestBench bench;
    bench.load(QString());
    bench.refreshTestFiles();
    bench.testFileChosen("MBTestCom3.txt");
    ASSERT_EQ(bench.foundGrid.cell(0, 1), "44444444");

    // Then the technician searches his own line (COM1) and imports what he found.
    bench.baudBoxes = {false, false, true, false, false, false};
    bench.vonField = "0";
    bench.bisField = "8";
    bench.cmdPrimSuchen();
    ASSERT_EQ(bench.foundGrid.cell(7, 1), "77777777");
    EXPECT_TRUE(bench.chosenTestFile.isEmpty()) << "the grid no longer shows the chosen list";
    bench.cmdImportListe();
    EXPECT_EQ(meters(3), 0) << "nothing of the search written to the list's port";
    EXPECT_EQ(meters(1), 1) << dir.messages().join('|').toStdString();
    EXPECT_EQ(bench.fields.comPort, "1");

    // Chosen again, the list goes to its own port.
    bench.testFileChosen("MBTestCom3.txt");
    bench.cmdImportListe();
    EXPECT_EQ(meters(3), 1);
}

TEST(TestBenchModem, DialSearchHangUp)
{
    Bench b({meter(1, "12345678")}, {"--fast", "--modem"});
    b.bench.setBaud("2400");
    b.bench.cmdModemSuchen();
    EXPECT_EQ(b.bench.foundGrid.rowCount(), 251) << "no connection: nothing done";
    EXPECT_TRUE(b.bench.modemStatus.isEmpty());

    b.bench.cmdWaehlen();
    EXPECT_EQ(b.dir.messages().last(), "fertig 4");
    ASSERT_EQ(b.bench.telStatus(), 4);
    b.bench.cmdModemSuchen();
    ASSERT_EQ(b.bench.foundGrid.rowCount(), 1);
    EXPECT_EQ(b.bench.foundGrid.cell(0, 1), "12345678");
    EXPECT_EQ(b.bench.modemStatus, "Fertig");
    b.bench.cmdAuflegen();
    EXPECT_EQ(b.bench.telStatus(), 3);
    EXPECT_EQ(b.bench.modemStatus, "aufgelegt 3");
    b.bench.cmdModemSuchen();
    EXPECT_EQ(b.bench.modemStatus, "aufgelegt 3");
}

TEST(TestBenchModem, HangUpWhileAModemNeverAnswers)
{
    // A bus without a modem: neither "OK" nor "CONNECT" ever comes.
    Bench b({meter(1, "12345678")});
    bool busyWhenPressed = false;
    QTimer::singleShot(300, [&] {
        busyWhenPressed = b.bench.busy();
        b.bench.cmdLesenPrim(); // refused: the dial is running
        b.bench.cmdAuflegen();
    });
    b.bench.cmdWaehlen();
    EXPECT_TRUE(busyWhenPressed) << "the event loop ran during the dial";
    EXPECT_EQ(b.bench.telStatus(), 3);
    EXPECT_EQ(b.bench.modemStatus, "aufgelegt 3");
    EXPECT_EQ(b.bench.resultGrid.rowCount(), 0);
    EXPECT_FALSE(b.bench.busy());
}

TEST(TestBenchImports, IndexAndListFromTheBench)
{
    InstallationDir dir;
    const QStringList inDatabase{meter(1, "12345601"), meter(2, "12345602")};
    SimProcess sim(BusJson(inDatabase + QStringList{meter(7, "77777777")}), {"--fast"});
    dir.write("known.json", BusJson(inDatabase));
    QString error;
    ASSERT_TRUE(master::CreateDemoInstallation("200", sim.device(), dir.file("known.json"), &error)) << error.toStdString();
    WriteIniString("200MBus", "COMTimeout", "40", kOvxIni);
    WriteIniString("200MBus", "COMTimeoutOffset", "8", kOvxIni);
    const auto count = [](const QString& sql) {
        SqlConnection db("test.count");
        return OpenClientDatabase(db) ? db.scalar(sql).toInt() : -1;
    };

    TestBench bench;
    bench.load(QString());
    bench.setBaud("2400");
    bench.setPrimAdr("2");
    bench.cmdLesenPrim();
    ASSERT_EQ(bench.header.idDec, "12345602");
    bench.idField = bench.header.idDec;
    bench.cmdImportIndex();
    bench.cmdImportIndex();
    EXPECT_EQ(count("SELECT Count(*) FROM MB_IndexListe i JOIN zaehler z ON z.LZNR = i.lznr WHERE z.MBAdr = 2"), 3)
        << dir.messages().join('|').toStdString();

    // A primary search finds the meter at 7 that the database does not know.
    bench.baudBoxes = {false, false, true, false, false, false};
    bench.vonField = "0";
    bench.bisField = "8";
    bench.cmdPrimSuchen();
    ASSERT_EQ(bench.foundGrid.cell(7, 1), "77777777");
    bench.cmdInDBSpeichern();
    EXPECT_EQ(count("SELECT Count(*) FROM zaehler WHERE ZQUELLE = 'M-Bus' AND MBComP = 1"), 3)
        << dir.messages().join('|').toStdString();
    EXPECT_EQ(count("SELECT Count(*) FROM zaehler WHERE ZNr = '77777777' AND MBAdr = 7 AND MBBaud = 2400"), 1);

    // Every meter of the port read and its index list written.
    bench.cmdImportAlleIndex();
    ASSERT_EQ(bench.importReport.size(), 3) << dir.messages().join('|').toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(bench.importReport[i].startsWith("Imp Idx Adr " + QString::number(i == 2 ? 7 : i + 1)))
            << bench.importReport.join('|').toStdString();
    EXPECT_EQ(count("SELECT Count(*) FROM MB_IndexListe"), 9);
    EXPECT_EQ(bench.progressValue, 3);
}

TEST(TestBenchImports, CancellingTheImportOfAllIndexesIsNoFault)
{
    InstallationDir dir;
    const QStringList meters{slowMeter(1, "12345601"), slowMeter(2, "12345602")};
    SimProcess sim(BusJson(meters));
    dir.write("known.json", BusJson(meters));
    QString error;
    ASSERT_TRUE(master::CreateDemoInstallation("200", sim.device(), dir.file("known.json"), &error)) << error.toStdString();
    WriteIniString("200MBus", "COMTimeout", "2000", kOvxIni);
    WriteIniString("200MBus", "COMTimeoutOffset", "100", kOvxIni);
    const auto indexRowsAt = [](int address) {
        SqlConnection db("test.count");
        return OpenClientDatabase(db)
            ? db.scalar(QStringLiteral("SELECT Count(*) FROM MB_IndexListe i JOIN zaehler z ON z.LZNR = i.lznr "
                                       "WHERE z.MBAdr = %1").arg(address)).toInt()
            : -1;
    };

    TestBench bench;
    bench.load(QString());
    bench.setBaud("2400");
    bench.cmdImportAlleIndex();
    ASSERT_EQ(bench.importReport.size(), 2) << dir.messages().join('|').toStdString();
    ASSERT_EQ(indexRowsAt(2), 3) << bench.importReport.join('|').toStdString();

    // "&Abbrechen" while the second meter is being read.
    bool pressed = false;
    QObject::connect(&bench, &TestBench::changed, [&] {
        if (bench.importReport.size() == 1 && !pressed) {
            pressed = true;
            QTimer::singleShot(100, [&] { bench.cmdImportAbbrechen(); });
        }
    });
    bench.cmdImportAlleIndex();
    ASSERT_EQ(bench.importReport.size(), 2);
    EXPECT_TRUE(bench.importReport[0].startsWith("Imp Idx Adr 1 ")) << bench.importReport[0].toStdString();
    EXPECT_TRUE(bench.importReport[1].startsWith("Abgebrochen Adr 2 ")) << bench.importReport[1].toStdString();
    EXPECT_EQ(bench.importStatus, "1 von 2 Zählern importiert, abgebrochen");
    EXPECT_EQ(indexRowsAt(2), 3) << "the interrupted meter keeps its list";
    EXPECT_FALSE(bench.importAbbrechenEnabled);
}

