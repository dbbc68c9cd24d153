#include "data/dbconnection.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "masterprocess.h"
#include "stationfixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest/QTest>

#include <functional>
#include <memory>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

const QString kExportKey = QStringLiteral(".\\Export\\index.txt");

bool WaitFor(const std::function<bool()>& done, int ms = 30'000)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < ms)
        QTest::qWait(20);
    return done();
}

// Client 1320 with a simulated line on COM1 and, when asked, a second one on
// COM3; each meter exports its indexes 1 and 2; the masters read every second.
class ExportInstallation {
public:
    explicit ExportInstallation(bool secondLine)
        : line1(BusJson({Meter(1, "11111101"), Meter(2, "11111102")}), {"--fast"})
    {
        dir.write("bus1.json", BusJson({Meter(1, "11111101"), Meter(2, "11111102")}));
        QString error;
        ready = !line1.device().isEmpty()
            && master::CreateDemoInstallation("1320", line1.device(), dir.file("bus1.json"), &error);
        SqlConnection db(QStringLiteral("export.install"));
        ready = ready && OpenClientDatabase(db);
        if (ready && secondLine) {
            line3 = std::make_unique<SimProcess>(BusJson({Meter(5, "33333305"), Meter(6, "33333306")}),
                                                 QStringList{"--fast"});
            dir.write("bus3.json", BusJson({Meter(5, "33333305"), Meter(6, "33333306")}));
            QList<master::BusMeter> meters3;
            ready = !line3->device().isEmpty() && master::ReadBusMeters(dir.file("bus3.json"), meters3, &error)
                && master::AddMBusMeters(db, meters3, 3, &error)
                && WriteIniString("OVX", "COM3", line3->device(), kOvxIni)
                && WriteIniString("1320MBus", "IntervallCom3", "1", kOvxIni);
        }
        QSqlQuery q;
        ready = ready && db.query(q, "SELECT LZNR, ZName FROM zaehler");
        while (ready && q.next()) {
            const int lznr = q.value(0).toInt();
            names.insert(lznr, q.value(1).toString());
            ready = db.exec("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (?, 1, '1-1:1.8.0')", {lznr})
                && db.exec("INSERT INTO MBusIndexListe (lznr, MBIndex, text) VALUES (?, 2, 'Energie Vorjahr')", {lznr});
        }
        ready = ready && WriteIniString("1320MBus", "IntervallCom1", "1", kOvxIni)
            && WriteIniString("1320", "MBusExportIndexDatei", kExportKey, kOvxIni);
        if (!ready)
            ADD_FAILURE() << "installation: " << error.toStdString() << LastErrorText().toStdString();
        db.close();
        DBConnection().close();
        ResetClient();
    }
    MasterProcess& start(int port)
    {
        masters.push_back(std::make_unique<MasterProcess>(dir.path(), MasterArgs("1320", port)));
        return *masters.back();
    }
    void stopAll()
    {
        for (auto& p : masters)
            EXPECT_TRUE(p->stop());
    }
    QByteArray exportBytes() const { return dir.read("Export/index.txt"); }
    QStringList exportLines() const
    {
        QStringList lines = FromWin1252(exportBytes()).split("\r\n");
        lines.removeLast();
        return lines;
    }
    QString mbLog() const { return FromWin1252(dir.read("DB1320/MBusLog/" + LocalNow().toString("yyMMdd") + "mb.log")); }
    // Readings of index 1 of the meter at COM1, address 1 in the M-Bus log.
    int logReadings() const { return static_cast<int>(mbLog().count(";1;1;1;")); }
    int exportReadings() const { return static_cast<int>(exportLines().size()); }

    InstallationDir dir;
    SimProcess line1;
    std::unique_ptr<SimProcess> line3;
    QHash<int, QString> names;
    std::vector<std::unique_ptr<MasterProcess>> masters;
    bool ready = false;
};

} // namespace

// The overview switches a running master: each change counts from the
// master's next cycle, without a restart.
TEST(IndexExportProgram, ARunningMasterTakesUpChangedSwitchesAtItsNextCycle)
{
    ExportInstallation install(false);
    ASSERT_TRUE(install.ready);
    MasterProcess& master = install.start(1);
    ASSERT_TRUE(WaitFor([&] { return install.logReadings() >= 2; })) << master.output().toStdString();
    EXPECT_TRUE(install.exportBytes().isEmpty()) << "the export is off";

    ASSERT_TRUE(WriteIniString("1320MBus", "MitIndexExport", "1", kOvxIni));
    ASSERT_TRUE(WaitFor([&] { return install.exportReadings() >= 4; })) << master.output().toStdString();

    ASSERT_TRUE(WriteIniString("MB1320", "MBSpeichern1", "0", kOvxIni));
    // A cycle that began before the change may still log; the ones after it do not.
    const int exportedAtChange = install.exportReadings();
    ASSERT_TRUE(WaitFor([&] { return install.exportReadings() >= exportedAtChange + 8; }));
    const int logged = install.logReadings();
    const int exported = install.exportReadings();
    ASSERT_TRUE(WaitFor([&] { return install.exportReadings() >= exported + 8; }));
    EXPECT_EQ(install.logReadings(), logged) << "the M-Bus log switch is off";

    ASSERT_TRUE(WriteIniString("MB1320", "MBSpeichern1", "1", kOvxIni));
    ASSERT_TRUE(WriteIniString("1320MBus", "MitIndexExport", "0", kOvxIni));
    const int loggedAtChange = install.logReadings();
    ASSERT_TRUE(WaitFor([&] { return install.logReadings() >= loggedAtChange + 2; }));
    const int exportedAfter = install.exportReadings();
    const int loggedAfter = install.logReadings();
    ASSERT_TRUE(WaitFor([&] { return install.logReadings() >= loggedAfter + 2; }));
    EXPECT_EQ(install.exportReadings(), exportedAfter) << "the export is off again";
}

// Two masters on two lines append to one export file at once: every line is
// whole, and every completed cycle of each meter has its two lines with the
// values the M-Bus log has for that reading.
TEST(IndexExportProgram, TwoMastersAppendToOneFileWithoutTearingOrLosingLines)
{
    ExportInstallation install(true);
    ASSERT_TRUE(install.ready);
    ASSERT_TRUE(WriteIniString("1320MBus", "MitIndexExport", "1", kOvxIni));
    install.start(1);
    install.start(3);
    const auto linesOf = [&](const QString& name) {
        return static_cast<int>(install.exportLines().filter('\t' + name + '\t').size());
    };
    ASSERT_TRUE(WaitFor([&] {
        for (const QString& name : std::as_const(install.names))
            if (linesOf(name) < 12)
                return false;
        return true;
    }, 60'000)) << install.exportLines().join('\n').toStdString();
    install.stopAll();

    const QByteArray bytes = install.exportBytes();
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
    const QRegularExpression whole(QStringLiteral(
        "^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d\t(\\d+)\t([^\t]+)\t([12])\t(1-1:1\\.8\\.0|Energie Vorjahr)\t([0-9,]+)\t([^\t]+)$"));
    QHash<QString, QSet<QString>> indexesOf; // meter and reading time: indexes exported
    QHash<QString, QString> exportedValue;   // meter, reading time and index: the value
    for (const QString& line : install.exportLines()) {
        const QRegularExpressionMatch m = whole.match(line);
        ASSERT_TRUE(m.hasMatch()) << "torn or wrong line: " << line.toStdString();
        EXPECT_EQ(install.names.value(m.captured(1).toInt()), m.captured(2));
        const QString reading = m.captured(2) + ' ' + line.left(17);
        EXPECT_FALSE(indexesOf[reading].contains(m.captured(3))) << "twice: " << line.toStdString();
        indexesOf[reading].insert(m.captured(3));
        exportedValue.insert(reading + ' ' + m.captured(3), m.captured(5));
    }
    for (auto it = indexesOf.cbegin(); it != indexesOf.cend(); ++it)
        EXPECT_EQ(it.value().size(), 2) << "a line of the reading is missing: " << it.key().toStdString();

    // Every export line is a reading of the M-Bus log, same time, same value.
    int matched = 0;
    for (const QString& line : install.mbLog().split("\r\n")) {
        const QStringList f = line.split(';');
        if (f.size() < 9 || f[5].toInt() < 1 || f[5].toInt() > 2)
            continue;
        const QString key = f[2] + ' ' + f[0].trimmed() + ' ' + f[5];
        if (exportedValue.contains(key)) {
            EXPECT_EQ(exportedValue.value(key), f[6]) << key.toStdString();
            ++matched;
        }
    }
    EXPECT_EQ(matched, exportedValue.size()) << "export lines without their reading in the M-Bus log";
}
