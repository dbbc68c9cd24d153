#pragma once
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace kelvaro {

class SqlConnection;

// One of the two reading tables ("Zaehlerstaende", "MBusWerte") opened for
// appending: a prepared insert on a connection.
class ReadingTable {
public:
    bool isOpen() const { return connection_ != nullptr; }
    const QString& table() const { return table_; }
    void close();

private:
    friend bool OpenReadingTable(ReadingTable&, SqlConnection&, const QString&);
    friend bool AppendReadingRow(ReadingTable&, const QVariantList&);
    friend class ReadingRows;
    SqlConnection* connection_ = nullptr;
    QString table_;
    QSqlQuery insert_;
};

// Open the table on the connection (the shared DBConnection unless given),
// which must be open. False, with the last-error text, when the connection is
// closed or the table is missing.
bool OpenZaehlerstaende(ReadingTable& rs);
bool OpenZaehlerstaende(ReadingTable& rs, SqlConnection& connection);
bool OpenMBusWerte(ReadingTable& rs);
bool OpenMBusWerte(ReadingTable& rs, SqlConnection& connection);

// Appends one reading: lznr, Tm, DT (the same instant as a date), ZStand, ta.
// A time that is not a number leaves Tm and DT empty. Each call is its own
// transaction: true means the row is stored.
bool AddZaehlerstand(ReadingTable& rs, qint64 lznr, const QVariant& time, qint64 tariff, double reading);
// Appends one value: lznr, Tm, idx, Wert.
bool AddMBusWert(ReadingTable& rs, qint64 lznr, qint64 time, qint64 valueIndex, double value);

// The rows of one reading, for tables on one connection, stored together by
// store(): one transaction, so one disk flush for all of them. When the
// transaction fails, each row is stored on its own as AddMBusWert and
// AddZaehlerstand do, so that a row that cannot be stored takes no other
// with it. After store() returns, every row it reports stored is committed.
class ReadingRows {
public:
    // The row's number for stored() and error().
    int addMBusWert(ReadingTable& rs, qint64 lznr, qint64 time, qint64 valueIndex, double value);
    int addZaehlerstand(ReadingTable& rs, qint64 lznr, const QVariant& time, qint64 tariff, double reading);
    void store();
    bool stored(int row) const { return rows_.at(row).stored; }
    // Why the row was not stored (the last-error text of its attempt).
    const QString& error(int row) const { return rows_.at(row).error; }

private:
    struct Row {
        ReadingTable* table;
        QVariantList values;
        bool stored = false;
        QString error;
    };
    int add(ReadingTable& rs, QVariantList values);
    bool storeTogether();
    QList<Row> rows_;
};

} // namespace kelvaro
