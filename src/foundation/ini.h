#pragma once
#include <QString>
#include <QStringList>

namespace kelvaro {

// INI files with the rules of the Windows profile functions: section and key
// names are case-insensitive and the first match wins; a value loses its outer
// blanks and one pair of surrounding double quotes; lines beginning with ";"
// are comments; anything missing reads as empty; values are cut at 254
// characters. Files are Windows-1252.
QString ReadIniString(const QString& section, const QString& key, const QString& file);
// The keys of the first matching section, in file order, each once.
QStringList ReadIniKeys(const QString& section, const QString& file);

// Sets one key. Only the line of that key changes (or the key is appended to
// its section, or the section to the file, creating the file if needed); every
// other byte stays as it was. Other processes writing the same file are shut
// out by a lock beside it (waited for a few seconds at most), the file is read
// afresh under the lock and replaced atomically, so a failed write (full disk)
// leaves the old file; a file that exists but cannot be read is never written.
// Returns false (last-error text set) on failure.
bool WriteIniString(const QString& section, const QString& key, const QString& value, const QString& file);

// The path the writers of `file` lock (FileLock adds ".lock"). Programs spell
// the same INI differently (".\ovx.ini", ".\OVX.INI"); until the file exists
// those are two names on a case-sensitive file system, so the lock is named in
// lower case and every spelling meets at it.
QString IniLockPath(const QString& file);

// Reads a key and, when it is empty, writes `defaultValue` back and returns it
// (unless another process has set the key meanwhile: then that value).
QString ReadIniStringOrDefault(const QString& section, const QString& key, const QString& file,
                               const QString& defaultValue);

// Reads a key as a number (its leading number, as Val reads it); a missing
// key or 0 gives `defaultValue`, which is written back as above.
int ReadIniNumberOrDefault(const QString& section, const QString& key, const QString& file, int defaultValue);

} // namespace kelvaro
