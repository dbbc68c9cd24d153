#pragma once
#include <QString>

namespace kelvaro::mscons {

// The interchange references of an installation: the last one handed out is
// kept as a number in a small file, replaced atomically under a process lock,
// so that two runs, even at the same moment, never get the same reference.
// A reference is counted as used once it is handed out, whether or not its
// file is written; a counter file that is unreadable or holds no number is
// never started afresh.
class ReferenceCounter {
public:
    explicit ReferenceCounter(QString fileName) : fileName_(std::move(fileName)) {}

    // Reserves `count` consecutive references; the first of them, or 0 with
    // errorText() when the counter cannot be read or written.
    qint64 reserve(int count);
    const QString& errorText() const { return error_; }

    static constexpr qint64 kLargest = 99999999999999; // an..14

private:
    QString fileName_;
    QString error_;
};

// DBPATH + "MSCONS-Referenz-M<client>.txt"
QString ReferenceCounterFile(const QString& dbPath, const QString& client);

} // namespace kelvaro::mscons
