#pragma once
#include "mbus/meterrecord.h"

#include <QString>

namespace kelvaro::master {

// How the meter fared in the running cycle (column "LastRead").
enum class LastRead { NotTried, Ok, Failed };

// One meter of the master's port meter table: its master data (the bus
// fields, PrimAdr among them: without one, column "PrimAdr" stays empty), its last
// reading and how the station has fared with it since the list was loaded.
// The meter grid shows these fields; nothing of a meter lives in the grid.
struct MeterRecord : mbus::MeterBusFields {
    qint32 ErrorCount = 0;
    qint32 OkCount = 0;
    qint32 LZNR = 0;
    qint32 MBIndex = 0;
    qint16 IndexCount = 0;
    quint8 BasisTarif = 0;
    QString Zname;
    QString tariffGroupName; // "TAGRP_NAME", column "Energie"
    LastRead lastRead = LastRead::NotTried;
};

// The primary address as the grid and the log lines show it.
inline QString PrimAdrText(const MeterRecord& meter)
{
    return meter.hasPrimAdr ? QString::number(meter.PrimAdr) : QString();
}

} // namespace kelvaro::master
