#include "storage/readingtables.h"

#include "data/dbconnection.h"
#include "foundation/lasterror.h"
#include "foundation/textutil.h"
#include "foundation/timeutil.h"

#include <QSqlError>

namespace kelvaro {

bool OpenReadingTable(ReadingTable& rs, SqlConnection& connection, const QString& table);
bool AppendReadingRow(ReadingTable& rs, const QVariantList& values);

namespace {

QString insertSql(const QString& table)
{
    if (table == QLatin1String("Zaehlerstaende"))
        return QStringLiteral("INSERT INTO Zaehlerstaende (lznr, Tm, DT, ZStand, ta) VALUES (?, ?, ?, ?, ?)");
    return QStringLiteral("INSERT INTO MBusWerte (lznr, Tm, idx, Wert) VALUES (?, ?, ?, ?)");
}

bool numericTime(const QVariant& time, qint64& seconds)
{
    if (!time.isValid() || time.isNull())
        return false;
    if (time.typeId() == QMetaType::QString) {
        double value = 0;
        if (!IsNumericGerman(time.toString(), &value))
            return false;
        seconds = static_cast<qint64>(value);
        return true;
    }
    bool ok = false;
    seconds = static_cast<qint64>(time.toDouble(&ok));
    return ok;
}

QVariantList mbusWertRow(qint64 lznr, qint64 time, qint64 valueIndex, double value)
{
    return {lznr, time, valueIndex, value};
}

QVariantList zaehlerstandRow(qint64 lznr, const QVariant& time, qint64 tariff, double reading)
{
    qint64 seconds = 0;
    QVariant tm(QMetaType::fromType<qlonglong>());
    QVariant dt(QMetaType::fromType<QString>());
    if (numericTime(time, seconds)) {
        tm = seconds;
        // The wall-clock reading as text: no engine may shift it by a time zone.
        dt = SecondsToDate(seconds).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    return {lznr, tm, dt, reading, tariff};
}

} // namespace

void ReadingTable::close()
{
    insert_ = QSqlQuery();
    connection_ = nullptr;
}

bool OpenReadingTable(ReadingTable& rs, SqlConnection& connection, const QString& table)
{
    rs.close();
    if (!connection.isOpen()) {
        SetLastErrorText(QStringLiteral("Datenbank ist nicht geöffnet"));
        return false;
    }
    if (!connection.tableExists(table)) {
        SetLastErrorText(QStringLiteral("Tabelle %1 fehlt in %2").arg(table, connection.location()));
        return false;
    }
    QSqlQuery insert(connection.database());
    if (!insert.prepare(AdaptJetSql(insertSql(table), connection.dialect()))) {
        SetLastErrorText(insert.lastError().text());
        return false;
    }
    rs.connection_ = &connection;
    rs.table_ = table;
    rs.insert_ = std::move(insert);
    return true;
}

bool AppendReadingRow(ReadingTable& rs, const QVariantList& values)
{
    if (!rs.isOpen() || !rs.connection_->isOpen()) {
        SetLastErrorText(QStringLiteral("Tabelle %1 ist nicht geöffnet").arg(rs.table_));
        return false;
    }
    for (qsizetype k = 0; k < values.size(); ++k)
        rs.insert_.bindValue(int(k), values[k]);
    if (!rs.insert_.exec()) {
        SetLastErrorText(QStringLiteral("%1: %2").arg(rs.table_, rs.insert_.lastError().text()));
        return false;
    }
    return true;
}

bool OpenZaehlerstaende(ReadingTable& rs) { return OpenZaehlerstaende(rs, DBConnection()); }
bool OpenZaehlerstaende(ReadingTable& rs, SqlConnection& c) { return OpenReadingTable(rs, c, QStringLiteral("Zaehlerstaende")); }
bool OpenMBusWerte(ReadingTable& rs) { return OpenMBusWerte(rs, DBConnection()); }
bool OpenMBusWerte(ReadingTable& rs, SqlConnection& c) { return OpenReadingTable(rs, c, QStringLiteral("MBusWerte")); }

bool AddZaehlerstand(ReadingTable& rs, qint64 lznr, const QVariant& time, qint64 tariff, double reading)
{
    return AppendReadingRow(rs, zaehlerstandRow(lznr, time, tariff, reading));
}

bool AddMBusWert(ReadingTable& rs, qint64 lznr, qint64 time, qint64 valueIndex, double value)
{
    return AppendReadingRow(rs, mbusWertRow(lznr, time, valueIndex, value));
}

int ReadingRows::add(ReadingTable& rs, QVariantList values)
{
    rows_.append(Row{&rs, std::move(values), false, {}});
    return static_cast<int>(rows_.size() - 1);
}

int ReadingRows::addMBusWert(ReadingTable& rs, qint64 lznr, qint64 time, qint64 valueIndex, double value)
{
    return add(rs, mbusWertRow(lznr, time, valueIndex, value));
}

int ReadingRows::addZaehlerstand(ReadingTable& rs, qint64 lznr, const QVariant& time, qint64 tariff, double reading)
{
    return add(rs, zaehlerstandRow(lznr, time, tariff, reading));
}

bool ReadingRows::storeTogether()
{
    SqlConnection* connection = rows_.front().table->connection_;
    for (const Row& row : rows_)
        if (!row.table->isOpen() || row.table->connection_ != connection)
            return false;
    if (!connection->isOpen() || !connection->transaction())
        return false;
    for (const Row& row : rows_) {
        if (!AppendReadingRow(*row.table, row.values)) {
            connection->rollback();
            return false;
        }
    }
    if (!connection->commit()) {
        connection->rollback();
        return false;
    }
    for (Row& row : rows_)
        row.stored = true;
    return true;
}

void ReadingRows::store()
{
    if (rows_.size() > 1 && storeTogether())
        return;
    for (Row& row : rows_) {
        row.stored = AppendReadingRow(*row.table, row.values);
        row.error = row.stored ? QString() : LastErrorText();
    }
}

} // namespace kelvaro
