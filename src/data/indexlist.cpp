#include "data/indexlist.h"

#include "data/dbconnection.h"
#include "foundation/lasterror.h"

#include <QSqlError>

namespace kelvaro {
namespace {

const QString kDeleteListSql = QStringLiteral("Delete from MB_IndexListe where lznr = ?");
const QString kInsertRowSql = QStringLiteral(
    "INSERT INTO MB_IndexListe (Lznr, MBIndex, [Index], Faktor, MBTyp, Typ, Art, Einheit, Speichern, Anzeigen) "
    "VALUES (?, ?, ?, 1, ?, ?, ?, ?, ?, ?)");

QString sqlType(int fieldType, int size)
{
    switch (fieldType) {
    case dbBoolean: return QStringLiteral("BOOLEAN");
    case dbByte:
    case dbInteger: return QStringLiteral("SMALLINT");
    case dbLong: return QStringLiteral("INTEGER");
    case dbCurrency: return QStringLiteral("NUMERIC(19,4)");
    case dbSingle: return QStringLiteral("REAL");
    case dbDouble: return QStringLiteral("DOUBLE PRECISION");
    case dbDate: return QStringLiteral("TIMESTAMP");
    case dbText: return QStringLiteral("VARCHAR(%1)").arg(size > 0 && size <= 255 ? size : 255);
    case dbMemo: return QStringLiteral("TEXT");
    default: return {};
    }
}

bool execNative(SqlConnection& db, const QString& sql)
{
    QSqlQuery q(db.database());
    if (q.exec(sql))
        return true;
    SetLastErrorText(q.lastError().text());
    return false;
}

} // namespace

int MBTypForUnit(const QString& unit)
{
    // Energies are counters, powers momentary values; reactive and apparent
    // power (kvar, kVA) are powers like kW.
    for (const char* energy : {"kWh", "kvarh", "kVAh"})
        if (unit.contains(QLatin1String(energy)))
            return 0;
    for (const char* power : {"kW", "kvar", "kVA"})
        if (unit.contains(QLatin1String(power)))
            return 1;
    return unit.contains('/') || unit.contains(QStringLiteral("°C")) ? 1 : 0;
}

int SaveIndexList(qint64 lznr, QList<IndexListValue>& values)
{
    if (!MBOpenDatenbank())
        return -1;
    return SaveIndexList(DBConnection(), lznr, values);
}

int SaveIndexList(SqlConnection& c, qint64 lznr, QList<IndexListValue>& values)
{
    if (!c.isOpen()) {
        SetLastErrorText(QStringLiteral("Datenbank ist nicht geöffnet"));
        return -1;
    }
    if (!c.transaction())
        return -1;
    bool ok = c.exec(kDeleteListSql, {lznr});
    QSqlQuery insert(c.database());
    ok = ok && insert.prepare(AdaptJetSql(kInsertRowSql, c.dialect()));
    for (qsizetype i = 0; ok && i < values.size(); ++i) {
        const IndexListValue& v = values[i];
        const QString unit = v.unit.trimmed().isEmpty() ? QStringLiteral(" ") : v.unit.trimmed();
        const int type = MBTypForUnit(v.unit);
        const int index = static_cast<int>(i + 1);
        const QVariantList row{lznr, index, index, type, type, v.description.trimmed(), unit, true, true};
        for (qsizetype k = 0; k < row.size(); ++k)
            insert.bindValue(int(k), row[k]);
        ok = insert.exec();
        if (!ok)
            SetLastErrorText(insert.lastError().text());
    }
    if (!ok || !c.commit()) {
        c.rollback();
        return -1;
    }
    for (IndexListValue& v : values)
        v.storeFlag = 255;
    return static_cast<int>(values.size());
}

bool OpenIndexRecordset(QSqlQuery& recordset, SqlConnection& connection, const QString& jetSql,
                        const QVariantList& values)
{
    return connection.query(recordset, jetSql, values);
}

int DAOCreateTable(SqlConnection& db, const QString& table, const QString& field, int fieldType, int attributes)
{
    Q_UNUSED(attributes);
    const QString type = sqlType(fieldType, 255);
    if (type.isEmpty()) {
        SetLastErrorText(QStringLiteral("Feldtyp %1 unbekannt").arg(fieldType));
        return -1;
    }
    if (!db.isOpen() || db.tableExists(table)) {
        SetLastErrorText(QStringLiteral("Tabelle %1 existiert bereits").arg(table));
        return -2;
    }
    const QString sql = QStringLiteral("CREATE TABLE ") + QuoteIdentifier(table, db.dialect()) + QStringLiteral(" (")
        + QuoteIdentifier(field, db.dialect()) + ' ' + type + ')';
    return execNative(db, sql) ? 0 : -2;
}

int DAOAddField(SqlConnection& db, const QString& table, const QString& field, int fieldType, int size)
{
    if (fieldType == dbLong && size == 16) {
        SetLastErrorText(QStringLiteral("Autowert-Feld %1 kann nicht an %2 angefügt werden").arg(field, table));
        return -1;
    }
    const QString type = sqlType(fieldType, size);
    if (type.isEmpty()) {
        SetLastErrorText(QStringLiteral("Feldtyp %1 unbekannt").arg(fieldType));
        return -1;
    }
    const QString sql = QStringLiteral("ALTER TABLE ") + QuoteIdentifier(table, db.dialect())
        + QStringLiteral(" ADD COLUMN ") + QuoteIdentifier(field, db.dialect()) + ' ' + type;
    return execNative(db, sql) ? 0 : -1;
}

void CreateIndexListTable()
{
    SqlConnection& db = DAODatabase();
    if (!OpenClientDatabase(db))
        return;
    if (DAOCreateTable(db, QStringLiteral("MB_IndexListe"), QStringLiteral("Lznr"), dbLong, 2) == 0) {
        DAOAddField(db, QStringLiteral("MB_IndexListe"), QStringLiteral("Index"), dbInteger, 30);
        DAOAddField(db, QStringLiteral("MB_IndexListe"), QStringLiteral("Art"), dbText, 40);
        DAOAddField(db, QStringLiteral("MB_IndexListe"), QStringLiteral("Einheit"), dbText, 10);
        DAOAddField(db, QStringLiteral("MB_IndexListe"), QStringLiteral("Speichern"), dbBoolean, 20);
    }
    db.close();
}

} // namespace kelvaro
