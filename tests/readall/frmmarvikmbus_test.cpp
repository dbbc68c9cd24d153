#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "mbus/lineconfig.h"
#include "mbus/wire/nativeprovider.h"
#include "readall/ui/frmmarvikmbus.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace kelvaro;
using namespace kelvaro::readall;
using kelvaro::test::BusJson;
using kelvaro::test::InstallationDir;
using kelvaro::test::SimProcess;

namespace {

struct Form {
    Form()
    {
        dir.write("MB.INI", "[MB]\r\nDatenPath=out/\r\nComPort=2\r\nAnzahl=1\r\n");
        dir.write("out/.keep", "");
        WriteIniString("OVX", "COM2", sim.device(), kOvxIni);
        provider.setPortDirectory(mbus::LoadPortDirectory());
        reader.timeouts.timeout = 40;
        reader.timeouts.offset = 8;
        reader.clock = [this] { return now; };
        window = std::make_unique<FrmMarvikMBus>(reader);
        window->show();
    }
    int lines(const QString& name) const { return dir.read(name).count("\r\n"); }

    InstallationDir dir;
    SimProcess sim{BusJson({R"({"primary": 1, "id": "11223344", "baud": [9600], "medium": 4,
        "records": ["0406E8030000"]})"}), {"--fast"}};
    mbus::NativeProvider provider;
    ReadAll reader{provider};
    QDateTime now{QDate(2026, 1, 31), QTime(23, 0)};
    std::unique_ptr<FrmMarvikMBus> window;
};

} // namespace

TEST(FrmMarvikMBus, ShowsTheKeptFieldsAndKeepsEachChange)
{
    Form f;
    EXPECT_EQ(f.window->windowTitle(), "Marvik MBus");
    EXPECT_EQ(f.window->portField()->text(), "2");
    EXPECT_EQ(f.window->directoryField()->text(), "out/");
    EXPECT_EQ(f.window->countField()->text(), "1");
    f.window->countField()->selectAll();
    QTest::keyClicks(f.window->countField(), "12");
    EXPECT_EQ(ReadIniString("MB", "Anzahl", ".\\MB.INI"), "12");
    f.window->directoryField()->selectAll();
    QTest::keyClicks(f.window->directoryField(), "neu/");
    EXPECT_EQ(ReadIniString("MB", "DatenPath", ".\\MB.INI"), "neu/");
}

TEST(FrmMarvikMBus, StartReadsAtOnceAndTheMonthChangeReadsOnce)
{
    Form f;
    QTest::mouseClick(f.window->startButton(), Qt::LeftButton);
    EXPECT_EQ(f.lines("out/260131mb.txt"), 1);
    EXPECT_EQ(f.window->statusText(), "1 gelesen, 0 Fehler");
    if (const QString shots = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR"); !shots.isEmpty())
        f.window->grab().save(shots + "/mbus-readall.png");

    f.window->onTimerTick();
    EXPECT_EQ(f.lines("out/260131mb.txt"), 1) << "no automatic read in the month the form opened";
    f.now = QDateTime(QDate(2026, 2, 1), QTime(0, 0, 10));
    f.window->onTimerTick();
    f.window->onTimerTick();
    EXPECT_EQ(f.lines("out/260201mb.txt"), 1) << "one read at the first tick of the new month";
    f.now = f.now.addDays(3);
    f.window->onTimerTick();
    EXPECT_FALSE(QFile::exists(f.dir.file("out/260204mb.txt")));
}

TEST(FrmMarvikMBus, EmptyDirectoryKeyShowsSlaveDat)
{
    InstallationDir dir;
    mbus::NativeProvider provider;
    ReadAll reader{provider};
    FrmMarvikMBus window(reader);
    EXPECT_EQ(window.directoryField()->text(), "Slave.dat");
}
