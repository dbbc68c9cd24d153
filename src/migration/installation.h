#pragma once
#include <QList>
#include <QString>
#include <QStringList>

namespace kelvaro::migration {

// The copy of a Windows installation directory into another directory.
struct CopyResult {
    qint64 filesCopied = 0;
    qint64 filesKept = 0;          // there already: a station there may have written them since
    QStringList settingsDiffering; // kept INI files (and dnq.conf) that differ from the Windows copy
    QStringList namesNotUtf8;      // copied under their bytes; shown with \xNN
    QString error;
};

// Why `to` cannot take a copy of `from` (missing source, one inside the
// other), or empty. Creates nothing.
QString CopyRefusal(const QString& from, const QString& to);

// Copies every file and folder of `from` into `to` that `to` lacks, each file
// under a temporary name first so that none is ever left half-copied, with
// its holes and its modification time. `from` is only read. Refuses (before
// creating anything) when one directory lies inside the other.
CopyResult CopyInstallation(const QString& from, const QString& to);

// A setting of the installation that holds a path, as written.
struct PathSetting {
    QString file; // "OVX.INI", "MB.INI"
    QString key;  // "DBPATH200", "DatenPath", ...
    QString path;
    bool isFile = false; // a file: its directory must exist
};

// The settings (written spelling, relative to the working directory) that do
// not lead anywhere on this system, e.g. "C:\OVX\DB200\": one line each.
QStringList UnreachablePaths(const QList<PathSetting>& settings);

} // namespace kelvaro::migration
