#include "data/dbconnection.h"

#include "foundation/clientpaths.h"
#include "foundation/ini.h"
#include "foundation/lasterror.h"
#include "foundation/messages.h"
#include "foundation/paths.h"
#include "foundation/programlog.h"
#include "foundation/userconfig.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>

namespace kelvaro {
namespace {

bool fail(const QString& text)
{
    SetLastErrorText(text);
    return false;
}

void bindAll(QSqlQuery& query, const QVariantList& values)
{
    for (qsizetype k = 0; k < values.size(); ++k)
        query.bindValue(int(k), values[k]);
}

QString describe(const QSqlDatabase& db)
{
    QStringList parts{db.driverName()};
    if (!db.hostName().isEmpty())
        parts << QStringLiteral("Host=") + db.hostName();
    if (db.port() > 0)
        parts << QStringLiteral("Port=") + QString::number(db.port());
    // An ODBC connection string carries the password; it never goes into a message.
    QString database = db.databaseName();
    database.replace(QRegularExpression(QStringLiteral("PWD=(\\{(?:[^}]|\\}\\})*\\}|[^;]*)"),
                                        QRegularExpression::CaseInsensitiveOption),
                     QStringLiteral("PWD=***"));
    parts << QStringLiteral("Database=") + database;
    if (!db.userName().isEmpty())
        parts << QStringLiteral("User=") + db.userName();
    return parts.join(';');
}

} // namespace

SqlConnection::SqlConnection(QString name)
    : name_(std::move(name))
{
}

SqlConnection::~SqlConnection() { close(); }

bool SqlConnection::isOpen() const
{
    return QSqlDatabase::contains(name_) && QSqlDatabase::database(name_, false).isOpen();
}

void SqlConnection::close()
{
    if (!QSqlDatabase::contains(name_))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase SqlConnection::database() const { return QSqlDatabase::database(name_, false); }

bool SqlConnection::openWith(const QString& driver, SqlDialect dialect, const QString& location,
                             const std::function<void(QSqlDatabase&)>& configure)
{
    close();
    connectionText_ = driver + QStringLiteral(";Database=") + location;
    if (!QSqlDatabase::isDriverAvailable(driver))
        return fail(QStringLiteral("Datenbanktreiber %1 fehlt").arg(driver));
    dialect_ = dialect;
    location_ = location;
    bool ok;
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name_);
        configure(db);
        connectionText_ = describe(db);
        ok = db.open();
        error = db.lastError().text();
    }
    if (ok && dialect == SqlDialect::SQLite) {
        // Opening an SQLite file touches nothing yet; a locked or foreign file
        // shows up at the first read.
        QSqlQuery probe(database());
        ok = probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        if (!ok)
            error = probe.lastError().text();
        probe = QSqlQuery();
    }
    if (!ok) {
        close();
        return fail(QStringLiteral("Datenbank %1 kann nicht geöffnet werden: %2").arg(location, error));
    }
    return true;
}

bool SqlConnection::query(QSqlQuery& query, const QString& jetSql, const QVariantList& values)
{
    if (!isOpen())
        return fail(QStringLiteral("Datenbank ist nicht geöffnet"));
    query = QSqlQuery(database());
    query.setForwardOnly(true);
    const QString sql = AdaptJetSql(jetSql, dialect_);
    // Without values the text runs as it is: PostgreSQL cannot prepare DDL.
    const bool ok = values.isEmpty() ? query.exec(sql) : (query.prepare(sql) && (bindAll(query, values), query.exec()));
    if (!ok)
        return fail(query.lastError().text() + QStringLiteral(" [") + sql + ']');
    return true;
}

bool SqlConnection::exec(const QString& jetSql, const QVariantList& values)
{
    QSqlQuery q;
    return query(q, jetSql, values);
}

QVariant SqlConnection::scalar(const QString& jetSql, const QVariantList& values)
{
    QSqlQuery q;
    if (!query(q, jetSql, values) || !q.next())
        return {};
    return q.value(0);
}

bool SqlConnection::tableExists(const QString& table) const
{
    if (!isOpen())
        return false;
    for (const QString& t : database().tables())
        if (t.compare(table, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool SqlConnection::columnExists(const QString& table, const QString& column) const
{
    if (!isOpen())
        return false;
    const QString name = dialect_ == SqlDialect::PostgreSQL ? table.toLower() : table;
    return database().record(name).indexOf(column) >= 0;
}

bool SqlConnection::transaction()
{
    QSqlDatabase db = database();
    if (dialect_ == SqlDialect::SQLite) {
        // A deferred transaction that reads first cannot take the write lock
        // once another process has committed meanwhile: SQLite answers
        // "database is locked" at once instead of waiting. Taking the write
        // lock at the start lets the busy time-out do its work.
        QSqlQuery begin(db);
        return begin.exec(QStringLiteral("BEGIN IMMEDIATE")) || fail(begin.lastError().text());
    }
    return db.transaction() || fail(db.lastError().text());
}

bool SqlConnection::commit()
{
    QSqlDatabase db = database();
    return db.commit() || fail(db.lastError().text());
}

void SqlConnection::rollback()
{
    QSqlDatabase db = database();
    db.rollback();
}

namespace {

// The program-wide connections live as long as the program. They are closed
// when the application object ends: at static destruction QtSql's own
// registry may already be gone.
SqlConnection* sharedConnection(const QString& name)
{
    static const bool closeAtExit = [] {
        qAddPostRoutine([] {
            DBConnection().close();
            DAODatabase().close();
        });
        return true;
    }();
    Q_UNUSED(closeAtExit);
    return new SqlConnection(name);
}

} // namespace

SqlConnection& DBConnection()
{
    static SqlConnection* connection = sharedConnection(QStringLiteral("kelvaro.DBConnection"));
    return *connection;
}

SqlConnection& DAODatabase()
{
    static SqlConnection* connection = sharedConnection(QStringLiteral("kelvaro.DAODatabase"));
    return *connection;
}

QString SqliteFileFor(const QString& jetFileName)
{
    if (jetFileName.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        return jetFileName.left(jetFileName.size() - 4) + QStringLiteral(".db");
    return jetFileName;
}

namespace {

bool openSqliteFile(SqlConnection& connection, const QString& fileName)
{
    const QString native = NativePath(SqliteFileFor(fileName));
    if (!QFileInfo(native).isFile()) {
        connection.setConnectionText(QStringLiteral("QSQLITE;Database=") + native);
        return fail(QStringLiteral("Datenbank %1 nicht gefunden").arg(SqliteFileFor(fileName)));
    }
    if (!connection.openWith(QStringLiteral("QSQLITE"), SqlDialect::SQLite, SqliteFileFor(fileName),
                             [&](QSqlDatabase& db) {
                                 db.setDatabaseName(native);
                                 db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
                             }))
        return false;
    // Write-ahead logging: readers (editors, other masters) do not block the
    // writer, and a committed row costs one disk flush instead of several.
    // Commits stay fully synchronous. Where the mode cannot be set, the file
    // keeps its journal.
    QSqlQuery(connection.database()).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    return true;
}

bool openPostgres(SqlConnection& connection, const QString& user, const QString& password,
                  const QString& dataSource, const QString& catalog)
{
    QString host = dataSource.trimmed();
    int port = 5432;
    const int colon = host.lastIndexOf(':');
    if (colon > 0) {
        port = host.mid(colon + 1).toInt();
        host = host.left(colon);
    }
    return connection.openWith(QStringLiteral("QPSQL"), SqlDialect::PostgreSQL, dataSource + '/' + catalog,
                               [&](QSqlDatabase& db) {
                                   db.setHostName(host);
                                   db.setPort(port);
                                   db.setDatabaseName(catalog);
                                   db.setUserName(user);
                                   db.setPassword(password);
                                   db.setConnectOptions(QStringLiteral("connect_timeout=5;options=-cclient_min_messages=warning"));
                               });
}

QString odbcValue(const QString& value)
{
    // Braces protect separators inside a value of an ODBC connection string.
    QString v = value;
    v.replace('}', QStringLiteral("}}"));
    return '{' + v + '}';
}

bool openOdbc(SqlConnection& connection, SqlDialect dialect, const QString& connectionString, const QString& location)
{
    return connection.openWith(QStringLiteral("QODBC"), dialect, location,
                               [&](QSqlDatabase& db) { db.setDatabaseName(connectionString); });
}

} // namespace

bool OpenDBConnection(SqlConnection& connection, const QString& kind, const QString& user, const QString& password,
                      const QString& dataSource, const QString& catalog)
{
    if (connection.isOpen())
        return true;
    bool isNumber = false;
    const int flag = kind.trimmed().toInt(&isNumber);
    switch (isNumber ? flag : -1) {
    case DbKindFile:
        return openSqliteFile(connection, dataSource);
    case DbKindSqlNative:
    case DbKindSqlClassic: {
        QString server = dataSource;
        QString port;
        if (const int comma = server.indexOf(','); comma > 0) {
            port = QStringLiteral(";PORT=") + server.mid(comma + 1).trimmed();
            server = server.left(comma);
        }
        const QString cs = QStringLiteral("DRIVER={FreeTDS};SERVER=") + odbcValue(server) + port
            + QStringLiteral(";DATABASE=") + odbcValue(catalog) + QStringLiteral(";UID=") + odbcValue(user)
            + QStringLiteral(";PWD=") + odbcValue(password) + QStringLiteral(";TDS_Version=7.4");
        return openOdbc(connection, SqlDialect::SqlServer, cs, dataSource + '/' + catalog);
    }
    case DbKindOracle: {
        const QString driver = ReadIniStringOrDefault(QStringLiteral("OVX"), QStringLiteral("OracleODBCTreiber"),
                                                      kOvxIni, QStringLiteral("Oracle"));
        const QString cs = QStringLiteral("DRIVER=") + odbcValue(driver) + QStringLiteral(";DBQ=") + odbcValue(dataSource)
            + QStringLiteral(";UID=") + odbcValue(user) + QStringLiteral(";PWD=") + odbcValue(password);
        return openOdbc(connection, SqlDialect::Oracle, cs, dataSource);
    }
    case DbKindReserved:
        ShowMessageBox(QStringLiteral("5 ist noch nicht belegt als dbFlag."));
        return fail(QStringLiteral("5 ist noch nicht belegt als dbFlag."));
    case DbKindPostgres:
        return openPostgres(connection, user, password, dataSource, catalog);
    default:
        ShowMessageBox(QStringLiteral("Keine gültige Datenbank!"));
        return fail(QStringLiteral("Keine gültige Datenbank!"));
    }
}

bool MBOpenDatenbank()
{
    return OpenDBConnection(DBConnection(), DBConfig[DbKind], DBConfig[DbUser], DBConfig[DbPassword],
                            DBConfig[DbDataSource], DBConfig[DbCatalog]);
}

void UseClientFileDatabase()
{
    if (Mandant != QLatin1String("1450"))
        DBConfig[DbKind] = QStringLiteral("0");
    if (DBConfig[DbKind] == QLatin1String("0")) {
        DBConfig[DbKind] = QStringLiteral("1");
        DBConfig[DbUser].clear();
        DBConfig[DbPassword].clear();
        DBConfig[DbDataSource] = DBPATH + QStringLiteral("basis.mdb");
        DBConfig[DbCatalog] = QStringLiteral("1");
    }
}

bool OpenDAODatabase(SqlConnection& database, const QString& directory, const QString& fileName, bool& opened)
{
    if (opened && database.isOpen())
        return true;
    WriteProgramLog(QStringLiteral("Öffne Datenbank : ") + directory);
    opened = openSqliteFile(database, directory + fileName);
    return opened;
}

bool OpenClientDatabase(SqlConnection& database)
{
    bool opened = false;
    return OpenDAODatabase(database, DBPATH, QStringLiteral("basis.mdb"), opened);
}

QString MeterDatabaseFile(const QString& directory, qint64 lznr)
{
    if (lznr == -1)
        return QStringLiteral("-1");
    QString dir = directory;
    if (!dir.endsWith('\\'))
        dir += '\\';
    return dir + QStringLiteral("zaehler\\") + QStringLiteral("%1").arg(lznr, 7, 10, QLatin1Char('0'))
        + QStringLiteral(".mdb");
}

double TaGrpBasisTarif(SqlConnection& database, qint64 group)
{
    QSqlQuery q;
    if (!database.query(q, QStringLiteral(" SELECT * FROM TaGrp WHERE TaGrp_nr = ?"), {group}) || !q.next())
        return -1;
    const QVariant value = q.record().value(QStringLiteral("basistarif"));
    return value.isNull() ? -1 : value.toDouble();
}

} // namespace kelvaro
