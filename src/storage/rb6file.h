#pragma once
#include "foundation/datafilenames.h"
#include <QHash>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>

namespace kelvaro {

// An RB6 file is a flat sequence of 12-byte little-endian elements (32-bit
// time in Unix seconds, 64-bit double value). Elements 1 to 11 form the
// header; data starts at element 10 (over the last two, zero, header elements).
struct RB6Element {
    qint32 Tm = 0;
    double Wert = 0.0;
    bool operator==(const RB6Element&) const = default;
};
using RB6Header = std::array<RB6Element, 11>;

constexpr int kRB6ElementSize = 12;
constexpr int kRB6ElementsPerBlock = 101;
constexpr int kRB6BlockBytes = kRB6ElementSize * kRB6ElementsPerBlock; // 1212
constexpr int kRB6HeaderElements = 11;
constexpr int kRB6FirstDataIndex = 10;
constexpr int kRB6MasterBlockCount = 6000;

// Result codes of RB6Create / RB6Append.
enum RB6Result {
    RB6Ok = 0,
    RB6OpenFailed = -1,    // file or its directory cannot be opened or created
    RB6HeaderDamaged = -2, // header is not one this system wrote; the file is left alone
    RB6WriteFailed = -3,   // element could not be written (full disk, read-only); header unchanged
    RB6HeaderWriteFailed = -4,
    RB6TimeOutOfRange = -5, // time does not fit the 32-bit time field
};

// Block count used for a count of 0 (key "RB6_StandardGroesse" of section
// client + "MBus"). The programs set it at start with ReadRB6StandardGroesse.
inline int RB6_StandardGroesse = 0;
// Reads the key; 6000 when it is 0 or missing. Sets RB6_StandardGroesse.
int ReadRB6StandardGroesse();


// Creates and pre-allocates a file that is missing or empty, then writes its
// header. 0 when the file already had content or was created; negative on failure.
int RB6Create(const QString& fileName, qint64 channel, int slot, int blockCount, double creation1 = 1,
              double creation2 = 1, double creation3 = 0, double creation4 = 0);
// Writes the 11 header elements at the start of an existing non-empty file; an
// empty file is deleted instead (and false returned).
bool RB6WriteHeader(const QString& fileName, const RB6Header& header);
bool RB6ReadHeader(const QString& fileName, RB6Header& header);

// The header a new file gets.
RB6Header RB6NewHeader(int blockCount, double creation1, double creation2, double creation3, double creation4);
// Empty when the header may be written into; otherwise the reason.
QString RB6HeaderProblem(const RB6Header& header, qint64 fileSize);

// Where the files of an RB6 directory are, from one listing of it. A file
// without the system's spelling (an installation copied from a file system
// that ignores case) is found in the listing instead of by listing the
// directory again for every missing name, which costs as much as the
// directory holds files: a cycle that creates them all would grow with the
// square of its meters. A name with the system's spelling is always looked up
// directly; one that appears later under another spelling is found by the
// next listing. One listing serves one master cycle.
class RB6FileNames {
public:
    // The native path of `fileName` (a system path), as NativePath gives it.
    QString nativePath(const QString& fileName);

private:
    void list(const QString& directory);

    bool listed_ = false;
    QString directory_;       // the listed directory, as the callers spell it
    QString nativeDirectory_; // and as it is found on disk, ending in "/" (empty: the working directory)
    QHash<QString, QString> spellings_; // case-folded name -> the name on disk
};

// Appends one reading. A later time appends an element, the same time as the
// last element overwrites it, an earlier time is dropped (result 0). An empty
// fileName is built with RB6FileName and handed back. With `names` the file
// is looked up in that listing.
int RB6Append(const QString& directory, qint64 channel, qint64 time, double value, int slot, QString& fileName,
              RB6FileNames* names = nullptr);

// First and last time of a data file: for ".ovx" from the RB6 file, for
// "15P" names from the 15-minute file. Both 0 when the file does not exist.
void RB6FileTimes(const QString& fileName, qint64& firstTime, qint64& lastTime);
// Time of element 10, the first data element; 0 for an empty or unreadable file.
qint64 RB6FirstTime(const QString& fileName);

// Data elements (index 10 up to the last written) whose time lies in [from, to].
struct RB6IndexedElement {
    qint64 index;
    RB6Element element;
};
bool RB6ReadElements(const QString& fileName, QList<RB6IndexedElement>& out, qint64 from = LLONG_MIN,
                     qint64 to = LLONG_MAX);

// Raw elements on a fixed grid: between two elements further apart than 1.5
// intervals, points are inserted at the multiples of the interval following
// the earlier one, up to the later one. Inserted points carry the value of the
// earlier element (the register did not move while nothing was recorded).
struct RawPoint {
    qint64 Tm;
    double Wert;
    bool filled;
};
QList<RawPoint> RB_RohDatenAuffuellenMitRecordset(const QList<RB6Element>& raw, qint64 interval = 900,
                                                  bool adminLog = false);

} // namespace kelvaro
