#pragma once
#include "foundation/datafilenames.h"
#include <QString>
#include <QtGlobal>

namespace kelvaro {

// The older 15-minute reading files: a 64-byte header of sixteen 32-bit
// little-endian integers, then one 32-bit value per quarter hour (96 a day,
// at day index x 96 + quarter of the day), the file growing in blocks of 100
// values (400 bytes). The master writes readings x 100 as integers.
constexpr int kQuarterHourHeaderBytes = 64;
constexpr int kQuarterHourValuesPerDay = 96;
constexpr int kQuarterHourValuesPerBlock = 100;
constexpr int kQuarterHourBlockBytes = kQuarterHourValuesPerBlock * 4;

struct QuarterHourHeader {
    qint32 creator[3] = {1, 0, 0};       // version, channel, slot
    qint64 startTime = 0;                 // Unix seconds of the first day, 00:00
    qint32 trailer[3] = {24 * 4, 4, kQuarterHourValuesPerBlock}; // values per day, bytes per value, values per block
};


bool QuarterHourReadHeader(const QString& fileName, QuarterHourHeader& header);

// Stores one value at the quarter hour of `time`, creating the file (its start
// day being the day of `time`) when missing. 0 on success; -1 file cannot be
// opened, -2 header damaged, -3 write failed, -5 time before the file's start.
int QuarterHourWrite(const QString& fileName, qint64 time, qint32 value, qint32 channel = 0, qint32 slot = -1);
// The master's main reading: reading x 100, rounded, as the stored integer;
// -6 when that does not fit 32 bits (nothing is written).
int QuarterHourWriteReading(const QString& fileName, qint64 time, double reading, qint32 channel = 0);
// Reading of a quarter hour; false when outside the file.
bool QuarterHourRead(const QString& fileName, qint64 time, qint32& value);

// Start time of the file and time of its last non-zero value (0 when missing).
void QuarterHourFileTimes(const QString& fileName, qint64& firstTime, qint64& lastTime);

} // namespace kelvaro
