#include "foundation/ini.h"
#include "foundation/processlock.h"
#include "foundation/userconfig.h"
#include "masterprocess.h"
#include "stationfixture.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

constexpr int kPorts = 3;
constexpr int kMetersPerPort = 3;

// Meters of port p carry identifications "p000000a" (a: primary address).
QStringList MetersOfPort(int port)
{
    QStringList meters;
    for (int a = 1; a <= kMetersPerPort; ++a)
        meters << Meter(a, QString::number(port) + "000000" + QString::number(a), a == 3 ? 9600 : 2400);
    return meters;
}

// Adds a further simulated line with its meters to the fixture's installation.
bool AddLine(const StationFixture& f, int port, std::unique_ptr<SimProcess>& sim, QString* error)
{
    const QByteArray bus = BusJson(MetersOfPort(port));
    sim = std::make_unique<SimProcess>(bus, QStringList{"--fast"});
    const QString busFile = QStringLiteral("bus%1.json").arg(port);
    f.dir.write(busFile, bus);
    QList<master::BusMeter> meters;
    if (sim->device().isEmpty() || !master::ReadBusMeters(f.dir.file(busFile), meters, error))
        return false;
    WriteIniString("OVX", QStringLiteral("COM%1").arg(port), sim->device(), kOvxIni);
    StartClient(QString());
    LoadUserConfig();
    bool ok = false;
    {
        SqlConnection db(QStringLiteral("many.masters"));
        ok = OpenClientDatabase(db) && master::AddMBusMeters(db, meters, port, error);
    }
    ResetClient();
    return ok;
}

QString Today(const QString& tail) { return LocalNow().toString("yyMMdd") + tail; }

QStringList FileLines(const QByteArray& raw)
{
    QStringList lines = FromWin1252(raw).split("\r\n");
    EXPECT_EQ(lines.takeLast(), QString()) << "the file ends with a whole line";
    return lines;
}

} // namespace

// Three masters on three lines of one installation for a few cycles: the
// shared day logs, program log, OVX.INI and RB6 directory stay whole.
TEST(ManyMasters, ThreeMastersShareLogsIniAndRB6Files)
{
    StationFixture f(MetersOfPort(1), "1320", {"--fast"});
    ASSERT_TRUE(f.ready);
    std::unique_ptr<SimProcess> sims[kPorts + 1];
    for (int port = 2; port <= kPorts; ++port) {
        QString error;
        ASSERT_TRUE(AddLine(f, port, sims[port], &error)) << error.toStdString();
    }
    for (int port = 1; port <= kPorts; ++port)
        WriteIniString("1320MBus", QStringLiteral("IntervallCom%1").arg(port), "1", kOvxIni);
    WriteIniString("1320MBus", "RB6ImportWarten", "20", kOvxIni);

    MasterProcess masters[kPorts + 1];
    for (int port = 1; port <= kPorts; ++port)
        masters[port].startIn(f.dir.path(), MasterArgs("1320", port));
    // n cycles of each line: every meter's first value logged n times.
    const auto cyclesDone = [&](int n) {
        const QString log = FromWin1252(f.dir.read("DB1320/MBusLog/" + Today("mb.log")));
        for (int port = 1; port <= kPorts; ++port)
            for (int a = 1; a <= kMetersPerPort; ++a)
                if (log.count(QStringLiteral(";%1;%2;1;").arg(port).arg(a)) < n)
                    return false;
        return true;
    };
    const auto waitForCycles = [&](int n) {
        for (int waited = 0; waited < 30000 && !cyclesDone(n); waited += 100)
            QTest::qWait(100);
        return cyclesDone(n);
    };
    ASSERT_TRUE(waitForCycles(2)) << FromWin1252(f.dir.read("DB1320/MBusLog/" + Today("mb.log"))).toStdString();
    {
        // A log import in between: every master waits for it, none loses a value.
        ProcessLock import(RB6DirectoryLockFile(f.dir.file("DB1320/Z1320")));
        ASSERT_TRUE(import.lock(ProcessLock::Mode::Exclusive, 10000));
        // Held until a master has met it: a busy machine can take longer
        // than any fixed time before the next store.
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const QString log = FromWin1252(f.dir.read("DB1320/MBusLog/" + Today("mb.log")));
            return log.contains("Warte auf Import der Logdateien");
        }, 15000)) << "no master met the import";
    }
    ASSERT_TRUE(waitForCycles(5)) << FromWin1252(f.dir.read("DB1320/MBusLog/" + Today("mb.log"))).toStdString();
    for (int port = 1; port <= kPorts; ++port)
        EXPECT_TRUE(ProcessLock::isHeld(MasterPortLockFile(f.dir.path() + "/DB1320/", "1320", port))) << port;
    for (int port = 1; port <= kPorts; ++port)
        masters[port].terminate();
    for (int port = 1; port <= kPorts; ++port) {
        ASSERT_TRUE(masters[port].waitForFinished(10000)) << port;
        EXPECT_EQ(masters[port].exitCode(), 0) << masters[port].readAll().toStdString();
        EXPECT_FALSE(ProcessLock::isHeld(MasterPortLockFile(f.dir.path() + "/DB1320/", "1320", port))) << port;
    }

    // mb.log: the header, then whole lines of the known kinds; each reading
    // line carries the identification of a meter of its own port.
    const QStringList log = FileLines(f.dir.read("DB1320/MBusLog/" + Today("mb.log")));
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.first(), QString::fromUtf8("Zeitstempel;Zählernummer;Zählernummer;ComPort;PrimAdr;Wert;Einheit;"));
    const QRegularExpression stamp(R"(^\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d ;(.*)$)");
    const QRegularExpression reading(QString::fromUtf8(R"(^(\d)000000(\d);Wasserzähler (\d);(\d);(\d);([12]);(100|5);m³;$)"));
    const QRegularExpression event(R"(^Datenholen gestartet am \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d$)");
    QMap<QString, int> readingsOf; // "port/primary/index" -> lines
    int started = 0;
    int waits = 0;
    for (qsizetype i = 1; i < log.size(); ++i) {
        const QRegularExpressionMatch line = stamp.match(log[i]);
        ASSERT_TRUE(line.hasMatch()) << "line " << i << ": " << log[i].toStdString();
        const QString text = line.captured(1);
        if (event.match(text).hasMatch()) {
            ++started;
            continue;
        }
        if (text == QLatin1String("Warte auf Import der Logdateien")) {
            ++waits;
            continue;
        }
        const QRegularExpressionMatch r = reading.match(text);
        ASSERT_TRUE(r.hasMatch()) << "line " << i << ": " << log[i].toStdString();
        EXPECT_EQ(r.captured(1), r.captured(4)) << "a meter of another port: " << log[i].toStdString();
        EXPECT_EQ(r.captured(2), r.captured(3));
        EXPECT_EQ(r.captured(2), r.captured(5));
        ++readingsOf[r.captured(4) + '/' + r.captured(5) + '/' + r.captured(6)];
    }
    EXPECT_EQ(started, kPorts);
    EXPECT_GE(waits, 1) << "a master met the import";

    // Program log: whole time-stamped lines, each master's among them.
    const QStringList programLog = FileLines(f.dir.read("DB1320/" + Today("ed.log")));
    const QRegularExpression programLine(R"(^\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d .+$)");
    const QRegularExpression secondStamp(R"(.\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d )");
    for (const QString& line : programLog) {
        EXPECT_TRUE(programLine.match(line).hasMatch()) << line.toStdString();
        EXPECT_FALSE(secondStamp.match(line).hasMatch()) << "two lines run together: " << line.toStdString();
    }
    EXPECT_GE(programLog.filter(QString::fromUtf8("Öffne Datenbank : .\\DB1320\\")).size(), kPorts) << programLog.join('\n').toStdString();

    // OVX.INI: the test's keys and every key each master wrote back at start.
    const QStringList a = ReadIniKeys("1320MBus", kOvxIni);
    for (const char* key : {"KorvanisIntervall", "KorvanisStartFenster", "IntervallCom1", "IntervallCom2",
                            "IntervallCom3", "RB6_StandardGroesse"})
        EXPECT_TRUE(a.contains(key, Qt::CaseInsensitive)) << key;
    for (int port = 1; port <= kPorts; ++port) {
        const QString p = QStringLiteral("1320MBus%1").arg(port);
        const QStringList keys = ReadIniKeys(p, kOvxIni);
        for (const QString& key : {QStringLiteral("COMTimeout"), QStringLiteral("COMTimeoutOffset"),
                                   QStringLiteral("COMTimeoutByte"), QStringLiteral("COMTimeoutDeadTime"),
                                   QStringLiteral("TibboIP%1").arg(port)})
            EXPECT_TRUE(keys.contains(key, Qt::CaseInsensitive)) << p.toStdString() << " " << key.toStdString();
        EXPECT_EQ(ReadIniString(p, "COMTimeout", kOvxIni), "330");
        EXPECT_FALSE(ReadIniString("OVX", QStringLiteral("COM%1").arg(port), kOvxIni).isEmpty());
    }
    EXPECT_EQ(ReadIniString("OVX", "OVXMandant", kOvxIni), "1320");
    const QRegularExpression iniLine(R"(^(\[[^\]]+\]|[^=\[]+=.*|)$)");
    for (const QString& line : FromWin1252(f.dir.read("OVX.INI")).split(QRegularExpression("\r?\n")))
        EXPECT_TRUE(iniLine.match(line).hasMatch()) << line.toStdString();

    // RB6 files: one per meter and value, each whole, with one element per
    // logged reading of that value.
    const QDir rb6(f.dir.file("DB1320/Z1320"));
    const QStringList files = rb6.entryList({"*.ovx"}, QDir::Files, QDir::Name);
    EXPECT_EQ(files.size(), kPorts * kMetersPerPort * 2);
    int elementsInAll = 0;
    for (const QString& name : files) {
        RB6Header header;
        ASSERT_TRUE(RB6ReadHeader(rb6.filePath(name), header)) << name.toStdString();
        EXPECT_EQ(RB6HeaderProblem(header, QFileInfo(rb6.filePath(name)).size()), QString()) << name.toStdString();
        QList<RB6IndexedElement> elements;
        ASSERT_TRUE(RB6ReadElements(rb6.filePath(name), elements)) << name.toStdString();
        for (qsizetype e = 1; e < elements.size(); ++e)
            EXPECT_LT(elements[e - 1].element.Tm, elements[e].element.Tm) << name.toStdString();
        elementsInAll += int(elements.size());
    }
    int logged = 0;
    for (const int n : readingsOf)
        logged += n;
    EXPECT_EQ(elementsInAll, logged) << "every logged reading is in its RB6 file";
}
