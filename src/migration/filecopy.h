#pragma once
#include <QString>
#include <filesystem>

namespace kelvaro::migration {

// Copies `source` to `target` (created or truncated) byte for byte: holes
// stay holes (an RB6 file keeps its size on disk), blocks of zeros become
// holes, the modification time and the permissions are kept, and the data
// is on disk before it returns. False with `error` on any short write.
bool CopyFileExactly(const std::filesystem::path& source, const std::filesystem::path& target, QString& error);

// Makes a rename inside `directory` durable (where the platform allows).
void SyncDirectory(const std::filesystem::path& directory);

// A file name for messages: bytes that are no UTF-8 shown as \xNN.
QString DisplayName(const std::filesystem::path& path);
// False when the name's bytes are no valid UTF-8 (a Windows code page name
// copied unconverted).
bool IsUtf8Name(const std::filesystem::path& path);

} // namespace kelvaro::migration
