#pragma once
#include "master/meterrecord.h"
#include "mbus/wire/meterreading.h"

#include <QString>

namespace kelvaro::master {

// The log line that says how a meter without a usable secondary address is
// read (or that it is not read at all); empty for meters read as configured.
QString AddressingNote(const MeterRecord& meter, mbus::MeterAddressing addressing);

// The log line for a reply of another meter, identified as `replyId`.
QString OtherMeterNote(const MeterRecord& meter, const QString& replyId);

} // namespace kelvaro::master
