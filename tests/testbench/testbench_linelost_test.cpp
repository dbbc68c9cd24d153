#include "data/dbconnection.h"
#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "master/installation.h"
#include "simprocess.h"
#include "testbench/testbench.h"
#include "testsupport.h"

#include <QTimer>

using namespace kelvaro;
using namespace kelvaro::testbench;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::ReturningLine;

namespace {

constexpr int kBox2400 = 2, kBox300 = 5; // baud boxes

QString lossMeter(int primary, const QString& id, int delayMs = 0)
{
    return QStringLiteral(R"({"primary": %1, "id": "%2", "baud": [2400], "medium": 4, "delay": %3,
        "records": ["0406E8030000", "04134C1D0000", "025B4600"]})")
        .arg(primary)
        .arg(id)
        .arg(delayMs);
}

void shortWindows()
{
    WriteIniString("200MBus", "COMTimeout", "40", kOvxIni);
    WriteIniString("200MBus", "COMTimeoutOffset", "8", kOvxIni);
}

class TestBenchLineLost : public ::testing::TestWithParam<ReturningLine::Kind> {};

} // namespace

// The line goes away in the middle of a search or a speed test: the action
// ends at once, says where, keeps what it found, and the next action on the
// line that has come back works.
TEST_P(TestBenchLineLost, SearchesAndSpeedTestEndAtOnceAndTheNextRunReadsAgain)
{
    InstallationDir dir;
    ReturningLine line(BusJson({lossMeter(3, "30000003"), lossMeter(5, "50000005"), lossMeter(20, "20000020")}), GetParam());
    ASSERT_TRUE(line.isUp());
    WriteIniString("OVX", "COM1", line.device(), kOvxIni);
    shortWindows();
    TestBench bench;
    bench.load(QString());
    bench.baudBoxes = {false, false, true, false, false, true};
    bench.vonField = "0";
    bench.bisField = "30";

    // Primary search: gone when address 17 is asked.
    const auto dropAtAddress = QObject::connect(&bench.foundGrid, &GridModel::dataChanged, [&](const QModelIndex& at) {
        if (at.row() == 17 && at.column() == 0 && line.isUp())
            line.drop();
    });
    bench.cmdPrimSuchen();
    QObject::disconnect(dropAtAddress);
    EXPECT_TRUE(bench.elapsedLabel.startsWith("2 Zähler in ")) << bench.elapsedLabel.toStdString();
    EXPECT_TRUE(bench.elapsedLabel.contains(" sec. gefunden. Leitung verloren bei Adr. 17 ("))
        << bench.elapsedLabel.toStdString();
    EXPECT_EQ(bench.statusLabels[kBox2400], "2 Zähler gefunden, Leitung verloren bei Adr. 17");
    EXPECT_EQ(bench.foundGrid.cell(3, 1), "30000003") << "found before the loss";
    EXPECT_EQ(bench.foundGrid.cell(5, 1), "50000005");
    EXPECT_EQ(bench.foundGrid.cell(18, 0), "") << "nothing asked after the loss";
    EXPECT_EQ(bench.statusLabels[kBox300], "") << "the next baud rate is not searched";
    EXPECT_FALSE(bench.busy());

    // Back under the same name: the next search reopens it.
    ASSERT_TRUE(line.restore());
    bench.baudBoxes = {false, false, true, false, false, false};
    bench.bisField = "6";
    bench.cmdPrimSuchen();
    EXPECT_TRUE(bench.elapsedLabel.startsWith("2 Zähler in ")) << bench.elapsedLabel.toStdString();
    EXPECT_TRUE(bench.elapsedLabel.endsWith(" sec. gefunden. ")) << bench.elapsedLabel.toStdString();

    // Speed test 3..10: gone after two addresses.
    bench.setBaud("2400");
    bench.vonField = "3";
    bench.bisField = "10";
    const auto dropAfterTwo = QObject::connect(&bench, &TestBench::progressChanged, [&](int value, int) {
        if (value == 2 && line.isUp())
            line.drop();
    });
    bench.cmdSpeedLesen();
    QObject::disconnect(dropAfterTwo);
    EXPECT_EQ(bench.speedCount, "1");
    ASSERT_EQ(bench.resultGrid.rowCount(), 2);
    EXPECT_EQ(bench.resultGrid.cell(0, 1), " Keine Antwort");
    EXPECT_EQ(bench.resultGrid.cell(1, 0), "5");
    EXPECT_TRUE(bench.resultGrid.cell(1, 1).startsWith(" Leitung verloren bei Adr. 5 ("))
        << bench.resultGrid.cell(1, 1).toStdString();

    // Secondary search: gone when the mask reaches 2fffffff.
    ASSERT_TRUE(line.restore());
    bench.baudBoxes = {false, false, true, false, false, true};
    const auto dropAtMask = QObject::connect(&bench, &TestBench::changed, [&] {
        if (bench.maskLabel == "2fffffff" && line.isUp())
            line.drop();
    });
    bench.cmdSekSuchen();
    QObject::disconnect(dropAtMask);
    ASSERT_EQ(bench.foundGrid.rowCount(), 2) << bench.resultLabel.toStdString();
    EXPECT_EQ(bench.foundGrid.cell(0, 1), "50000005");
    EXPECT_EQ(bench.foundGrid.cell(1, 1), "30000003");
    EXPECT_TRUE(bench.resultLabel.startsWith("2 Zähler gefunden in ")) << bench.resultLabel.toStdString();
    EXPECT_TRUE(bench.resultLabel.contains(" Sekunden. Leitung verloren bei Maske 2fffffff ("))
        << bench.resultLabel.toStdString();
    EXPECT_EQ(bench.baudLabel, "2400") << "the next baud rate is not searched";
    EXPECT_TRUE(bench.sekSuchenEnabled);

    ASSERT_TRUE(line.restore());
    bench.baudBoxes = {false, false, true, false, false, false};
    bench.cmdSekSuchen();
    EXPECT_EQ(bench.foundGrid.rowCount(), 3);
    EXPECT_TRUE(bench.resultLabel.endsWith(" Sekunden")) << bench.resultLabel.toStdString();
}

// A reading and the import of all index lists cut by the loss: what was not
// read is not written, the meter keeps its list, and both work again on the
// line that has come back.
TEST_P(TestBenchLineLost, ReadingAndIndexImportEndAtOnceAndWorkAgain)
{
    InstallationDir dir;
    // Answers that take their time, so that the loss meets an exchange on the wire.
    const QStringList meters{lossMeter(1, "12345601", 300), lossMeter(2, "12345602", 300)};
    ReturningLine line(BusJson(meters), GetParam(), {});
    ASSERT_TRUE(line.isUp());
    dir.write("known.json", BusJson(meters));
    QString error;
    ASSERT_TRUE(master::CreateDemoInstallation("200", line.device(), dir.file("known.json"), &error))
        << error.toStdString();
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
    bench.setPrimAdr("1");

    // A reading: gone while the meter's answer is on its way.
    QTimer::singleShot(150, [&] { line.drop(); });
    bench.cmdLesenPrim();
    ASSERT_GE(bench.resultGrid.rowCount(), 1);
    const QString last = bench.resultGrid.cell(bench.resultGrid.rowCount() - 1, 0);
    EXPECT_TRUE(last.startsWith("Leitung verloren bei Adr. 1 (")) << last.toStdString();
    EXPECT_TRUE(bench.header.idDec.isEmpty());

    ASSERT_TRUE(line.restore());
    bench.cmdLesenPrim();
    EXPECT_EQ(bench.header.idDec, "12345601") << dir.messages().join('|').toStdString();
    EXPECT_TRUE(bench.resultGrid.cell(bench.resultGrid.rowCount() - 1, 0).startsWith("Gelesen in "));

    // Every index list written once, then the run cut while the second meter is read.
    bench.cmdImportAlleIndex();
    ASSERT_EQ(indexRowsAt(2), 3) << bench.importReport.join('|').toStdString();
    bool dropped = false;
    QObject::connect(&bench, &TestBench::changed, [&] {
        if (bench.importReport.size() == 1 && !dropped) {
            dropped = true;
            QTimer::singleShot(150, [&] { line.drop(); });
        }
    });
    bench.cmdImportAlleIndex();
    ASSERT_EQ(bench.importReport.size(), 2);
    EXPECT_TRUE(bench.importReport[0].startsWith("Imp Idx Adr 1 ")) << bench.importReport[0].toStdString();
    EXPECT_TRUE(bench.importReport[1].startsWith("Leitung verloren Adr 2 ")) << bench.importReport[1].toStdString();
    EXPECT_TRUE(bench.importStatus.startsWith("1 von 2 Zählern importiert, Leitung verloren bei Adr. 2 ("))
        << bench.importStatus.toStdString();
    EXPECT_EQ(indexRowsAt(2), 3) << "the meter whose reading was cut keeps its list";
    EXPECT_FALSE(bench.importAbbrechenEnabled);

    ASSERT_TRUE(line.restore());
    bench.cmdImportAlleIndex();
    ASSERT_EQ(bench.importReport.size(), 2);
    EXPECT_EQ(bench.importStatus, "2 von 2 Zählern importiert") << bench.importReport.join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(PseudoTerminalAndTcp, TestBenchLineLost,
                         ::testing::Values(ReturningLine::PseudoTerminal, ReturningLine::Tcp),
                         [](const auto& info) {
                             return info.param == ReturningLine::PseudoTerminal ? std::string("PseudoTerminal")
                                                                                : std::string("Tcp");
                         });
