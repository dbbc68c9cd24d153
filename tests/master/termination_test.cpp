#include "foundation/ini.h"
#include "masterprocess.h"
#include "stationfixture.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::test;

namespace {

// SIGTERM, then the process must end by itself, cleanly and soon.
void expectCleanEndAfterSigterm(QProcess& master, const std::string& when)
{
    master.terminate();
    const bool ended = master.waitForFinished(8000);
    EXPECT_TRUE(ended) << "still running 8 s after SIGTERM " << when;
    if (!ended) {
        master.kill();
        master.waitForFinished(3000);
        return;
    }
    EXPECT_EQ(master.exitStatus(), QProcess::NormalExit) << when;
    EXPECT_EQ(master.exitCode(), 0) << when << "\n" << master.readAll().toStdString();
}

} // namespace

// Signals at random moments: during start-up, inside a reading (waits in
// nested event loops), between meters and between cycles.
TEST(MasterTermination, SigtermEndsTheMasterAtAnyMoment)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602"), Meter(3, "12345603", 9600)}, "1320", {});
    ASSERT_TRUE(f.ready);
    WriteIniString("1320MBus", "IntervallCom1", "1", kOvxIni);

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    for (int run = 0; run < 12; ++run) {
        MasterProcess master(f.dir.path(), MasterArgs("1320", 1));
        ASSERT_TRUE(master.waitForStarted(5000));
        // From its first line on (the loader's few milliseconds before main() are no program state).
        ASSERT_TRUE(master.waitForReadyRead(5000));
        const int delayMs = random.bounded(2500);
        QTest::qWait(delayMs);
        expectCleanEndAfterSigterm(master, "after " + std::to_string(delayMs) + " ms (seed " + std::to_string(seed) + ")");
    }
}

// With a display the start-up error box waits for a click; a signal must
// still end the program.
TEST(MasterTermination, SigtermEndsTheMasterBehindAMessageBox)
{
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed: no display to open a message box on";
    StationFixture f({Meter(1, "12345601")}, "200", {});
    ASSERT_TRUE(f.ready);
    ASSERT_TRUE(QFile::remove(f.dir.file("DB200/basis.db"))) << "the start-up cannot open its database";

    const QString display = QStringLiteral(":%1").arg(300 + QRandomGenerator::global()->bounded(300));
    QProcess server;
    server.start(xvfb, {display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForStarted(5000));
    QTest::qWait(1000);
    if (server.state() != QProcess::Running)
        GTEST_SKIP() << "Xvfb did not start on " << display.toStdString();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", display);
    for (const QString& args : {QStringLiteral("-M200 -C1 -T0"), QStringLiteral("Auto -M200 -C1 -T0")}) {
        MasterProcess master(f.dir.path(), args.split(' '), env);
        ASSERT_TRUE(master.waitForStarted(5000));
        QTest::qWait(2000);
        ASSERT_EQ(master.state(), QProcess::Running) << master.readAll().toStdString();
        expectCleanEndAfterSigterm(master, "with the database error box open (" + args.toStdString() + ")");
    }
    server.terminate();
    server.waitForFinished(3000);
}
