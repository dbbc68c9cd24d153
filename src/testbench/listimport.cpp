#include "testbench/listimport.h"

#include "data/dbconnection.h"
#include "foundation/lasterror.h"
#include "testbench/foundmeterlist.h"
#include "testbench/indeximport.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kelvaro::testbench {
namespace {

// The columns `ImportGet` fills when they are empty, with their defaults.
struct DefaultColumn {
    const char* column;
    QVariant value;
};

const QList<DefaultColumn>& importDefaults()
{
    static const QList<DefaultColumn> defaults{
        {"faktor", 1.0},
        {"Impulse", 1.0},
        {"[Offset]", 0.0},
        {"ZTyp", QStringLiteral("EVZ-Zähler")},
        {"ZStellen", 7},
        {"Stufe", 1},
        {"MBIndex", 1},
        {"MBZStand", 0},
        {"TarifGruppe", QStringLiteral("Strom")},
        {"TarifGrp", 1},
        {"Tarif", QStringLiteral("5;")},
        {"Feld", QStringLiteral("E")},
    };
    return defaults;
}

// The columns written from the list row every time.
const QStringList kRowColumns{"ZQUELLE", "MBComP", "ZNr", "MB_ID", "MBAdr", "Hersteller", "MB_Version", "MB_Medium",
                              "ZName", "MBBaud"};

struct ListRow {
    int address = -1;
    QString id;
    QVariantList values; // in the order of kRowColumns
};

bool parseRow(const QStringList& row, int port, ListRow& out)
{
    bool ok = false;
    out.address = row.value(0).trimmed().toInt(&ok);
    out.id = row.value(1).trimmed();
    if (!ok || out.address < 0 || out.address > 255 || out.id.isEmpty())
        return false;
    const QString manufacturer = row.value(2).trimmed();
    const int baud = row.value(6).section(QLatin1Char(';'), 0, 0).trimmed().toInt(&ok);
    out.values = {QStringLiteral("M-Bus"), port, out.id, out.id, out.address, manufacturer,
                  row.value(3).trimmed(), row.value(4).trimmed(), out.id + QLatin1Char('_') + manufacturer,
                  ok && baud > 0 ? QVariant(baud) : QVariant()};
    return true;
}

int defaultIndex(const char* column)
{
    for (int i = 0; i < importDefaults().size(); ++i)
        if (qstrcmp(importDefaults()[i].column, column) == 0)
            return i;
    return -1;
}

// The default columns of meter `lznr` as they are now.
bool currentDefaults(SqlConnection& db, qint64 lznr, QVariantList& values)
{
    QStringList columns;
    for (const DefaultColumn& d : importDefaults())
        columns << QString::fromLatin1(d.column);
    QSqlQuery q;
    if (!db.query(q, QStringLiteral("SELECT ") + columns.join(QStringLiteral(", "))
                         + QStringLiteral(" FROM zaehler WHERE LZNR = ?"),
                  {lznr}))
        return false;
    values.clear();
    const bool found = q.next();
    for (int i = 0; i < importDefaults().size(); ++i)
        values << (found ? q.value(i) : QVariant());
    return true;
}

// Gives the tariff group a row in "tagrp" when it has none: the master's
// meter list leaves out meters whose group is missing.
bool ensureTariffGroup(SqlConnection& db, const QVariant& group, const QVariant& groupName)
{
    const QVariant count = db.scalar(QStringLiteral("SELECT Count(*) FROM tagrp WHERE TAGRP_NR = ?"), {group});
    if (!count.isValid())
        return false;
    if (count.toInt() > 0)
        return true;
    const QString name = groupName.isNull() || groupName.toString().isEmpty() ? QStringLiteral("Strom")
                                                                              : groupName.toString();
    return db.exec(QStringLiteral("INSERT INTO tagrp (TAGRP_NR, TAGRP_NAME, BasisTarif) VALUES (?, ?, ?)"),
                   {group, name, 1});
}

// On PostgreSQL the identity of "zaehler" must not hand out a key given explicitly here.
bool advanceKeySequence(SqlConnection& db)
{
    if (db.dialect() != SqlDialect::PostgreSQL)
        return true;
    QSqlQuery q(db.database());
    if (q.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('zaehler', 'lznr'), "
                              "(SELECT MAX(lznr) FROM zaehler))")))
        return true;
    SetLastErrorText(q.lastError().text());
    return false;
}

// Writes one row: an update of meter `lznr`, or a new meter when lznr is 0.
// Returns the key of the meter written, 0 on a database error.
qint64 writeMeter(SqlConnection& db, qint64 lznr, const ListRow& row)
{
    QVariantList defaults;
    if (!currentDefaults(db, lznr, defaults))
        return 0;
    for (int i = 0; i < defaults.size(); ++i)
        if (defaults[i].isNull())
            defaults[i] = importDefaults()[i].value;

    QStringList columns = kRowColumns;
    QVariantList values = row.values;
    if (lznr != 0 && values.last().isNull()) { // no baud rate in the row: the meter keeps its own
        columns.removeLast();
        values.removeLast();
    }
    for (int i = 0; i < importDefaults().size(); ++i) {
        columns << QString::fromLatin1(importDefaults()[i].column);
        values << defaults[i];
    }

    bool ok = false;
    if (lznr == 0) {
        const QVariant max = db.scalar(QStringLiteral("SELECT Max(LZNR) FROM zaehler"));
        if (!max.isValid())
            return 0;
        lznr = max.isNull() ? 1 : max.toLongLong() + 1;
        QStringList marks(columns.size() + 1, QStringLiteral("?"));
        values.prepend(lznr);
        ok = db.exec(QStringLiteral("INSERT INTO zaehler (LZNR, ") + columns.join(QStringLiteral(", "))
                         + QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) + ')',
                     values)
            && advanceKeySequence(db);
    } else {
        QStringList sets;
        for (const QString& c : columns)
            sets << c + QStringLiteral(" = ?");
        values << lznr;
        ok = db.exec(QStringLiteral("UPDATE zaehler SET ") + sets.join(QStringLiteral(", "))
                         + QStringLiteral(" WHERE LZNR = ?"),
                     values);
    }
    ok = ok && ensureTariffGroup(db, defaults[defaultIndex("TarifGrp")], defaults[defaultIndex("TarifGruppe")]);
    return ok ? lznr : 0;
}

} // namespace

int ListImportPort(const QString& testFileName, int portField)
{
    const int fromName = PortFromTestFileName(testFileName);
    return fromName != 0 ? fromName : portField;
}

ListImportResult ImportListIntoDatabase(SqlConnection& db, int port, const QList<QStringList>& rows)
{
    ListImportResult result;
    if (port == 0)
        return result;
    QList<PortMeter> meters;
    const auto failed = [&] {
        result.ok = false;
        result.message = QStringLiteral("Datenbankfehler beim Import der Liste: ") + LastErrorText();
        return result;
    };
    if (!QueryPortMeters(db, port, -1, meters))
        return failed();
    const bool transactions = db.isOpen() && db.database().driver()->hasFeature(QSqlDriver::Transactions);

    for (const QStringList& gridRow : rows) {
        ListRow row;
        if (!parseRow(gridRow, port, row)) {
            if (IsMeterRow(gridRow))
                ++result.skipped;
            continue;
        }
        qsizetype match = -1;
        for (qsizetype i = 0; i < meters.size() && match < 0; ++i)
            if (meters[i].znr.trimmed() == row.id)
                match = i;
        // 253 is the address of every meter found by secondary address: no way to tell them apart.
        for (qsizetype i = 0; i < meters.size() && match < 0 && row.address != 253; ++i)
            if (meters[i].address == QVariant(row.address))
                match = i;

        if (transactions && !db.transaction())
            return failed();
        const qint64 written = writeMeter(db, match >= 0 ? meters[match].lznr : 0, row);
        if (written == 0 || (transactions && !db.commit())) {
            const QString why = LastErrorText();
            if (transactions)
                db.rollback();
            SetLastErrorText(why);
            return failed();
        }
        PortMeter m;
        m.lznr = written;
        m.address = row.address;
        m.znr = row.id;
        if (match >= 0) {
            meters[match] = m;
            ++result.updated;
        } else {
            meters << m;
            ++result.added;
        }
    }
    result.ok = true;
    result.message =
        QStringLiteral("Liste importiert: %1 Zähler neu, %2 geändert").arg(result.added).arg(result.updated);
    return result;
}

} // namespace kelvaro::testbench
