#include "foundation/paths.h"

#include <QDir>
#include <QFileInfo>

namespace kelvaro {
namespace {

QString join(const QString& parent, const QString& name)
{
    if (parent.isEmpty())
        return name;
    return parent.endsWith('/') ? parent + name : parent + '/' + name;
}

QString matchComponent(const QString& parent, const QString& name)
{
    const QString direct = join(parent, name);
    if (name == "." || name == ".." || QFileInfo::exists(direct))
        return direct;
    const QDir dir(parent.isEmpty() ? QStringLiteral(".") : parent);
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return join(parent, entry);
    return direct;
}

} // namespace

QString NativePath(const QString& path)
{
    QString p = path;
    p.replace('\\', '/');
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(p);
#else
    if (p.isEmpty())
        return p;
    QString result = p.startsWith('/') ? QStringLiteral("/") : QString();
    for (const QString& part : p.split('/', Qt::SkipEmptyParts))
        result = matchComponent(result, part);
    if (p.endsWith('/') && !result.endsWith('/'))
        result += '/';
    return result;
#endif
}

bool EnsureDirectory(const QString& path)
{
    const QString native = NativePath(path);
    if (native.isEmpty())
        return true;
    return QDir().mkpath(native);
}

QString DirectoryOf(const QString& path)
{
    const int cut = std::max(path.lastIndexOf('\\'), path.lastIndexOf('/'));
    return cut < 0 ? QString() : path.left(cut + 1);
}

} // namespace kelvaro
