#include "foundation/paths.h"
#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/ui/gridutil.h"
#include "mbus/ui/providerlist.h"

#include <QComboBox>
#include "testsupport.h"

#include <QStandardItemModel>
#include <QTableView>

using namespace kelvaro;
using kelvaro::test::InstallationDir;

TEST(Paths, WindowsSpellingReachesExistingFilesCaseInsensitively)
{
    InstallationDir dir;
    dir.write("DB200/MBusLog/261207mb.log", "x");
    EXPECT_EQ(NativePath(".\\db200\\mbuslog\\261207MB.LOG"), "./DB200/MBusLog/261207mb.log");
    EXPECT_EQ(NativePath(".\\DB200\\neu\\"), "./DB200/neu/") << "missing parts keep their spelling";
    EXPECT_TRUE(EnsureDirectory(".\\db200\\Neu\\Tief"));
    EXPECT_TRUE(QFileInfo(dir.file("DB200/Neu/Tief")).isDir());
    EXPECT_EQ(DirectoryOf(".\\DB200\\basis.db"), ".\\DB200\\");
}

TEST(GridHelpers, AutoWidthAndRowSelection)
{
    QStandardItemModel model(2, 3);
    model.setHorizontalHeaderLabels({"A", "Sehr lange Überschrift", "C"});
    model.setItem(1, 2, new QStandardItem(QString(40, 'W')));
    QTableView grid;
    grid.setModel(&model);
    AutoSizeGridColumns(&grid);
    EXPECT_GT(grid.columnWidth(1), grid.columnWidth(0));
    EXPECT_GT(grid.columnWidth(2), grid.columnWidth(1));

    SelectGridRow(&grid, 1);
    EXPECT_EQ(grid.currentIndex(), model.index(1, 0));
    EXPECT_EQ(grid.selectionModel()->selectedIndexes().size(), 3);
    SelectGridRow(&grid, 7); // out of range: nothing changes
    EXPECT_EQ(grid.currentIndex(), model.index(1, 0));
}

TEST(ProviderList, ConfiguredKindIsSelected)
{
    InstallationDir dir;
    Mandant = "200";
    WriteIniString("200MBus0", "OleProvider", "2", ".\\OVX.INI");
    QComboBox list;
    int kind = -1;
    mbus::MB_ProviderListeLaden(&list, 0, kind);
    EXPECT_EQ(kind, 2);
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.itemText(1), "MBus OLE V2");
    EXPECT_EQ(list.itemData(2).toInt(), 2);
    EXPECT_EQ(list.currentText(), "MBus OVX");
}
