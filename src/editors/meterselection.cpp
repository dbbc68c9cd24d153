#include "editors/meterselection.h"

#include "data/dbconnection.h"
#include "editors/typedinput.h"
#include "foundation/lasterror.h"
#include "foundation/textutil.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>

namespace kelvaro {
namespace {

// Its own connection name: a caller that has an editor operation open while
// the dialog runs keeps its connection.
const QString kConnectionName = QStringLiteral("kelvaro.editor.select");
const QString kFieldSeparator = QStringLiteral(" : ");

bool fail(const QString& text)
{
    SetLastErrorText(text);
    return false;
}

bool isIntegerType(int type)
{
    switch (type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isFloatType(int type) { return type == QMetaType::Double || type == QMetaType::Float; }

enum class FieldKind { Integer, Double, Text };

struct TableField {
    QString name; // as the table spells it
    FieldKind kind = FieldKind::Text;
};

// SQLite's column affinity from the declared type. QtSql's record of an SQLite
// table knows only a few type names ("DOUBLE PRECISION" and "SMALLINT" come
// back as texts), and a number bound as text into them would stay a text.
FieldKind sqliteKind(const QString& declared, FieldKind fromRecord)
{
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("INT")))
        return FieldKind::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")))
        return FieldKind::Text;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB"))
        || t.contains(QLatin1String("NUMERIC")) || t.contains(QLatin1String("DECIMAL")))
        return FieldKind::Double;
    return fromRecord;
}

// The fields of a table by lower-case name; empty when it has none.
QHash<QString, TableField> tableFields(SqlConnection& db, const QString& table)
{
    QHash<QString, TableField> fields;
    const QString name = db.dialect() == SqlDialect::PostgreSQL ? table.toLower() : table;
    const QSqlRecord record = db.database().record(name);
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField field = record.field(i);
        const int type = field.metaType().id();
        TableField f{field.name(), isIntegerType(type) ? FieldKind::Integer
                                   : isFloatType(type) ? FieldKind::Double
                                                       : FieldKind::Text};
        fields.insert(field.name().toLower(), f);
    }
    if (db.dialect() == SqlDialect::SQLite && !fields.isEmpty()) {
        QSqlQuery info(db.database());
        // The table name is one the database listed (checked by the caller).
        if (info.exec(QStringLiteral("PRAGMA table_info(\"") + QString(table).replace('"', "\"\"")
                      + QStringLiteral("\")"))) {
            while (info.next()) {
                const QString key = info.value(1).toString().toLower();
                if (fields.contains(key))
                    fields[key].kind = sqliteKind(info.value(2).toString(), fields[key].kind);
            }
        }
    }
    return fields;
}

QString bracketed(const QString& name) { return '[' + name + ']'; }

QVariant keyParameter(double keyValue)
{
    if (std::isfinite(keyValue) && keyValue == std::floor(keyValue) && std::fabs(keyValue) < 9.0e15)
        return QVariant::fromValue(static_cast<qlonglong>(keyValue));
    return keyValue;
}

QString unbracket(QString name)
{
    name = name.trimmed();
    if (name.size() >= 2
        && ((name.startsWith('[') && name.endsWith(']')) || (name.startsWith('"') && name.endsWith('"'))
            || (name.startsWith('`') && name.endsWith('`'))))
        return name.mid(1, name.size() - 2);
    return name;
}

// The last name of a (possibly qualified) column reference: "zaehler.[ZNR]" -> "ZNR".
QString lastNamePart(const QString& item)
{
    int depth = 0;
    qsizetype dot = -1;
    QChar quote;
    for (qsizetype i = 0; i < item.size(); ++i) {
        const QChar c = item[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == '[') {
            quote = ']';
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == '.' && depth == 0) {
            dot = i;
        }
    }
    return unbracket(item.mid(dot + 1));
}

} // namespace

void SelectionListModel::setLeftAlignedColumns(int count)
{
    if (count == leftAligned_)
        return;
    leftAligned_ = count;
    if (rowCount() > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::TextAlignmentRole});
}

QVariant SelectionListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::TextAlignmentRole || !index.isValid())
        return GridModel::data(index, role);
    if (index.column() < leftAligned_ || !IsNumericGerman(cell(index.row(), index.column())))
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
}

QVariant SelectionEditModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::TextAlignmentRole || !index.isValid())
        return GridModel::data(index, role);
    return QVariant::fromValue((index.column() == 0 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
}

QString FormatThousands2(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    const QString plain = QString::number(std::fabs(value), 'f', 2);
    const qsizetype point = plain.indexOf('.');
    const QString digits = plain.left(point);
    QString grouped;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += '.';
        grouped += digits[i];
    }
    const QString text = grouped + ',' + plain.mid(point + 1);
    // "-0,00" is shown as "0,00", as the format does.
    return value < 0 && text != QLatin1String("0,00") ? '-' + text : text;
}

QString SelectionCellText(const QVariant& value)
{
    if (value.isNull())
        return {};
    const int type = value.metaType().id();
    if (isFloatType(type))
        return FormatThousands2(value.toDouble());
    if (type == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    if (type == QMetaType::QDate)
        return value.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    return value.toString();
}

QStringList SelectListNames(const QString& sql)
{
    static const QRegularExpression select(QStringLiteral(R"(^\s*SELECT\s+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    const auto start = select.match(sql);
    if (!start.hasMatch())
        return {};
    QStringList items;
    QString current;
    int depth = 0;
    QChar quote;
    const qsizetype n = sql.size();
    qsizetype i = start.capturedEnd();
    for (; i < n; ++i) {
        const QChar c = sql[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == '[') {
            quote = ']';
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (depth == 0 && c == ',') {
            items << current;
            current.clear();
            continue;
        } else if (depth == 0 && (i == 0 || !sql[i - 1].isLetterOrNumber()) && sql.mid(i, 4).compare(QLatin1String("FROM"), Qt::CaseInsensitive) == 0
                   && (i + 4 >= n || !(sql[i + 4].isLetterOrNumber() || sql[i + 4] == '_'))) {
            break;
        }
        current += c;
    }
    items << current;

    static const QRegularExpression prefix(
        QStringLiteral(R"(^\s*(?:(?:DISTINCTROW|DISTINCT|ALL)\s+)?(?:TOP\s+\d+\s+(?:PERCENT\s+)?)?)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression alias(QStringLiteral(R"(\s+AS\s+(\[[^\]]*\]|"[^"]*"|\w+)\s*$)"),
                                          QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (qsizetype k = 0; k < items.size(); ++k) {
        QString item = items[k];
        if (k == 0)
            item.remove(prefix);
        item = item.trimmed();
        const auto a = alias.match(item);
        names << (a.hasMatch() ? unbracket(a.captured(1)) : lastNamePart(item));
    }
    return names;
}

int Speichern(SqlConnection& db, const QString& source, const QString& keyField, double keyValue,
              const GridModel& edit, QVariant* newKey)
{
    if (!db.isOpen())
        return fail(QStringLiteral("Datenbank ist nicht geöffnet")), 1;
    if (source.trimmed().isEmpty() || !db.tableExists(source.trimmed()))
        return fail(QStringLiteral("Tabelle >") + source + QStringLiteral("< nicht gefunden")), 1;
    const QHash<QString, TableField> fields = tableFields(db, source.trimmed());
    const auto key = fields.constFind(keyField.trimmed().toLower());
    if (key == fields.cend())
        return fail(QStringLiteral("Schlüsselfeld >") + keyField + QStringLiteral("< fehlt in ") + source), 1;

    QStringList names;
    QVariantList values;
    for (int row = 0; row < edit.rowCount(); ++row) {
        QString name = edit.cell(row, 0);
        const qsizetype end = name.indexOf(kFieldSeparator);
        if (end >= 0)
            name = name.left(end);
        const auto field = fields.constFind(name.trimmed().toLower());
        if (field == fields.cend() || field->name.contains(']'))
            return fail(QStringLiteral("Feld >") + name + QStringLiteral("< fehlt in ") + source), 1;
        const QString text = edit.cell(row, 1);
        names << bracketed(field->name);
        // Numbers are taken as typed or refused; an empty cell stores no value.
        const auto number = ReadDecimalNumber(text);
        const bool empty = text.trimmed().isEmpty();
        if (field->kind != FieldKind::Text && !empty
            && (!number || (field->kind == FieldKind::Integer && *number != std::trunc(*number))))
            return fail(QStringLiteral("Feld >") + name.trimmed() + QStringLiteral("< : \"") + text
                        + (field->kind == FieldKind::Integer ? QStringLiteral("\" ist keine ganze Zahl")
                                                             : QStringLiteral("\" ist keine Zahl"))),
                   1;
        switch (field->kind) {
        case FieldKind::Integer:
            values << (empty ? QVariant() : QVariant::fromValue(static_cast<qlonglong>(std::llround(*number))));
            break;
        case FieldKind::Double:
            values << (empty ? QVariant() : QVariant(*number));
            break;
        case FieldKind::Text:
            values << text;
            break;
        }
    }

    const QString table = bracketed(source.trimmed());
    const QString where = QStringLiteral(" WHERE ") + bracketed(key->name) + QStringLiteral(" = ?");
    if (!db.transaction())
        return 1;
    const QVariant found = db.scalar(QStringLiteral("SELECT COUNT(*) FROM ") + table + where, {keyParameter(keyValue)});
    bool ok = found.isValid();
    if (ok && found.toLongLong() > 0) {
        if (!names.isEmpty()) {
            QVariantList bound = values;
            bound << keyParameter(keyValue);
            ok = db.exec(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + names.join(QStringLiteral(" = ?, "))
                             + QStringLiteral(" = ?") + where,
                         bound);
        }
    } else if (ok) {
        const QString columns = names.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                                                : QStringLiteral(" (") + names.join(QStringLiteral(", "))
                                                      + QStringLiteral(") VALUES (")
                                                      + QStringList(names.size(), QStringLiteral("?")).join(", ") + ')';
        QSqlQuery insert;
        ok = db.query(insert, QStringLiteral("INSERT INTO ") + table + columns + QStringLiteral(" RETURNING ")
                                  + bracketed(key->name),
                      values);
        if (ok && newKey)
            *newKey = insert.next() ? insert.value(0) : QVariant();
    }
    if (!ok) {
        const QString reason = LastErrorText();
        db.rollback();
        SetLastErrorText(reason);
        return 1;
    }
    return db.commit() ? 0 : 1;
}

MeterSelection::MeterSelection(EditorDatabaseSettings database, QObject* parent)
    : QObject(parent)
    , database_(std::move(database))
{
}

bool MeterSelection::ListeLaden(const QString& sql)
{
    keyField_ = QStringLiteral("BNr");
    QStringList headers;
    QList<QStringList> rows;
    {
        EditorDatabase db(database_, kConnectionName);
        QSqlQuery query;
        if (!db.isOpen() || !db.connection().query(query, sql)) {
            lastError_ = EditorDatabaseMessage(database_, db.errorText());
            return false;
        }
        // PostgreSQL names unquoted columns in lower case: the statement's
        // own spelling is shown where it names the same column.
        const QSqlRecord record = query.record();
        const QStringList written = SelectListNames(sql);
        for (int i = 0; i < record.count(); ++i) {
            const QString name = record.fieldName(i);
            const bool same = written.size() == record.count() && written[i].compare(name, Qt::CaseInsensitive) == 0;
            headers << (same ? written[i] : name);
        }
        while (query.next()) {
            QStringList cells;
            for (int i = 0; i < record.count(); ++i)
                cells << SelectionCellText(query.value(i));
            rows << cells;
        }
        if (query.lastError().isValid()) {
            lastError_ = EditorDatabaseMessage(database_, query.lastError().text());
            return false;
        }
    }
    list_.setLeftAlignedColumns(0);
    list_.clearRows();
    list_.setHeaders(headers);
    for (const QStringList& cells : rows)
        list_.appendRow(cells);
    if (hasData())
        list_.setLeftAlignedColumns(8);
    lastError_.clear();
    return true;
}

int MeterSelection::find(const QString& text, int currentRow, const QList<int>& columns) const
{
    const int start = text.size() == 1 ? 0 : std::max(0, currentRow + 1);
    for (int row = start; row < list_.rowCount(); ++row)
        for (int column : columns)
            if (list_.cell(row, column).contains(text, Qt::CaseInsensitive))
                return row;
    return -1;
}

void MeterSelection::InitEditGrid(int row)
{
    edit_.clearRows();
    edit_.setHeaders({QString(), QString()});
    for (int column = 1; column < list_.columnCount(); ++column)
        edit_.appendRow({list_.headers().value(column) + kFieldSeparator, list_.cell(row, column)});
}

double MeterSelection::keyOf(int row) const
{
    const QString text = list_.cell(row, 0);
    double value = 0;
    return IsNumericGerman(text, &value) ? value : Val(text);
}

void MeterSelection::beginEdit(int row)
{
    keyValue_ = keyOf(row);
    InitEditGrid(row);
}

int MeterSelection::beginNewRow()
{
    list_.appendRow({});
    const int row = list_.rowCount() - 1;
    mode_ = QStringLiteral("neu");
    beginEdit(row);
    return row;
}

void MeterSelection::cancelEdit()
{
    if (mode_ == QLatin1String("neu") && list_.rowCount() > 0)
        list_.removeRowsFrom(list_.rowCount() - 1);
    mode_.clear();
}

MeterSelection::SaveResult MeterSelection::save(int row)
{
    for (int i = 0; i < edit_.rowCount() && row >= 0 && row < list_.rowCount(); ++i)
        list_.setCell(row, i + 1, edit_.cell(i, 1));
    if (keyField_.isEmpty())
        return SaveResult::NoKeyField;
    keyValue_ = keyOf(row);
    QVariant newKey;
    {
        EditorDatabase db(database_, kConnectionName);
        if (!db.isOpen() || Speichern(db.connection(), recordSource_, keyField_, keyValue_, edit_, &newKey) != 0) {
            lastError_ = db.errorText();
            return SaveResult::Failed;
        }
    }
    if (newKey.isValid() && !newKey.isNull()) {
        list_.setCell(row, 0, SelectionCellText(newKey));
        keyValue_ = keyOf(row);
    }
    // The new row is stored now: a later Abbrechen must not take it away.
    if (mode_ == QLatin1String("neu"))
        mode_.clear();
    changed_ = true;
    lastError_.clear();
    return SaveResult::Saved;
}

} // namespace kelvaro
