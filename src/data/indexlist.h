#pragma once
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

namespace kelvaro {

class SqlConnection;

// 1 when the unit text contains "kW", "/" or "°C", 0 otherwise, and 0 whenever
// it contains "kWh". Case-sensitive.
int MBTypForUnit(const QString& unit);

// One value of a decoded response as the index list needs it.
struct IndexListValue {
    QString description; // fixed-width text of the response (trimmed here)
    QString unit;
    quint8 storeFlag = 0; // set to 255 for every value taken into the list
};

// Replaces the meter's index list on DBConnection (opened with DBConfig when
// needed) by one row per value. The replacement is one transaction: on any
// failure the old list stays. Returns the value count, -1 on failure.
int SaveIndexList(qint64 lznr, QList<IndexListValue>& values);
int SaveIndexList(SqlConnection& connection, qint64 lznr, QList<IndexListValue>& values);

// Opens a query on the connection (Jet text, "?" for values); false on error.
bool OpenIndexRecordset(QSqlQuery& recordset, SqlConnection& connection, const QString& jetSql,
                        const QVariantList& values = {});

// Field types of the installation's table-building calls.
enum DaoFieldType { dbBoolean = 1, dbByte = 2, dbInteger = 3, dbLong = 4, dbCurrency = 5, dbSingle = 6,
                    dbDouble = 7, dbDate = 8, dbText = 10, dbMemo = 12 };

// Creates a table with one field: 0 on success, -1 when the field cannot be
// built (unknown type), -2 when the table cannot be added (it exists already,
// or the database refuses). The reason goes into the last-error text.
int DAOCreateTable(SqlConnection& database, const QString& table, const QString& field, int fieldType, int attributes);
// Adds a field; size is the text length. A long field with size 16 asks for an
// auto-increment field, which cannot be added to an existing table here (-1).
int DAOAddField(SqlConnection& database, const QString& table, const QString& field, int fieldType, int size);

// Creates "MB_IndexListe" in DBPATH + "basis.mdb" when it does not exist.
void CreateIndexListTable();

} // namespace kelvaro
