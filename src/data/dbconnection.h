#pragma once
#include "data/sqldialect.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <functional>

namespace kelvaro {

// Database kinds (dbFlag) of the installation.
enum DbKind { DbKindFile = 1, DbKindSqlNative = 2, DbKindSqlClassic = 3, DbKindOracle = 4, DbKindReserved = 5,
              DbKindPostgres = 6 };

// One named connection of QtSql with the dialect of its engine. Statements are
// given in the Jet dialect with "?" placeholders for every value.
class SqlConnection {
public:
    explicit SqlConnection(QString name);
    ~SqlConnection();
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    bool isOpen() const;
    void close();
    QSqlDatabase database() const;
    SqlDialect dialect() const { return dialect_; }
    const QString& name() const { return name_; }
    // Where the connection points (file or host/database), for messages.
    const QString& location() const { return location_; }
    // The settings of the last open attempt, password left out
    // ("QPSQL;Host=db;Port=5432;Database=zaehler;User=ovx"), for error messages.
    const QString& connectionText() const { return connectionText_; }
    void setConnectionText(const QString& text) { connectionText_ = text; }

    // Runs a Jet statement with bound values; false sets the last-error text.
    bool exec(const QString& jetSql, const QVariantList& values = {});
    // Prepares and runs a query; `query` is ready to be read when true.
    bool query(QSqlQuery& query, const QString& jetSql, const QVariantList& values = {});
    // The first column of the first row, or an invalid variant.
    QVariant scalar(const QString& jetSql, const QVariantList& values = {});

    bool tableExists(const QString& table) const;
    bool columnExists(const QString& table, const QString& column) const;

    bool transaction();
    bool commit();
    void rollback();

    // Used by the open functions.
    bool openWith(const QString& driver, SqlDialect dialect, const QString& location,
                  const std::function<void(QSqlDatabase&)>& configure);

private:
    QString name_;
    QString location_;
    QString connectionText_;
    SqlDialect dialect_ = SqlDialect::SQLite;
};

// The shared connection of the program (the database of DBConfig) and the
// client's own file database (DBPATH + "basis.db"), which table creation, the
// editors and the meter record load open around each piece of work.
SqlConnection& DBConnection();
SqlConnection& DAODatabase();

// Opens the connection with the settings unless it is already open (then true
// without touching it). Kinds: 1 SQLite file (a "basis.mdb" name means the
// "basis.db" beside it; the password is not used), 2/3 SQL Server through ODBC
// (FreeTDS), 4 Oracle through ODBC, 6 PostgreSQL (data source host[:port],
// catalog = database). 5 and unknown kinds show their message and give false.
bool OpenDBConnection(SqlConnection& connection, const QString& kind, const QString& user, const QString& password,
                      const QString& dataSource, const QString& catalog);

// Opens DBConnection with DBConfig (kind, user, password, data source, catalog).
bool MBOpenDatenbank();

// Master start-up for ordinary clients: unless the client is "1450" the file
// database DBPATH + "basis.mdb" is used (kind 1, no user, catalog "1").
void UseClientFileDatabase();

// Opens directory + fileName as a file database unless `opened` is already
// true; logs "Öffne Datenbank : " + directory when it really opens. The file
// must exist (a missing client database is an error, not a new empty one).
bool OpenDAODatabase(SqlConnection& database, const QString& directory, const QString& fileName, bool& opened);
// OpenDAODatabase on DBPATH + "basis.mdb".
bool OpenClientDatabase(SqlConnection& database);

// "basis.mdb" -> "basis.db": the file name the installation's Jet names stand for.
QString SqliteFileFor(const QString& jetFileName);

// directory + "zaehler\" + key "0000000" + ".mdb"; "-1" for key -1.
QString MeterDatabaseFile(const QString& directory, qint64 lznr);

// Base tariff ("basistarif") of a tariff group, -1 when not found or on error.
double TaGrpBasisTarif(SqlConnection& database, qint64 group);

} // namespace kelvaro
