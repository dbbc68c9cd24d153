#include "editors/editordatabase.h"

#include "foundation/lasterror.h"
#include "foundation/userconfig.h"

namespace kelvaro {

EditorDatabaseSettings EditorDatabaseSettings::forClient(const QString& client, const QString& dbPath,
                                                         const std::array<QString, 6>& dbConfig)
{
    EditorDatabaseSettings settings;
    const QString serverKind = dbConfig[DbKind].trimmed();
    if (client == QLatin1String("1450") && !serverKind.isEmpty() && serverKind != QLatin1String("0")) {
        settings.kind = serverKind;
        settings.user = dbConfig[DbUser];
        settings.password = dbConfig[DbPassword];
        settings.dataSource = dbConfig[DbDataSource];
        settings.catalog = dbConfig[DbCatalog];
        return settings;
    }
    settings.dataSource = dbPath + QStringLiteral("basis.mdb");
    settings.catalog = QStringLiteral("1");
    return settings;
}

QString EditorDatabaseSettings::displayName() const
{
    if (isFile())
        return dataSource;
    return dataSource + '/' + catalog;
}

EditorDatabase::EditorDatabase(const EditorDatabaseSettings& settings, const QString& connectionName)
    : connection_(connectionName)
{
    SetLastErrorText({});
    OpenDBConnection(connection_, settings.kind, settings.user, settings.password, settings.dataSource,
                     settings.catalog);
}

EditorDatabase::~EditorDatabase() { connection_.close(); }

QString EditorDatabase::errorText() const { return LastErrorText(); }

QString EditorDatabaseMessage(const EditorDatabaseSettings& settings, const QString& reason)
{
    return QStringLiteral("Fehler in der Datenbank ") + settings.displayName() + QStringLiteral(" :\r") + reason;
}

} // namespace kelvaro
