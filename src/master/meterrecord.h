#pragma once
#include "mbus/meterrecord.h"

#include <QString>

namespace kelvaro::master {

// One meter of the master's port meter table (index = its grid row, from 1).
struct MeterRecord : mbus::MeterBusFields {
    quint8 PrimAdr = 0;
    qint32 ErrorCount = 0;
    qint32 OkCount = 0;
    qint32 LZNR = 0;
    qint32 MBIndex = 0;
    qint16 IndexCount = 0;
    quint8 BasisTarif = 0;
    QString Zname;
};

} // namespace kelvaro::master
