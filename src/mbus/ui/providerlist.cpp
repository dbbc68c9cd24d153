#include "mbus/ui/providerlist.h"

#include "mbus/lineconfig.h"

#include <QComboBox>

namespace kelvaro::mbus {

void FillProviderList(QComboBox* list, int kind)
{
    list->clear();
    const QStringList labels = ProviderListLabels();
    for (int i = 0; i < labels.size(); ++i)
        list->addItem(labels[i], i);
    list->setCurrentIndex(kind);
}

void MB_ProviderListeLaden(QComboBox* list, int port, int& kind)
{
    kind = MB_ProviderListeLaden(port);
    FillProviderList(list, kind);
}

} // namespace kelvaro::mbus
