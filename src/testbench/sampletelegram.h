#pragma once
#include <QString>

namespace kelvaro::testbench {

// The test bench's built-in telegram: the RSP_UD of a heat meter (62 bytes,
// identification 12345678, manufacturer KEL) with energy, volume, power,
// volume flow, flow and return temperature, date and time, fabrication
// number. Stored as the raw-data box writes bytes: hex without leading zero,
// each followed by ";".
QString SampleTelegramText();

// Pads every single-digit field of a ";" hex list with a leading 0
// ("8;1;72;" -> "08;01;72;").
QString PadHexList(const QString& hexList);

} // namespace kelvaro::testbench
