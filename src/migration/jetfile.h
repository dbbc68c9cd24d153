#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

namespace kelvaro::migration {

// Column types of a Jet table, as the file stores them.
enum class JetType { Boolean, Byte, Integer, LongInteger, Currency, Single, Double, DateTime, Binary, Text, Ole, Memo,
                     ReplicationId, Numeric, Unknown };

struct JetColumn {
    QString name;
    JetType type = JetType::Unknown;
    int size = 0;      // bytes as stored (Text: characters)
    int precision = 0; // Numeric only
    int scale = 0;
};

// A value that could not be taken over, by row (counted from 1) and column.
struct JetProblem {
    QString table;
    qint64 row = 0;
    QString column;
    QString text;
};

// One table read whole. Values by type: Boolean bool; Byte, Integer,
// LongInteger int; Single and Double double; Currency and Numeric the exact
// decimal as text ("14.0000"); DateTime a QDateTime without time zone (wall
// clock, as Jet keeps it); Binary and Ole QByteArray; Text, Memo and
// ReplicationId QString. A missing value is a null QVariant.
struct JetTable {
    QString name;
    QList<JetColumn> columns;
    QList<QVariantList> rows;
    QList<JetProblem> problems;
    // The rows the table definition counts (-1 before it is read). Rows read
    // that differ from it mean a damaged file.
    qint64 expectedRows = -1;
};

// Takes each row as it is read (with `table` holding the name, the columns
// and the count of the definition); false stops the reading with an error.
using JetRowSink = std::function<bool(const JetTable& table, QVariantList& row)>;

// A Jet 3 or Jet 4 file ("basis.mdb"), opened read-only.
class JetFile {
public:
    ~JetFile();
    JetFile(const JetFile&) = delete;
    JetFile& operator=(const JetFile&) = delete;

    // Null and `error` set when the file is missing, unreadable or no Jet file.
    static std::unique_ptr<JetFile> open(const QString& path, QString& error);

    // "Jet 3", "Jet 4", "Access 2007" ...
    QString versionText() const;
    // The user tables in catalogue order (system tables left out).
    QStringList tableNames() const;
    // False with `error` when the table cannot be read at all. With a sink
    // the rows go there instead of into `table.rows`. Reading stops after
    // one row more than the definition counts.
    bool readTable(const QString& name, JetTable& table, QString& error, const JetRowSink& sink = {});

private:
    struct Handle;
    explicit JetFile(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> handle_;
};

// A Jet date (days since 30.12.1899, the fraction the time of day; before
// that day the fraction still counts forwards) as date and time.
QDateTime JetDateTime(double days);

// Whether this build reads Jet files at all (the library is optional on
// platforms that lack it).
bool JetSupportBuilt();

} // namespace kelvaro::migration
