#include "overview/programlocator.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kelvaro::overview {
namespace {

bool isProgram(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

ProgramLocations ProgramLocations::load()
{
    ProgramLocations where;
    where.programDir = QCoreApplication::applicationDirPath();
    const QString configured = ReadIniString(QStringLiteral("OVX"), QStringLiteral("KelvaroProgramm"), kOvxIni);
    if (!configured.isEmpty())
        where.configuredMaster = QFileInfo(NativePath(configured)).absoluteFilePath();
    return where;
}

QString FindProgram(const ProgramLocations& where, const QString& name)
{
    if (name == kMasterProgram && !where.configuredMaster.isEmpty())
        return isProgram(where.configuredMaster) ? where.configuredMaster : QString();
    if (!where.programDir.isEmpty()) {
        const QDir dir(where.programDir);
        for (const QString& candidate : {dir.filePath(name), QDir::cleanPath(dir.filePath("../" + name + '/' + name))})
            if (isProgram(candidate))
                return QFileInfo(candidate).absoluteFilePath();
    }
    return where.searchPath ? QStandardPaths::findExecutable(name) : QString();
}

} // namespace kelvaro::overview
