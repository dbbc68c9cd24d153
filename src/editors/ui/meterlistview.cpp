#include "editors/ui/meterlistview.h"

#include "editors/meterlistgrid.h"
#include "foundation/ui/gridutil.h"

#include <QTableView>

namespace kelvaro {

void SizeMeterListColumns(QTableView* grid)
{
    AutoSizeGridColumns(grid);
    grid->setColumnHidden(MeterListGrid::ColQuelle, true);
    grid->setColumnHidden(MeterListGrid::ColLznr, true);
}

} // namespace kelvaro
