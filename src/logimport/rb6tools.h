#pragma once
// Inspection tools over one RB6 file, for a technician: the header, the
// values of a time range, the position of a time, one day with the
// consumption between the elements, and a generated test file.
#include "storage/rb6file.h"

#include <QDate>
#include <QString>

namespace kelvaro {
class GridModel;
}

namespace kelvaro::logimport {

// What "DatInfoLesen" shows.
struct RB6FileInfo {
    qint64 fileSize = 0;
    RB6Header header{};
    QString problem;        // why the header is not one this system writes; empty when sound
    qint64 lastIndex = 0;   // element that holds the last value (9: none yet)
    qint64 capacity = 0;
    qint64 valueCount = 0;
    qint64 firstTime = 0;   // of element 10; 0 without values
    qint64 lastTime = 0;
};
// False (last-error text set) when the file cannot be opened or is shorter
// than a header. A header that is not sound still reads, with `problem` set.
bool RB6ReadInfo(const QString& fileName, RB6FileInfo& info);
// The 11 header elements: "Element", "Tm", "Wert", "Bedeutung".
void FillInfoGrid(GridModel& grid, const RB6FileInfo& info);
// One line: size, number of values, first and last time, capacity.
QString InfoSummary(const RB6FileInfo& info);

// The position of a time among the data elements: the first element whose
// time is at or after `time` (elements are in time order). `index` is
// lastIndex + 1 when every element is earlier.
struct RB6Position {
    qint64 index = 0;
    RB6Element element; // valid when found
    bool found = false;
    bool exact = false; // the element's time equals the time searched
};
bool RB6SearchPosition(const QString& fileName, qint64 time, RB6Position& position);

// The elements whose time lies in [from, to]: "Pos", "Tm", "Time", "Wert".
bool FillRangeGrid(GridModel& grid, const QString& fileName, qint64 from, qint64 to);

// The elements of one day (00:00:00 up to 23:59:59): "Peak-Nr" (position in
// the file), "Tm" (Unix seconds), "Time" ("dd.mm.yyyy hh:mm:ss"), "Diff-Tm"
// (seconds since the element before), "Verb" (value difference to the element
// before: the consumption), "Z-Stand" (the value). The first row of the day
// is measured against the last element of the day before, when there is one.
bool FillDayGrid(GridModel& grid, const QString& fileName, const QDate& day);

// Result code of a test file that is not created because the file already
// holds data (it may be a meter's real file).
constexpr int kTestFileExists = -6;
// Writes `count` elements every `stepSeconds` from `firstTime` into a new file
// through RB6Append: a register that starts at 1000 and rises by 0,25 to 1,0
// per step. Returns 0 or the first failing code.
int RB6CreateTestFile(const QString& fileName, qint64 firstTime, qint64 count, int stepSeconds = 900);
// "rc= <code> in <seconds> Sec".
QString TestFileReport(int rc, double seconds);

// The RB6 file of a meter key typed as "<LZNR>" or "<LZNR>/<slot>" (slot 1
// when omitted); empty when the key is no such number.
QString RB6FileForKey(const QString& directory, const QString& key);

} // namespace kelvaro::logimport
