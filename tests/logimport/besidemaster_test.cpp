// An import rebuilds the RB6 files while a master process cycles on the
// simulator and stores into them: neither tears a file or loses elements.
#include "foundation/ini.h"
#include "logimport/logimport.h"
#include "master/stationfixture.h"
#include "masterprocess.h"
#include "storage/rb6file.h"

#include <QDir>
#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::logimport;
using namespace kelvaro::test;

namespace {

QStringList rb6Files() { return QDir("DB1320/Z1320").entryList({"*.ovx"}, QDir::Files); }

qint64 newestTime()
{
    qint64 newest = 0;
    for (const QString& file : rb6Files()) {
        RB6Header h;
        if (RB6ReadHeader("DB1320/Z1320/" + file, h))
            newest = std::max<qint64>(newest, h[1].Tm);
    }
    return newest;
}

} // namespace

TEST(LogImportBesideMaster, RebuildWhileTheMasterStoresKeepsEveryFileWhole)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602"), Meter(3, "12345603")}, "1320", {});
    ASSERT_TRUE(f.ready);
    WriteIniString("1320MBus", "IntervallCom1", "1", kOvxIni);
    MasterProcess master(f.dir.path(), MasterArgs("1320", 1));
    ASSERT_TRUE(master.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([] { return rb6Files().size() == 6; }, 20000))
        << "the master stores no RB6 files: " << master.output().toStdString();

    // Yesterday's log: every meter's two values once a second for 20000 s.
    const QDate yesterday = LocalNow().date().addDays(-1);
    QByteArray log = "Zeitstempel;Z\xE4hlernummer;Z\xE4hlernummer;ComPort;PrimAdr;Wert;Einheit;\r\n";
    const qint64 start = DateToSeconds(QDateTime(yesterday, QTime(1, 0), Qt::UTC));
    const int seconds = 20000;
    for (int s = 0; s < seconds; ++s) {
        const QByteArray time = SecondsToDate(start + s).toString("dd.MM.yy hh:mm:ss ").toLatin1();
        for (int m = 1; m <= 3; ++m)
            for (int i = 1; i <= 2; ++i)
                log += time + ";1234560" + QByteArray::number(m) + ";W;1;" + QByteArray::number(m) + ";"
                    + QByteArray::number(i) + ";" + QByteArray::number(s) + ";m\xB3;\r\n";
    }
    f.dir.write("DB1320/MBusLog/" + yesterday.toString("yyMMdd") + "mb.log", log);

    LogImportSettings settings;
    settings.client = "1320";
    settings.dbPath = ".\\DB1320\\";
    settings.lockWaitMs = 20000;
    const ImportSummary s = LogImport(settings).importRange(yesterday, yesterday);
    ASSERT_FALSE(s.failed) << s.error.toStdString();
    EXPECT_EQ(s.valuesWritten, 6 * seconds);
    const qint64 importEnd = start + seconds - 1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return newestTime() > importEnd; }, 20000)) << "the master stopped storing";
    QTest::qWait(1500);
    ASSERT_TRUE(master.stop());
    EXPECT_FALSE(f.mbLog().contains("Fehler beim speichern RB6")) << f.mbLog().toStdString();

    ASSERT_EQ(rb6Files().size(), 6);
    for (const QString& file : rb6Files()) {
        QList<RB6IndexedElement> elements;
        ASSERT_TRUE(RB6ReadElements("DB1320/Z1320/" + file, elements)) << file.toStdString();
        ASSERT_GT(elements.size(), seconds) << file.toStdString() << ": imported and new elements";
        for (int k = 0; k < seconds; ++k)
            ASSERT_EQ(elements[k].element.Tm, start + k) << file.toStdString();
        for (qsizetype k = seconds; k < elements.size(); ++k)
            ASSERT_GT(elements[k].element.Tm, elements[k - 1].element.Tm) << file.toStdString() << " element " << k;
    }
}
