#include "editors/editorenvironment.h"

#include "foundation/clientpaths.h"
#include "foundation/userconfig.h"

namespace kelvaro {

EditorEnvironment EditorEnvironment::load(const QString& commandLine)
{
    StartClientOr(commandLine, QStringLiteral("200"));
    LoadUserConfig();
    EditorEnvironment environment;
    environment.client = Mandant;
    environment.dbPath = DBPATH;
    environment.datenPath = DatenPath;
    environment.database = EditorDatabaseSettings::forClient(Mandant, DBPATH, DBConfig);
    return environment;
}

} // namespace kelvaro
