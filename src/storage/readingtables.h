#pragma once
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

} // namespace kelvaro
