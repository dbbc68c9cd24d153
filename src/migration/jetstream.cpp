#include "migration/jetstream.h"

#include <QDataStream>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace kelvaro::migration {

// The payloads' pieces (found by argument lookup from QList's operators).
QDataStream& operator<<(QDataStream& s, const JetColumn& c)
{
    return s << c.name << qint32(c.type) << qint32(c.size) << qint32(c.precision) << qint32(c.scale);
}
QDataStream& operator>>(QDataStream& s, JetColumn& c)
{
    qint32 type = 0, size = 0, precision = 0, scale = 0;
    s >> c.name >> type >> size >> precision >> scale;
    c.type = JetType(type);
    c.size = size;
    c.precision = precision;
    c.scale = scale;
    return s;
}
QDataStream& operator<<(QDataStream& s, const JetProblem& p) { return s << p.table << p.row << p.column << p.text; }
QDataStream& operator>>(QDataStream& s, JetProblem& p) { return s >> p.table >> p.row >> p.column >> p.text; }

namespace {

constexpr auto kStreamVersion = QDataStream::Qt_6_4;
constexpr qint64 kMaxFrame = 256LL * 1024 * 1024;
constexpr qsizetype kRowChunkBytes = 1024 * 1024;

enum Frame : char { Version = 'V', Failure = 'X', TableNamed = 'N', TableStart = 'T', Rows = 'R', TableEnd = 'E', Done = 'D' };

class FrameWriter {
public:
    explicit FrameWriter(QIODevice& out) : out_(out) {}
    bool ok() const { return ok_; }

    template <typename... Values> void send(Frame kind, const Values&... values)
    {
        QByteArray payload;
        QDataStream s(&payload, QIODevice::WriteOnly);
        s.setVersion(kStreamVersion);
        if constexpr (sizeof...(values) > 0)
            (s << ... << values);
        sendRaw(kind, payload);
    }

    void sendRaw(Frame kind, const QByteArray& payload)
    {
        QByteArray frame(5, '\0');
        qToLittleEndian<quint32>(quint32(payload.size() + 1), frame.data());
        frame[4] = kind;
        frame += payload;
        for (qsizetype done = 0; ok_ && done < frame.size();) {
            const qint64 n = out_.write(frame.constData() + done, frame.size() - done);
            ok_ = n > 0;
            done += n;
        }
    }

private:
    QIODevice& out_;
    bool ok_ = true;
};

// A reader's crash leaves no core file in the installation directory.
void disableCoreDumps()
{
#ifdef Q_OS_UNIX
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
#endif
#ifdef Q_OS_LINUX
    prctl(PR_SET_DUMPABLE, 0);
#endif
}

class FrameReader {
public:
    JetReading reading;
    bool done = false;

    // Takes what arrived; false when the stream breaks its bounds.
    bool take(const QByteArray& bytes)
    {
        buffer_ += bytes;
        while (buffer_.size() >= 4) {
            const quint32 length = qFromLittleEndian<quint32>(buffer_.constData());
            if (length == 0 || length > kMaxFrame)
                return broken(QStringLiteral("ungültiger Block von %1 Bytes").arg(length));
            if (buffer_.size() < 4 + qsizetype(length))
                return true;
            const char kind = buffer_[4];
            QDataStream s(buffer_.mid(5, length - 1));
            s.setVersion(kStreamVersion);
            buffer_.remove(0, 4 + length);
            if (!frame(kind, s))
                return false;
            if (s.status() != QDataStream::Ok)
                return broken(QStringLiteral("unvollständiger Block"));
        }
        return true;
    }

    bool hasPartialFrame() const { return !buffer_.isEmpty(); }
    const JetTable* currentTable() const { return inTable_ ? &reading.tables.last() : nullptr; }

private:
    bool broken(const QString& why)
    {
        reading.error = QStringLiteral("Lesen der Jet-Datei gestört: ") + why;
        return false;
    }

    bool frame(char kind, QDataStream& s)
    {
        switch (kind) {
        case Version: s >> reading.version; return true;
        case Failure: {
            QString text;
            s >> text;
            reading.error = text;
            done = true;
            return true;
        }
        case TableNamed: {
            // Sent before the library reads the definition, which may crash.
            JetTable table;
            s >> table.name;
            reading.tables.append(table);
            reading.counts.append({table.name, 0, -1});
            inTable_ = true;
            return true;
        }
        case TableStart: {
            if (!inTable_)
                return broken(QStringLiteral("Tabellenkopf ohne Tabelle"));
            JetTable& table = reading.tables.last();
            s >> table.name >> table.columns >> table.expectedRows;
            reading.counts.last().rowsExpected = table.expectedRows;
            return true;
        }
        case Rows: {
            if (!inTable_)
                return broken(QStringLiteral("Zeilen ohne Tabelle"));
            QList<QVariantList> rows;
            s >> rows;
            reading.tables.last().rows += rows;
            reading.counts.last().rowsRead = reading.tables.last().rows.size();
            return true;
        }
        case TableEnd: {
            if (!inTable_)
                return broken(QStringLiteral("Tabellenende ohne Tabelle"));
            s >> reading.tables.last().problems;
            inTable_ = false;
            return true;
        }
        case Done: done = true; return true;
        }
        return broken(QStringLiteral("unbekannter Block '%1'").arg(QLatin1Char(kind)));
    }

    QByteArray buffer_;
    bool inTable_ = false;
};

void checkCounts(JetReading& reading)
{
    if (reading.ok() && !CountMismatchText(reading.counts).isEmpty())
        reading.error = CountMismatchText(reading.counts);
}

} // namespace

int SendJetFile(const QString& jetFile, QIODevice& out)
{
    disableCoreDumps();
    FrameWriter writer(out);
    QString error;
    const std::unique_ptr<JetFile> file = JetFile::open(jetFile, error);
    if (!file) {
        writer.send(Failure, error);
        return 5;
    }
    writer.send(Version, file->versionText());
    for (const QString& name : file->tableNames()) {
        writer.send(TableNamed, name);
        bool started = false;
        QByteArray chunk;
        qint32 chunkRows = 0;
        const auto start = [&](const JetTable& table) {
            if (!started)
                writer.send(TableStart, table.name, table.columns, table.expectedRows);
            started = true;
        };
        const auto flush = [&] {
            if (chunkRows == 0)
                return;
            QByteArray payload;
            QDataStream count(&payload, QIODevice::WriteOnly);
            count.setVersion(kStreamVersion);
            count << chunkRows; // the layout of a serialised QList<QVariantList>
            writer.sendRaw(Rows, payload + chunk);
            chunk.clear();
            chunkRows = 0;
        };
        JetTable table;
        const bool read = file->readTable(name, table, error, [&](const JetTable& t, QVariantList& row) {
            start(t);
            QByteArray one;
            QDataStream rowStream(&one, QIODevice::WriteOnly);
            rowStream.setVersion(kStreamVersion);
            rowStream << row;
            chunk += one;
            ++chunkRows;
            if (chunk.size() >= kRowChunkBytes)
                flush();
            return writer.ok();
        });
        if (!read) {
            flush();
            writer.send(Failure, error);
            return 5;
        }
        start(table);
        flush();
        writer.send(TableEnd, table.problems);
        if (!writer.ok())
            return 5;
    }
    writer.send(Done);
    return writer.ok() ? 0 : 5;
}

JetReading ReadJetFileInChild(const QString& program, const QStringList& arguments, int silenceMs)
{
    FrameReader reader;
    QProcess child;
    child.setProgram(program);
    child.setArguments(arguments);
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted(30000)) {
        reader.reading.error = QStringLiteral("Leseprogramm %1 startet nicht: %2").arg(program, child.errorString());
        return reader.reading;
    }
    QByteArray errors;
    bool readable = true;
    while (readable && child.state() != QProcess::NotRunning) {
        if (!child.waitForReadyRead(silenceMs) && child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished(5000);
            reader.reading.error = QStringLiteral("das Lesen bleibt hängen (%1 s ohne Fortschritt)").arg(silenceMs / 1000);
            return reader.reading;
        }
        readable = reader.take(child.readAllStandardOutput());
        errors += child.readAllStandardError().left(4096 - errors.size());
    }
    if (!readable) {
        child.kill();
        child.waitForFinished(5000);
        return reader.reading;
    }
    child.waitForFinished(5000);
    if (!reader.take(child.readAllStandardOutput()))
        return reader.reading;
    errors += child.readAllStandardError().left(4096 - errors.size());
    if (!reader.reading.ok()) {
        checkCounts(reader.reading);
        return reader.reading;
    }
    if (child.exitStatus() == QProcess::CrashExit || !reader.done || reader.hasPartialFrame()) {
        const JetTable* table = reader.currentTable();
        reader.reading.error =
            QStringLiteral("die Jet-Datei ist beschädigt: das Lesen bricht ab%1%2")
                .arg(table ? QStringLiteral(" in Tabelle %1").arg(table->name) : QString(),
                     child.exitStatus() == QProcess::CrashExit ? QStringLiteral(" (Absturz der Jet-Bibliothek)")
                                                               : QStringLiteral(" (Leseprogramm endet mit %1)")
                                                                     .arg(child.exitCode()));
        const QString detail = QString::fromUtf8(errors).trimmed();
        if (!detail.isEmpty())
            reader.reading.error += QStringLiteral(": ") + detail.section('\n', 0, 2);
        return reader.reading;
    }
    checkCounts(reader.reading);
    return reader.reading;
}

JetReading ReadJetFileHere(const QString& jetFile)
{
    JetReading reading;
    const std::unique_ptr<JetFile> file = JetFile::open(jetFile, reading.error);
    if (!file)
        return reading;
    reading.version = file->versionText();
    for (const QString& name : file->tableNames()) {
        JetTable table;
        const bool read = file->readTable(name, table, reading.error);
        reading.counts.append({name, table.rows.size(), table.expectedRows});
        if (!read)
            return reading;
        reading.tables.append(std::move(table));
    }
    checkCounts(reading);
    return reading;
}

QString CountMismatchText(const QList<JetTableCount>& counts)
{
    QStringList damaged;
    for (const JetTableCount& c : counts)
        if (c.rowsExpected < 0)
            damaged << QStringLiteral("%1 (Tabellendefinition nicht lesbar)").arg(c.table);
        else if (c.rowsRead != c.rowsExpected)
            damaged << QStringLiteral("%1 (%2 von %3 Zeilen)").arg(c.table).arg(c.rowsRead).arg(c.rowsExpected);
    if (damaged.isEmpty())
        return {};
    return QStringLiteral("die Jet-Datei ist beschädigt: nicht alle Zeilen lesbar: ") + damaged.join(QStringLiteral(", "));
}

} // namespace kelvaro::migration
