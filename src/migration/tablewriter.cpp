#include "migration/tablewriter.h"

#include "data/dbconnection.h"
#include "data/schema.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>
#include <limits>

namespace kelvaro::migration {

namespace {

const QString kDateTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QStringList schemaTables()
{
    static const QStringList names = [] {
        QStringList list;
        static const QRegularExpression create(QStringLiteral("CREATE TABLE IF NOT EXISTS (\\w+)"));
        for (auto it = create.globalMatch(SchemaText()); it.hasNext();)
            list << it.next().captured(1);
        return list;
    }();
    return names;
}

// Older installations name the export list's index column "Index".
QString aliasFor(const QString& schemaTable, const QString& jetColumn)
{
    if (schemaTable == QLatin1String("MBusIndexListe") && jetColumn.compare(QLatin1String("Index"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("MBIndex");
    return {};
}

QString columnType(const JetColumn& column, SqlDialect dialect)
{
    const bool pg = dialect == SqlDialect::PostgreSQL;
    switch (column.type) {
    case JetType::Boolean: return QStringLiteral("BOOLEAN");
    case JetType::Byte:
    case JetType::Integer: return QStringLiteral("SMALLINT");
    case JetType::LongInteger: return QStringLiteral("INTEGER");
    // SQLite keeps only 15 digits of a number: exact decimals stay text there.
    case JetType::Currency: return pg ? QStringLiteral("NUMERIC(19,4)") : QStringLiteral("TEXT");
    case JetType::Single: return QStringLiteral("REAL");
    case JetType::Double: return QStringLiteral("DOUBLE PRECISION");
    case JetType::DateTime: return QStringLiteral("TIMESTAMP");
    case JetType::Binary:
    case JetType::Ole: return pg ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
    case JetType::Text: return QStringLiteral("VARCHAR(%1)").arg(std::max(column.size, 1));
    case JetType::ReplicationId: return QStringLiteral("VARCHAR(38)");
    case JetType::Numeric:
        if (!pg)
            return QStringLiteral("TEXT");
        return QStringLiteral("NUMERIC(%1,%2)").arg(std::clamp(column.precision, 1, 28)).arg(std::max(column.scale, 0));
    case JetType::Memo:
    case JetType::Unknown: return QStringLiteral("TEXT");
    }
    return QStringLiteral("TEXT");
}

// The value as text for a text column.
QString asText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double: return QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QDateTime: return value.toDateTime().toString(kDateTimeFormat);
    default: return value.toString();
    }
}

bool textToDouble(const QString& text, double& out)
{
    bool ok = false;
    out = text.trimmed().toDouble(&ok);
    if (!ok) // German spelling "12,5"
        out = QString(text.trimmed()).replace(',', '.').toDouble(&ok);
    return ok && std::isfinite(out);
}

struct Target {
    QString name;
    QMetaType::Type type = QMetaType::QString;
    int length = -1; // characters, where the engine keeps a limit
};

// Converts `value` for the target column; false with `why` when it cannot.
bool convert(const QVariant& value, const Target& target, QVariant& out, QString& why)
{
    if (value.isNull()) {
        out = QVariant();
        return true;
    }
    switch (target.type) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        double d = 0;
        if (value.typeId() == QMetaType::Bool)
            d = value.toBool() ? -1 : 0; // Jet's True
        else if (value.typeId() == QMetaType::QDateTime) {
            why = QStringLiteral("Datum in ganzzahliger Spalte");
            return false;
        } else if (!textToDouble(asText(value), d)) {
            why = QStringLiteral("keine Zahl: ") + asText(value).left(40);
            return false;
        }
        if (d != std::trunc(d) || std::fabs(d) > 9.2e18) {
            why = QStringLiteral("keine ganze Zahl: ") + asText(value);
            return false;
        }
        out = static_cast<qint64>(d);
        return true;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        double d = 0;
        if (value.typeId() == QMetaType::Bool)
            d = value.toBool() ? -1 : 0;
        else if (value.typeId() == QMetaType::QDateTime || !textToDouble(asText(value), d)) {
            why = QStringLiteral("keine Zahl: ") + asText(value).left(40);
            return false;
        }
        out = d;
        return true;
    }
    case QMetaType::Bool: {
        if (value.typeId() == QMetaType::Bool) {
            out = value.toBool();
            return true;
        }
        const QString text = asText(value).trimmed();
        double d = 0;
        if (textToDouble(text, d)) {
            out = d != 0;
            return true;
        }
        static const QStringList yes = {"true", "wahr", "ja", "yes"};
        static const QStringList no = {"false", "falsch", "nein", "no"};
        if (yes.contains(text.toLower()) || no.contains(text.toLower())) {
            out = yes.contains(text.toLower());
            return true;
        }
        why = QStringLiteral("kein Ja/Nein-Wert: ") + text.left(40);
        return false;
    }
    case QMetaType::QByteArray:
        out = value.typeId() == QMetaType::QByteArray ? value.toByteArray() : asText(value).toUtf8();
        return true;
    default: break;
    }
    // Text, and time stamps, which both engines take as "yyyy-MM-dd hh:mm:ss".
    if (value.typeId() == QMetaType::QByteArray) {
        why = QStringLiteral("Binärwert in Textspalte");
        return false;
    }
    QString text = asText(value);
    if (target.length > 0 && text.size() > target.length) {
        why = QStringLiteral("Text mit %1 Zeichen, Spalte fasst %2; gekürzt").arg(text.size()).arg(target.length);
        out = text.left(target.length);
        return false;
    }
    out = text;
    return true;
}

QMetaType::Type metaTypeFor(const JetColumn& column)
{
    switch (column.type) {
    case JetType::Boolean: return QMetaType::Bool;
    case JetType::Byte:
    case JetType::Integer:
    case JetType::LongInteger: return QMetaType::LongLong;
    case JetType::Single:
    case JetType::Double: return QMetaType::Double;
    case JetType::Binary:
    case JetType::Ole: return QMetaType::QByteArray;
    default: return QMetaType::QString; // currency and numeric keep their exact decimal
    }
}

class Writer {
public:
    Writer(SqlConnection& connection, const JetTable& table, QList<JetProblem>& problems, bool ownTransaction)
        : c_(connection), db_(connection.database()), table_(table), problems_(problems),
          problemsBefore_(problems.size()), ownTransaction_(ownTransaction)
    {
    }

    TableResult run()
    {
        result_.source = table_.name;
        result_.rowsRead = table_.rows.size();
        const QString schema = SchemaTableFor(table_.name);
        result_.schemaTable = !schema.isEmpty();
        result_.target = result_.schemaTable ? schema : table_.name;
        if (ownTransaction_ && !c_.transaction())
            return fail(QStringLiteral("Transaktion: ") + db_.lastError().text());
        const bool prepared = result_.schemaTable ? prepareSchemaTable() : recreateTable();
        if (!prepared || !insertRows() || !finishIdentity()) {
            if (ownTransaction_)
                c_.rollback();
            result_.rowsWritten = 0;
            result_.addedColumns.clear();
            problems_.erase(problems_.begin() + problemsBefore_, problems_.end());
            return result_;
        }
        if (ownTransaction_ && !c_.commit()) {
            c_.rollback();
            result_.rowsWritten = 0;
            return fail(QStringLiteral("Commit: ") + db_.lastError().text());
        }
        result_.written = true;
        return result_;
    }

private:
    TableResult fail(const QString& error)
    {
        result_.error = error;
        return result_;
    }

    bool exec(const QString& sql)
    {
        QSqlQuery q(db_);
        if (q.exec(sql))
            return true;
        result_.error = q.lastError().text() + QStringLiteral(" (") + sql.left(200) + QLatin1Char(')');
        return false;
    }

    QString quoted(const QString& name) const { return QuoteIdentifier(name, c_.dialect()); }

    QString targetTableSql() const { return TargetTableSql(result_.target, c_.dialect()); }

    // The table's columns with the types values must be converted to.
    QHash<QString, Target> existingColumns()
    {
        QHash<QString, Target> existing;
        if (c_.dialect() == SqlDialect::SQLite) {
            // QSQLite's record types only know a few spellings; SQLite's own
            // affinity rules on the declared type decide.
            QSqlQuery q(db_);
            q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(result_.target)));
            while (q.next()) {
                const QString name = q.value(1).toString();
                existing.insert(name.toLower(), {name, typeOfDeclared(q.value(2).toString()), -1});
            }
            return existing;
        }
        // The station's tables are folded to lower case there.
        const QSqlRecord record = db_.record(result_.target.toLower());
        for (int i = 0; i < record.count(); ++i) {
            const QSqlField field = record.field(i);
            const auto type = QMetaType::Type(field.metaType().id());
            // A time stamp goes in as text, as the station writes it.
            existing.insert(field.name().toLower(),
                            {field.name(), type == QMetaType::QDateTime ? QMetaType::QString : type,
                             type == QMetaType::QString ? field.length() : -1});
        }
        return existing;
    }

    static QMetaType::Type typeOfDeclared(const QString& declared)
    {
        const QString t = declared.toUpper();
        if (t.contains(QLatin1String("BOOL")))
            return QMetaType::Bool;
        if (t.contains(QLatin1String("INT")))
            return QMetaType::LongLong;
        if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")))
            return QMetaType::Double;
        if (t.contains(QLatin1String("BLOB")))
            return QMetaType::QByteArray;
        return QMetaType::QString;
    }

    bool prepareSchemaTable()
    {
        QHash<QString, Target> existing = existingColumns();
        QSet<QString> jetNames;
        for (const JetColumn& column : table_.columns)
            jetNames.insert(column.name.toLower());
        for (const JetColumn& column : table_.columns) {
            QString key = column.name.toLower();
            const QString alias = aliasFor(result_.target, column.name);
            if (!existing.contains(key) && !alias.isEmpty() && !jetNames.contains(alias.toLower()))
                key = alias.toLower();
            if (!existing.contains(key)) {
                if (!exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                              .arg(targetTableSql(), quoted(column.name), columnType(column, c_.dialect()))))
                    return false;
                result_.addedColumns << column.name;
                existing.insert(key, {c_.dialect() == SqlDialect::PostgreSQL ? column.name.toLower() : column.name,
                                      metaTypeFor(column), -1});
            }
            targets_.append(existing.value(key));
        }
        return exec(QStringLiteral("DELETE FROM ") + targetTableSql());
    }

    bool recreateTable()
    {
        QStringList definitions;
        for (const JetColumn& column : table_.columns) {
            definitions << quoted(column.name) + ' ' + columnType(column, c_.dialect());
            targets_.append({c_.dialect() == SqlDialect::PostgreSQL ? column.name.toLower() : column.name,
                             metaTypeFor(column), -1});
        }
        return exec(QStringLiteral("DROP TABLE IF EXISTS ") + targetTableSql())
               && exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(targetTableSql(), definitions.join(QStringLiteral(", "))));
    }

    bool insertRows()
    {
        if (targets_.isEmpty())
            return true;
        QStringList names;
        for (const Target& t : targets_)
            names << quoted(t.name);
        QSqlQuery insert(db_);
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(targetTableSql(), names.join(QStringLiteral(", ")),
                                     QStringList(targets_.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
        if (!insert.prepare(sql)) {
            result_.error = insert.lastError().text();
            return false;
        }
        for (qsizetype r = 0; r < table_.rows.size(); ++r) {
            const QVariantList& row = table_.rows[r];
            for (qsizetype k = 0; k < targets_.size(); ++k) {
                QVariant value;
                QString why;
                if (!convert(row.value(k), targets_[k], value, why))
                    problems_.append({table_.name, r + 1, table_.columns[k].name, why});
                insert.bindValue(int(k), value.isNull() ? QVariant(QMetaType(targets_[k].type)) : value);
            }
            if (!insert.exec()) {
                result_.error = QStringLiteral("Zeile %1: %2").arg(r + 1).arg(insert.lastError().text());
                return false;
            }
            ++result_.rowsWritten;
        }
        return true;
    }

    // Keys taken over into an identity column: the next new meter must get
    // a key after them.
    bool finishIdentity()
    {
        if (c_.dialect() != SqlDialect::PostgreSQL || result_.target != QLatin1String("zaehler"))
            return true;
        return exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('zaehler', 'lznr'), "
                                   "COALESCE((SELECT MAX(lznr) FROM zaehler), 0) + 1, false)"));
    }

    SqlConnection& c_;
    QSqlDatabase db_;
    const JetTable& table_;
    QList<JetProblem>& problems_;
    qsizetype problemsBefore_ = 0;
    bool ownTransaction_ = true;
    QList<Target> targets_;
    TableResult result_;
};

} // namespace

QString SchemaTableFor(const QString& jetTable)
{
    for (const QString& name : schemaTables())
        if (name.compare(jetTable, Qt::CaseInsensitive) == 0)
            return name;
    return {};
}

TableResult WriteJetTable(SqlConnection& connection, const JetTable& table, QList<JetProblem>& problems)
{
    return Writer(connection, table, problems, true).run();
}

TableResult WriteJetTableWithin(SqlConnection& connection, const JetTable& table, QList<JetProblem>& problems)
{
    return Writer(connection, table, problems, false).run();
}

QString TargetTableSql(const QString& target, SqlDialect dialect)
{
    // The station's tables are created unquoted (folded on PostgreSQL).
    return SchemaTableFor(target) == target ? target : QuoteIdentifier(target, dialect);
}

} // namespace kelvaro::migration
