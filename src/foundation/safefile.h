#pragma once
#include <QByteArray>
#include <QString>
#include <memory>

class QFile;
class QLockFile;

namespace kelvaro {

// Whole-file reads and writes that never leave a partial file behind, for
// files that several processes of an installation share. Paths are native;
// `error` (optional) receives the reason of a failure. None of these touch
// the program-wide last-error text: callers set it with their own words.

enum class ReadResult { Read, Missing, Failed };
// Missing when no such file exists; Failed when it exists but cannot be read
// in full (bytes then hold nothing to write back).
ReadResult ReadWholeFile(const QString& path, QByteArray& bytes, QString* error = nullptr);

// Writes a temporary file beside `path` and renames it over the old one; on
// any write error (full disk, file size limit) the temporary file is dropped
// and the old file stays as it was.
bool ReplaceWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Creates `path` holding `bytes` unless a file of that name exists. The file
// appears complete or not at all, and an existing file is never replaced,
// even by another process creating it at the same moment.
enum class CreateResult { Created, Exists, Failed };
CreateResult CreateWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Appends `bytes` to `path` (created if missing) whole or not at all, so that
// lines of several processes appending to one file never interleave and a
// full disk leaves no torn line: appenders take turns on a lock of the file
// itself, and a write that fails part-way is cut back to where the file ended.
// When `bytes` end a line (LF) and the file's last line has no end (a writer
// killed in mid-write), CR LF is written first, so the new line stands whole.
bool AppendWhole(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Makes the empty, open `file` `bytes` long (zeros) with its space taken on
// disk, so that writes into it cannot fail for want of space later. Where the
// file system cannot reserve space, the zeros are written. False (file then
// of any length up to `bytes`: the caller removes it) when the space is not there.
bool ReserveFileSpace(QFile& file, qint64 bytes, QString* error = nullptr);

// A lock shared by all processes: the file `path` + ".lock" beside the file it
// guards. A lock left by a killed process on this machine is taken over at
// once, any other after kStaleMs; waiting for a live holder ends after kWaitMs.
class FileLock {
public:
    static constexpr int kWaitMs = 5000;
    static constexpr int kStaleMs = 10000;

    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool lock(QString* error = nullptr);
    void unlock();

private:
    std::unique_ptr<QLockFile> lock_;
    QString path_;
};

} // namespace kelvaro
