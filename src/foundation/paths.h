#pragma once
#include <QString>

namespace kelvaro {

// Paths in INI files and in DBPATH keep their Windows spelling ("\" and a
// leading ".\"). NativePath maps such a path to the file system at the
// boundary: separators become "/", and on case-sensitive file systems every
// existing component is matched case-insensitively, as Windows would.
QString NativePath(const QString& path);

// Creates the directory (and its parents) if missing; true when it exists.
bool EnsureDirectory(const QString& path);

// Directory part of a path in written spelling, including the final separator.
QString DirectoryOf(const QString& path);

} // namespace kelvaro
