#pragma once
#include "storage/rb6file.h"

#include <QHash>
#include <QString>
#include <list>
#include <memory>
#include <vector>

class QFile;

namespace kelvaro {

// Appends to many RB6 files with the rules of RB6Append (a later time
// appends, the same time overwrites the last element, an earlier one is
// dropped, the header counts the last element and grows the capacity), but
// keeps the files open and collects the elements of each file, so that every
// element is written once and the header once per batch. The bytes on disk
// equal those of RB6Append called for each value in turn.
//
// A batch goes to disk as its elements first, then header element 2 (and 5
// when the file grew): a failed write or an ended process leaves every file
// with a header that counts only whole elements.
class RB6Appender {
public:
    enum class Outcome { Appended, Overwritten, Dropped };

    explicit RB6Appender(int blockCount = kRB6MasterBlockCount, int maxOpenFiles = 200);
    ~RB6Appender(); // flushes; call flush() first to see its result
    RB6Appender(const RB6Appender&) = delete;
    RB6Appender& operator=(const RB6Appender&) = delete;

    // A handle (>= 0) for the file (a native path; its directory exists),
    // created as RB6Append would when missing or empty; a negative RB6Result
    // (last-error text set) when it cannot be used. The same name gives the
    // same handle.
    int open(const QString& fileName);
    // RB6Ok, or a negative RB6Result from writing a batch (last-error text set).
    int append(int handle, qint64 time, double value, Outcome* outcome = nullptr);
    // Writes every collected element; false (last-error text) on the first failure.
    bool flush();

    int openFileCount() const { return openFiles_; }
    int fileCount() const { return static_cast<int>(files_.size()); }

private:
    struct File;
    int create(const QString& fileName);
    bool ensureOpen(File& f);
    bool writeBatch(File& f);
    bool writeOpen(File& f); // f's file is open
    void touch(File& f);

    int blockCount_;
    int maxOpenFiles_;
    int openFiles_ = 0;
    std::vector<std::unique_ptr<File>> files_;
    QHash<QString, int> handles_;
    std::list<File*> recent_; // open files, most recently used first
    qint64 pendingElements_ = 0;
};

} // namespace kelvaro
