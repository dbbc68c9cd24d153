#include "migration/jetfile.h"

#include "migration/codepage.h"

#include <QDateTime>
#include <QStringDecoder>
#include <charconv>
#include <cmath>
#include <cstring>

#ifdef KELVARO_HAVE_MDB
// libmdb's header pulls in glib; it stays inside this file.
#include <mdbtools.h>
#endif

namespace kelvaro::migration {

QDateTime JetDateTime(double days)
{
    static const QDate epoch(1899, 12, 30);
    const double whole = std::trunc(days);
    // Whole milliseconds of the day, rounded so 0.5 days is exactly 12:00.
    qint64 ms = std::llround(std::fabs(days - whole) * 86400000.0);
    qint64 dayOffset = static_cast<qint64>(whole);
    if (ms >= 86400000) {
        ms -= 86400000;
        dayOffset += days < 0 ? -1 : 1;
    }
    return QDateTime(epoch.addDays(dayOffset), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

#ifdef KELVARO_HAVE_MDB

namespace {

// Room for the longest memo (65535 characters of up to three UTF-8 bytes).
constexpr size_t kBindSize = 256 * 1024;

JetType typeOf(int mdbType)
{
    switch (mdbType) {
    case MDB_BOOL: return JetType::Boolean;
    case MDB_BYTE: return JetType::Byte;
    case MDB_INT: return JetType::Integer;
    case MDB_LONGINT: return JetType::LongInteger;
    case MDB_MONEY: return JetType::Currency;
    case MDB_FLOAT: return JetType::Single;
    case MDB_DOUBLE: return JetType::Double;
    case MDB_DATETIME: return JetType::DateTime;
    case MDB_BINARY: return JetType::Binary;
    case MDB_TEXT: return JetType::Text;
    case MDB_OLE: return JetType::Ole;
    case MDB_MEMO: return JetType::Memo;
    case MDB_REPID: return JetType::ReplicationId;
    case MDB_NUMERIC: return JetType::Numeric;
    }
    return JetType::Unknown;
}

// Currency is a 64-bit count of ten-thousandths.
QString currencyText(qint64 units)
{
    const bool negative = units < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(units) : quint64(units);
    return QStringLiteral("%1%2.%3")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(magnitude / 10000)
        .arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
}

// A single as the double of its shortest decimal form: 0.15f becomes 0.15,
// as Access shows it, not 0.15000000596.
double singleAsDouble(float value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    *result.ptr = '\0';
    return std::strtod(text, nullptr);
}

template <typename T> T rawValue(const unsigned char* page, int start)
{
    T value;
    std::memcpy(&value, page + start, sizeof value);
    return value; // Jet files are little-endian, as every platform we build for
}

struct BoundTable {
    MdbTableDef* def = nullptr;
    std::vector<char*> buffers;
    std::vector<int> lengths;
    ~BoundTable()
    {
        for (char* b : buffers)
            g_free(b);
        if (def)
            mdb_free_tabledef(def);
    }
};

bool sizeFits(JetType type, int length)
{
    switch (type) {
    case JetType::Byte: return length >= 1;
    case JetType::Integer: return length >= 2;
    case JetType::LongInteger:
    case JetType::Single: return length >= 4;
    case JetType::Currency:
    case JetType::Double:
    case JetType::DateTime: return length >= 8;
    default: return true;
    }
}

} // namespace

struct JetFile::Handle {
    MdbHandle* mdb = nullptr;
    QList<MdbCatalogEntry*> tables;
    ~Handle()
    {
        if (mdb)
            mdb_close(mdb);
    }
};

JetFile::JetFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
JetFile::~JetFile() = default;

std::unique_ptr<JetFile> JetFile::open(const QString& path, QString& error)
{
    auto handle = std::make_unique<Handle>();
    const QByteArray name = path.toLocal8Bit();
    handle->mdb = mdb_open(name.constData(), MDB_NOFLAGS);
    if (!handle->mdb) {
        error = QStringLiteral("%1 ist keine lesbare Jet-Datenbank (Jet 3 oder Jet 4)").arg(path);
        return nullptr;
    }
    if (handle->mdb->f->jet_version > MDB_VER_JET4) {
        error = QStringLiteral("%1 ist eine Access-Datei ab 2007 (ACCDB); erwartet wird eine Jet-3- oder "
                               "Jet-4-Datei (MDB)").arg(path);
        return nullptr;
    }
    GPtrArray* catalog = mdb_read_catalog(handle->mdb, MDB_TABLE);
    if (!catalog) {
        error = QStringLiteral("%1: das Verzeichnis der Tabellen ist nicht lesbar (Datei beschädigt)").arg(path);
        return nullptr;
    }
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            handle->tables.append(entry);
    }
    mdb_set_bind_size(handle->mdb, kBindSize);
    return std::unique_ptr<JetFile>(new JetFile(std::move(handle)));
}

QString JetFile::versionText() const
{
    switch (handle_->mdb->f->jet_version) {
    case MDB_VER_JET3: return QStringLiteral("Jet 3");
    case MDB_VER_JET4: return QStringLiteral("Jet 4");
    }
    return QStringLiteral("Access %1").arg(handle_->mdb->f->jet_version);
}

QStringList JetFile::tableNames() const
{
    QStringList names;
    for (const MdbCatalogEntry* entry : handle_->tables)
        names << QString::fromUtf8(entry->object_name);
    return names;
}

bool JetFile::readTable(const QString& name, JetTable& table, QString& error, const JetRowSink& sink)
{
    MdbCatalogEntry* entry = nullptr;
    for (MdbCatalogEntry* e : handle_->tables)
        if (QString::fromUtf8(e->object_name) == name)
            entry = e;
    table = JetTable{};
    table.name = name;
    if (!entry) {
        error = QStringLiteral("Tabelle %1 fehlt in der Datei").arg(name);
        return false;
    }
    BoundTable bound;
    bound.def = mdb_read_table(entry);
    if (!bound.def || !mdb_read_columns(bound.def)) {
        error = QStringLiteral("Tabelle %1 ist nicht lesbar (Tabellendefinition beschädigt)").arg(name);
        return false;
    }
    MdbHandle* mdb = handle_->mdb;
    table.expectedRows = bound.def->num_rows;
    const bool codePageText = mdb->f->jet_version == MDB_VER_JET3;
    const unsigned columnCount = bound.def->num_cols;
    bound.buffers.assign(columnCount, nullptr);
    bound.lengths.assign(columnCount, 0);
    for (unsigned c = 0; c < columnCount; ++c) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(bound.def->columns, c));
        table.columns.append({QString::fromUtf8(col->name), typeOf(col->col_type), col->col_size, col->col_prec,
                              col->col_scale});
        bound.buffers[c] = static_cast<char*>(g_malloc0(kBindSize));
        mdb_bind_column(bound.def, int(c) + 1, bound.buffers[c], &bound.lengths[c]);
    }
    mdb_rewind_table(bound.def);

    auto problem = [&table](qint64 row, const JetColumn& column, const QString& text) {
        table.problems.append({table.name, row, column.name, text});
    };
    qint64 rowNumber = 0;
    std::vector<bool> decoded(columnCount);
    while (rowNumber <= table.expectedRows && mdb_fetch_row(bound.def)) {
        ++rowNumber;
        QVariantList row(columnCount);
        std::fill(decoded.begin(), decoded.end(), false);
        // Fixed-size values straight from the row on the data page, before
        // the long values below read other pages.
        for (unsigned c = 0; c < columnCount; ++c) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(bound.def->columns, c));
            const JetColumn& column = table.columns[c];
            const int start = col->cur_value_start;
            const int length = col->cur_value_len;
            const unsigned char* page = mdb->pg_buf;
            if (column.type == JetType::Boolean) {
                // Jet keeps a boolean as the row's null-mask bit; libmdb hands it over as
                // the value length, which is non-zero for No.
                row[c] = length == 0;
                continue;
            }
            if (length == 0)
                continue;
            if (!sizeFits(column.type, length) || start < 0 || start + length > int(sizeof mdb->pg_buf)) {
                problem(rowNumber, column, QStringLiteral("Wert hat %1 Bytes, passt nicht zum Typ").arg(length));
                continue;
            }
            switch (column.type) {
            case JetType::Byte: row[c] = int(page[start]); break;
            case JetType::Integer: row[c] = int(rawValue<qint16>(page, start)); break;
            case JetType::LongInteger: row[c] = int(rawValue<qint32>(page, start)); break;
            case JetType::Currency: row[c] = currencyText(rawValue<qint64>(page, start)); break;
            case JetType::Single: {
                const float f = rawValue<float>(page, start);
                if (std::isfinite(f))
                    row[c] = singleAsDouble(f);
                else
                    problem(rowNumber, column, QStringLiteral("keine endliche Zahl"));
                break;
            }
            case JetType::Double: {
                const double d = rawValue<double>(page, start);
                if (std::isfinite(d))
                    row[c] = d;
                else
                    problem(rowNumber, column, QStringLiteral("keine endliche Zahl"));
                break;
            }
            case JetType::Binary: row[c] = QByteArray(reinterpret_cast<const char*>(page + start), length); break;
            case JetType::Text: {
                // Jet 3 keeps texts in the code page; the library's conversion
                // loses the five bytes Windows-1252 leaves unassigned.
                if (!codePageText)
                    break;
                const QByteArrayView raw(reinterpret_cast<const char*>(page + start), length);
                const QList<char> unassigned = UnassignedCp1252Bytes(raw);
                if (unassigned.isEmpty())
                    break;
                row[c] = DecodeCp1252(raw);
                decoded[c] = true;
                for (char b : unassigned) {
                    const QString hex = QString::number(uchar(b), 16).toUpper();
                    problem(rowNumber, column, QStringLiteral("Byte 0x%1 ist in Windows-1252 nicht belegt, als U+00%1 "
                                                              "übernommen").arg(hex));
                }
                break;
            }
            case JetType::DateTime: {
                const double days = rawValue<double>(page, start);
                const QDateTime when = std::isfinite(days) ? JetDateTime(days) : QDateTime();
                // Jet's range: 1.1.100 to 31.12.9999.
                if (when.isValid() && when.date().year() >= 100 && when.date().year() <= 9999)
                    row[c] = when;
                else
                    problem(rowNumber, column, QStringLiteral("Datum außerhalb 1.1.100 - 31.12.9999 (%1)")
                                                   .arg(days, 0, 'g', 17));
                break;
            }
            default: break;
            }
        }
        for (unsigned c = 0; c < columnCount; ++c) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(bound.def->columns, c));
            const JetColumn& column = table.columns[c];
            switch (column.type) {
            case JetType::Text:
            case JetType::Memo:
            case JetType::ReplicationId:
            case JetType::Numeric:
            case JetType::Unknown: {
                if (col->cur_value_len == 0 || decoded[c])
                    break;
                const qsizetype length = qsizetype(strnlen(bound.buffers[c], kBindSize));
                if (length >= qsizetype(kBindSize) - 1)
                    problem(rowNumber, column, QStringLiteral("Text länger als %1 Bytes, gekürzt").arg(kBindSize));
                QStringDecoder utf8(QStringDecoder::Utf8);
                const QString text = utf8(QByteArrayView(bound.buffers[c], length));
                if (utf8.hasError())
                    problem(rowNumber, column, QStringLiteral("Zeichen nicht umsetzbar, durch \uFFFD ersetzt"));
                if (column.type == JetType::Unknown)
                    problem(rowNumber, column, QStringLiteral("unbekannter Spaltentyp, als Text übernommen"));
                row[c] = text;
                break;
            }
            case JetType::Ole: {
                if (col->cur_value_len == 0)
                    break;
                size_t size = 0;
                void* data = mdb_ole_read_full(mdb, col, &size);
                if (!data) {
                    problem(rowNumber, column, QStringLiteral("Binärwert nicht lesbar"));
                    break;
                }
                row[c] = QByteArray(static_cast<const char*>(data), qsizetype(size));
                g_free(data);
                break;
            }
            default: break;
            }
        }
        if (!sink) {
            table.rows.append(row);
        } else if (!sink(table, row)) {
            error = QStringLiteral("Tabelle %1: Lesen abgebrochen").arg(name);
            return false;
        }
    }
    return true;
}

bool JetSupportBuilt() { return true; }

#else

struct JetFile::Handle {};
JetFile::JetFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
JetFile::~JetFile() = default;

std::unique_ptr<JetFile> JetFile::open(const QString& path, QString& error)
{
    error = QStringLiteral("dieses Programm wurde ohne Jet-Unterstützung (libmdb) gebaut; %1 ist nicht lesbar")
                .arg(path);
    return nullptr;
}
QString JetFile::versionText() const { return {}; }
QStringList JetFile::tableNames() const { return {}; }
bool JetFile::readTable(const QString&, JetTable&, QString& error, const JetRowSink&)
{
    error = QStringLiteral("ohne Jet-Unterstützung gebaut");
    return false;
}
bool JetSupportBuilt() { return false; }

#endif

} // namespace kelvaro::migration
