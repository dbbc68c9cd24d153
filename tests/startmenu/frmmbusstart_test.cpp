#include "startmenu/ui/frmmbusstart.h"
#include "testsupport.h"

#include <QAction>
#include <QMenuBar>
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
