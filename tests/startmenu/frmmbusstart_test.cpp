#include "consoles/ui/frmmbuslog.h"
#include "consoles/ui/serialconsolewindow.h"
#include "mbus/lineconfig.h"
#include "startmenu/ui/frmmbusstart.h"
#include "testsupport.h"

#include <QAction>
#include <QMenuBar>
#include <QPointer>
#include <QTest>

using kelvaro::startmenu::FrmMBusStart;
using kelvaro::test::InstallationDir;

namespace {

QStringList entryTexts(const FrmMBusStart& start)
{
    QStringList texts;
    for (const QAction* action : start.menuBar()->actions())
        texts << action->text();
    return texts;
}

QAction* entry(const FrmMBusStart& start, const QString& text)
{
    for (QAction* action : start.menuBar()->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

TEST(FrmMBusStart, ChoosingAnEntryTwiceBringsUpTheSameWindow)
{
    InstallationDir dir;
    FrmMBusStart start;
    int made = 0;
    start.addWindowEntry("Master", [&] { ++made; return new QWidget; });
    start.addWindowEntry("Tarvolin", [] { return new QWidget; });
    start.show();
    EXPECT_EQ(start.windowTitle(), "MBus Start");
    EXPECT_EQ(entryTexts(start), QStringList({"Ende", "Master", "Tarvolin"}));

    entry(start, "Master")->trigger();
    QWidget* first = start.window("Master");
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    first->close();
    entry(start, "Master")->trigger();
    EXPECT_EQ(start.window("Master"), first) << "no second master in the process";
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(first->isVisible()) << "a closed window comes up again";
    EXPECT_EQ(start.window("Tarvolin"), nullptr) << "windows are made when chosen, not before";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy pointer restored";
    if (const QString shots = qEnvironmentVariable("KELVARO_SCREENSHOT_DIR"); !shots.isEmpty())
        start.grab().save(shots + "/kelvaro-start.png");
}

TEST(FrmMBusStart, AFactoryGivingNoWindowLeavesTheEntryUsable)
{
    InstallationDir dir;
    FrmMBusStart start;
    int asked = 0;
    start.addWindowEntry("FelsbrunnTest", [&] { ++asked; return nullptr; });
    EXPECT_EQ(start.open("FelsbrunnTest"), nullptr);
    EXPECT_EQ(start.open("FelsbrunnTest"), nullptr);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(FrmMBusStart, EndeClosesEveryWindowItOpened)
{
    InstallationDir dir;
    FrmMBusStart start;
    start.addWindowEntry("Tarvolin", [] { return new QWidget; });
    start.show();
    QWidget* bench = start.open("Tarvolin");
    ASSERT_TRUE(bench && bench->isVisible());
    entry(start, "Ende")->trigger();
    EXPECT_FALSE(bench->isVisible());
    EXPECT_FALSE(start.isVisible());
}

TEST(FrmMBusStart, TheSerialConsoleComesUpOnceWithItsLogWindowAndOwnsIt)
{
    InstallationDir dir;
    FrmMBusStart start;
    start.addWindowEntry("FelsbrunnTest",
                         [] { return kelvaro::CreateSerialConsoleWindow(kelvaro::mbus::LoadPortDirectory()); });
    entry(start, "FelsbrunnTest")->trigger();
    QPointer<QWidget> console = start.window("FelsbrunnTest");
    ASSERT_NE(console, nullptr);
    QPointer<kelvaro::FrmMBusLog> log = console->findChild<kelvaro::FrmMBusLog*>();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isVisible());
    EXPECT_TRUE(log->isWindow()) << "the log is a window of its own";

    console->close();
    entry(start, "FelsbrunnTest")->trigger();
    EXPECT_EQ(start.window("FelsbrunnTest"), console.data());
    EXPECT_TRUE(console->isVisible());

    delete console.data();
    EXPECT_TRUE(log.isNull()) << "the log window ends with the console";
}
