#include "testbench/indeximport.h"

#include "data/dbconnection.h"
#include "foundation/lasterror.h"
#include "mbus/hexlist.h"
#include "mbus/wire/meterreading.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <algorithm>

namespace kelvaro::testbench {
namespace {

const QString kMeterQuery =
    QStringLiteral(" SELECT  zaehler.ZQUELLE, zaehler.LZNR, zaehler.MBAdr, zaehler.MBComP, zaehler.MBBaud, ")
    + QStringLiteral(" zaehler.ZNAME, zaehler.MBIndex, zaehler.MBZStand, zaehler.ZNr, * ")
    + QStringLiteral(" From zaehler") + QStringLiteral(" Where ((zaehler.ZQUELLE = 'M-Bus') AND (zaehler.MBComP=?");
const QString kAddressCondition = QStringLiteral(") AND (zaehler.MBAdr= ?");
const QString kQueryEnd = QStringLiteral("))");

const QString kDeleteIndexList = QStringLiteral(" DELETE    MB_IndexListe.Lznr") + QStringLiteral(" From MB_IndexListe")
    + QStringLiteral(" Where ((MB_IndexListe.lznr = ?))") + QStringLiteral(" WITH OWNERACCESS OPTION;");

// Jet names the column "Index" in brackets: it is a keyword.
QString insertIndexRow(const QString& indexColumn)
{
    const QString column = indexColumn == QLatin1String("Index") ? QStringLiteral("[Index]") : indexColumn;
    return QStringLiteral("INSERT INTO MB_IndexListe (Lznr, ") + column
        + QStringLiteral(", Art, Einheit, Speichern) VALUES (?, ?, ?, ?, ?)");
}

// The record number between "[" and "]" of the first cell, 0 when there is none.
int recordNumber(const QString& firstCell)
{
    const qsizetype open = firstCell.indexOf(QLatin1Char('['));
    const qsizetype close = firstCell.indexOf(QLatin1Char(']'), open + 1);
    if (open < 0 || close < 0)
        return 0;
    bool ok = false;
    const int n = firstCell.mid(open + 1, close - open - 1).trimmed().toInt(&ok);
    return ok && n > 0 ? n : 0;
}

QString text(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }

IndexImportResult databaseError(IndexImportResult result)
{
    result.outcome = IndexImportOutcome::DatabaseError;
    result.rowsWritten = 0;
    result.message = QStringLiteral("Datenbankfehler beim Index-Import: ") + LastErrorText();
    return result;
}

QString meterText(const PortMeter& m)
{
    return QStringLiteral("Adr %1 LZNR %2 ZNr %3").arg(m.address.isNull() ? QStringLiteral("-") : m.address.toString())
        .arg(m.lznr)
        .arg(m.znr);
}

} // namespace

bool QueryPortMeters(SqlConnection& db, int port, int address, QList<PortMeter>& meters)
{
    meters.clear();
    QVariantList values{port};
    QString sql = kMeterQuery;
    if (address >= 0) {
        sql += kAddressCondition;
        values << address;
    }
    sql += kQueryEnd;
    QSqlQuery q;
    if (!db.query(q, sql, values))
        return false;
    while (q.next()) {
        PortMeter m;
        m.lznr = q.value(QStringLiteral("LZNR")).toLongLong();
        const QVariant adr = q.value(QStringLiteral("MBAdr"));
        if (!adr.isNull())
            m.address = adr.toInt();
        m.baud = q.value(QStringLiteral("MBBaud")).toInt();
        m.znr = text(q.value(QStringLiteral("ZNr")));
        m.name = text(q.value(QStringLiteral("ZNAME")));
        meters << m;
    }
    // The query has no order of its own; the run goes up the addresses.
    std::stable_sort(meters.begin(), meters.end(), [](const PortMeter& a, const PortMeter& b) {
        const int aa = a.address.isNull() ? -1 : a.address.toInt();
        const int ba = b.address.isNull() ? -1 : b.address.toInt();
        return aa != ba ? aa < ba : a.lznr < b.lznr;
    });
    return true;
}

QString IndexColumnForClient(const QString& client)
{
    return client.trimmed() == QLatin1String("2500") ? QStringLiteral("Index") : QStringLiteral("MBIndex");
}

IndexImportResult WriteIndexList(SqlConnection& db, const QString& client, qint64 lznr,
                                 const QList<QStringList>& resultRows)
{
    IndexImportResult result;
    result.lznr = lznr;
    const bool transactions = db.isOpen() && db.database().driver()->hasFeature(QSqlDriver::Transactions);
    if (transactions && !db.transaction())
        return databaseError(result);
    bool ok = db.exec(kDeleteIndexList, {lznr});
    const QString insert = insertIndexRow(IndexColumnForClient(client));
    for (const QStringList& row : resultRows) {
        if (!ok)
            break;
        if (row.value(0).trimmed().isEmpty())
            continue;
        const int record = recordNumber(row.value(0));
        if (record == 0)
            continue;
        ok = db.exec(insert, {lznr, record, row.value(2).trimmed().left(40), row.value(4).trimmed().left(15), true});
        if (ok)
            ++result.rowsWritten;
    }
    if (ok && transactions)
        ok = db.commit();
    if (!ok) {
        const QString why = LastErrorText();
        if (transactions)
            db.rollback();
        SetLastErrorText(why);
        return databaseError(result);
    }
    result.outcome = IndexImportOutcome::Imported;
    return result;
}

IndexImportResult ImportIndex(SqlConnection& db, const QString& client, int port, int primaryAddress, const QString& id,
                              const QList<QStringList>& resultRows)
{
    IndexImportResult result;
    if (port == 0 || id.trimmed().isEmpty() || primaryAddress == 353)
        return result;
    QList<PortMeter> meters;
    if (!QueryPortMeters(db, port, primaryAddress, meters))
        return databaseError(result);
    if (meters.size() != 1) {
        result.outcome = IndexImportOutcome::MeterNotFound;
        result.message = QStringLiteral("Zähler nicht gefunden");
        return result;
    }
    return WriteIndexList(db, client, meters.first().lznr, resultRows);
}

MeterRows RowsOfReading(const mbus::PrimaryReading& reading)
{
    MeterRows out;
    out.read = reading.telegrams > 0;
    if (out.read) {
        out.rows = reading.display.rows;
        return out;
    }
    if (!reading.message.isEmpty())
        out.error = reading.message;
    else if (reading.lastReceiveError != 0)
        out.error = MB_ReceiveErrorText(reading.lastReceiveError);
    else
        out.error = QStringLiteral("Keine Antwort");
    return out;
}

AllIndexResult ImportAllIndex(SqlConnection& db, const QString& client, int port, const AllIndexCallbacks& callbacks)
{
    AllIndexResult result;
    if (port == 0)
        return result;
    QList<PortMeter> meters;
    if (!QueryPortMeters(db, port, -1, meters)) {
        result.databaseError = true;
        result.message = QStringLiteral("Datenbankfehler beim Index-Import: ") + LastErrorText();
        return result;
    }
    result.meters = static_cast<int>(meters.size());
    if (meters.isEmpty()) {
        result.message = QStringLiteral("Zähler nicht gefunden");
        return result;
    }
    for (int i = 0; i < meters.size(); ++i) {
        if (callbacks.stopRequested && callbacks.stopRequested()) {
            result.cancelled = true;
            break;
        }
        const PortMeter& m = meters[i];
        QString line;
        const auto sameAddress = [&](const PortMeter& other) { return other.address == m.address; };
        if (m.address.isNull()) {
            line = QStringLiteral("Fehler ") + meterText(m) + QStringLiteral(": keine Primäradresse");
        } else if (std::count_if(meters.begin(), meters.end(), sameAddress) > 1) {
            line = QStringLiteral("Fehler ") + meterText(m) + QStringLiteral(": Adresse mehrfach vergeben");
        } else {
            const MeterRows reading = callbacks.readMeter ? callbacks.readMeter(m.address.toInt()) : MeterRows{};
            if (callbacks.stopRequested && callbacks.stopRequested()) {
                // Stopped while the meter was read: its answer may be cut short
                // or missing for that reason alone, so the meter keeps its list
                // and counts neither as imported nor as failed.
                result.cancelled = true;
                line = QStringLiteral("Abgebrochen ") + meterText(m);
                result.report << line;
                if (callbacks.progress)
                    callbacks.progress(i, result.meters, line);
                break;
            }
            if (reading.lineLost) {
                // What came before the loss may be a part of the meter's records only.
                result.lineLostAt = m.address;
                line = QStringLiteral("Leitung verloren ") + meterText(m) + QStringLiteral(": ") + reading.error;
                result.report << line;
                if (callbacks.progress)
                    callbacks.progress(i, result.meters, line);
                break;
            }
            if (!reading.read) {
                line = QStringLiteral("Fehler ") + meterText(m) + QStringLiteral(": ")
                    + (reading.error.isEmpty() ? QStringLiteral("Keine Antwort") : reading.error);
            } else {
                const IndexImportResult written = WriteIndexList(db, client, m.lznr, reading.rows);
                if (written.outcome != IndexImportOutcome::Imported) {
                    line = QStringLiteral("Fehler ") + meterText(m) + QStringLiteral(": ") + written.message;
                    result.databaseError = true;
                    result.message = written.message;
                } else {
                    line = QStringLiteral("Imp Idx ") + meterText(m)
                        + QStringLiteral(": %1 Werte").arg(written.rowsWritten);
                }
            }
        }
        if (line.startsWith(QLatin1String("Imp Idx")))
            ++result.imported;
        else
            ++result.failed;
        result.report << line;
        if (callbacks.progress)
            callbacks.progress(i + 1, result.meters, line);
        if (result.databaseError)
            break;
    }
    return result;
}

} // namespace kelvaro::testbench
