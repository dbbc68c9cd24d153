#pragma once
#include <QByteArray>
#include <QString>
#include <array>

namespace kelvaro {

// Database settings from "\dnq.conf": kind (dbFlag), data source, user,
// password, catalog, user role. Empty until loaded.
inline std::array<QString, 6> DBConfig;

enum DBConfigEntry { DbKind = 0, DbDataSource, DbUser, DbPassword, DbCatalog, DbUserRole };

// The key byte of dnq.conf. Below 0x20 on purpose: the XOR then only touches
// the low five bits, so printable text stays printable and no line end is
// ever produced inside a line.
constexpr unsigned char kDnqKey = 0x13;

inline const QString kDnqConfFile = QStringLiteral("\\dnq.conf");

// XOR with the key, leaving a character unchanged where the XOR would give a
// blank, code 26 or an apostrophe. The same routine scrambles and unscrambles.
QByteArray ScrambleText(const QByteArray& text, unsigned char key);
QString ScrambleText(const QString& text, unsigned char key);

// Path of dnq.conf in the installation directory.
QString UserConfigPath();

// Fills DBConfig from dnq.conf, writing the default file first when none exists.
// Returns false (DBConfig unchanged) when the file cannot be read, or when no
// file exists and the defaults cannot be written whole (none is left then).
bool LoadUserConfig();
// Replaces dnq.conf by the defaults; false, the old file kept, on any write error.
bool WriteDefaultUserConfig();

} // namespace kelvaro
