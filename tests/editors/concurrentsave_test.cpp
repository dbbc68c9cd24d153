// The editor saves into the client file while a master process stores its
// readings there.
#include "editors/editordatabase.h"
#include "editors/metereditor.h"
#include "foundation/ini.h"
#include "foundation/userconfig.h"
#include "master/stationfixture.h"
#include "masterprocess.h"

#include <QtTest/QTest>

using namespace kelvaro;
using namespace kelvaro::test;

TEST(EditorBesideMaster, SavesWhileTheMasterStoresReadingsLoseNeither)
{
    StationFixture f({Meter(1, "12345601"), Meter(2, "12345602"), Meter(3, "12345603")}, "1320", {});
    ASSERT_TRUE(f.ready);
    WriteIniString("1320MBus", "IntervallCom1", "1", kOvxIni);
    MasterProcess master(f.dir.path(), MasterArgs("1320", 1));
    ASSERT_TRUE(master.waitForStarted(5000));
    DBPATH = QStringLiteral(".\\DB1320\\");

    const bool stores = QTest::qWaitFor([&] { return f.rows("MBusWerte") > 0; }, 20000);
    ASSERT_TRUE(stores) << "the master stores nothing: " << master.output().toStdString();
    const int before = f.rows("MBusWerte");

    const auto settings = EditorDatabaseSettings::forClient("1320", DBPATH, DBConfig);
    MeterEditor editor(settings, "1320");
    int saves = 0;
    QElapsedTimer running;
    running.start();
    while (running.elapsed() < 6000) {
        ASSERT_TRUE(editor.ListeLaden());
        ASSERT_TRUE(editor.cmdAendern(saves % editor.list.rowCount()));
        editor.fields.ZName = QStringLiteral("Bearbeitet %1").arg(saves);
        for (int row = 0; row < editor.indexGrid.rowCount(); ++row)
            editor.indexGrid.setCell(row, MeterIndexGrid::ColArt, QStringLiteral("Art %1").arg(saves));
        ASSERT_TRUE(editor.cmdSpeichern()) << "save " << saves << ": " << f.dir.messages().join('|').toStdString();
        ++saves;
        QTest::qWait(20);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.rows("MBusWerte") > before; }, 20000)) << "the master stopped storing";

    ASSERT_TRUE(master.stop());
    const QString output = master.output();
    EXPECT_FALSE(output.contains("Fehler")) << output.toStdString();
    EXPECT_FALSE(f.mbLog().contains("Fehler")) << f.mbLog().toStdString();
    EXPECT_TRUE(f.dir.messages().isEmpty()) << f.dir.messages().join('|').toStdString();

    // The last edit of each meter is there.
    SqlConnection check(QStringLiteral("check"));
    ASSERT_TRUE(OpenDBConnection(check, settings.kind, {}, {}, settings.dataSource, settings.catalog));
    const int last = saves - 1;
    EXPECT_EQ(check.scalar("SELECT COUNT(*) FROM zaehler WHERE ZName = ?", {QStringLiteral("Bearbeitet %1").arg(last)})
                  .toInt(),
              1);
    EXPECT_GT(saves, 10);
    std::cout << saves << " saves while the master stored " << f.rows("MBusWerte") - before << " values\n";
}
