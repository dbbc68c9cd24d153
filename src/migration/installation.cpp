#include "migration/installation.h"

#include "foundation/paths.h"
#include "migration/filecopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace kelvaro::migration {

namespace {

fs::path pathOf(const QString& text)
{
#ifdef Q_OS_WIN
    return fs::path(text.toStdWString());
#else
    return fs::path(QFile::encodeName(text).toStdString());
#endif
}

bool isInside(const fs::path& inner, const fs::path& outer)
{
    const auto [o, i] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return o == outer.end();
}

// The settings files: a copy the station already has is kept, but the
// administrator must learn that the Windows copy says otherwise.
bool isSettingsFile(const fs::path& name)
{
    const QString text = DisplayName(name).toLower();
    return text.endsWith(QLatin1String(".ini")) || text == QLatin1String("dnq.conf");
}

bool sameContent(const fs::path& a, const fs::path& b)
{
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    return fa && fb && std::equal(std::istreambuf_iterator<char>(fa), {}, std::istreambuf_iterator<char>(fb), {});
}

} // namespace

QString CopyRefusal(const QString& from, const QString& to)
{
    std::error_code ec;
    const fs::path source = fs::canonical(pathOf(from), ec);
    if (ec || !fs::is_directory(source))
        return QStringLiteral("Verzeichnis %1 fehlt").arg(from);
    const fs::path target = fs::weakly_canonical(fs::absolute(pathOf(to)), ec);
    if (ec)
        return QStringLiteral("Verzeichnis %1 ist nicht erreichbar").arg(to);
    if (isInside(target, source) || isInside(source, target))
        return QStringLiteral("%1 und %2 liegen ineinander").arg(from, to);
    if (fs::exists(target) && !fs::is_directory(target))
        return QStringLiteral("%1 ist kein Verzeichnis").arg(to);
    return {};
}

CopyResult CopyInstallation(const QString& from, const QString& to)
{
    CopyResult result;
    result.error = CopyRefusal(from, to);
    if (!result.error.isEmpty())
        return result;
    std::error_code ec;
    const fs::path source = fs::canonical(pathOf(from));
    const fs::path target = fs::weakly_canonical(fs::absolute(pathOf(to)));
    if (!fs::create_directories(target, ec) && ec) {
        result.error = QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(to);
        return result;
    }
    for (auto it = fs::recursive_directory_iterator(source, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path relative = it->path().lexically_relative(source);
        const fs::path copy = target / relative;
        if (!IsUtf8Name(it->path().filename()))
            result.namesNotUtf8 << DisplayName(relative);
        if (it->is_directory() && !it->is_symlink()) {
            if (!fs::create_directories(copy, ec) && ec) {
                result.error = QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(DisplayName(copy));
                return result;
            }
            continue;
        }
        if (it->is_directory()) {
            result.error = QStringLiteral("%1 ist ein verknüpfter Ordner; die Kopie braucht ihn als Ordner")
                               .arg(DisplayName(it->path()));
            return result;
        }
        if (fs::exists(fs::symlink_status(copy))) {
            ++result.filesKept;
            if (isSettingsFile(relative.filename()) && !sameContent(it->path(), copy))
                result.settingsDiffering << DisplayName(relative);
            continue;
        }
        fs::path part = copy;
        part += ".kelvaro-part";
        if (!CopyFileExactly(it->path(), part, result.error)) {
            fs::remove(part, ec);
            return result;
        }
        fs::rename(part, copy, ec);
        if (ec) {
            result.error = QStringLiteral("%1 nicht angelegt: %2").arg(DisplayName(copy), QString::fromStdString(ec.message()));
            fs::remove(part, ec);
            return result;
        }
        ++result.filesCopied;
    }
    if (ec)
        result.error = QStringLiteral("%1 nicht vollständig lesbar: %2").arg(from, QString::fromStdString(ec.message()));
    return result;
}

QStringList UnreachablePaths(const QList<PathSetting>& settings)
{
    QStringList lines;
    static const QRegularExpression windows(QStringLiteral("^[A-Za-z]:|^\\\\\\\\"));
    for (const PathSetting& s : settings) {
        if (s.path.isEmpty())
            continue;
        if (windows.match(s.path).hasMatch()) {
            lines << QStringLiteral("%1 = %2 ist ein Windows-Laufwerk; in %3 anpassen").arg(s.key, s.path, s.file);
            continue;
        }
        const QFileInfo where(NativePath(s.path));
        if (!(s.isFile ? where.dir().exists() : where.isDir()))
            lines << QStringLiteral("%1 = %2 fehlt (%3)").arg(s.key, s.path, s.file);
    }
    return lines;
}

} // namespace kelvaro::migration
