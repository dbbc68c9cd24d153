#pragma once
// One line of a daily M-Bus log, read from its bytes without allocating.
#include "logimport/skipreason.h"

#include <QtGlobal>
#include <string_view>

namespace kelvaro::logimport {

// A reading line of either layout the master has written:
//   full:  time ;identification;name;port;primary address;index;value;unit;
//   short: time ;primary address;index;value[;]
struct LogReading {
    qint64 time = 0;        // Unix seconds
    int port = -1;          // -1 in the short layout
    int address = 0;
    int index = 0;
    double value = 0;
    std::string_view id;    // identification as written (full layout only)
    std::string_view name;  // meter name as written (full layout only)
    std::string_view timeText;  // the time stamp field, trimmed
    std::string_view valueText; // the value field as written
    bool shortLayout = false;
};

// Parses one line (without its line feed; a final CR is ignored). True for a
// reading; otherwise `reason` says why the line is not one. Never imports a
// value it cannot read exactly: a broken time stamp, a value that is not a
// German number, control bytes or a line that stops inside its fields are
// refused with their reason.
bool ParseLogLine(std::string_view line, LogReading& reading, SkipReason& reason);

// "dd.mm.yy hh:mm:ss" (also a four-digit year, seconds optional, blanks
// around) to Unix seconds; false for anything else or a time that does not
// fit 32 bits.
bool ParseLogTime(std::string_view text, qint64& seconds);
// A German number as the master writes it: sign, digits, decimal comma,
// optional exponent. No thousands separators; false for anything else.
bool ParseGermanNumber(std::string_view text, double& value);

} // namespace kelvaro::logimport
