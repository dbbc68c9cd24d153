#pragma once
// A copied Windows installation for the migration command's tests, and the
// command run as the administrator runs it.
#include "data/testdatabase.h"
#include "jettools.h"
#include "programrun.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlRecord>
#include <QTemporaryDir>

namespace kelvaro::test {

struct MigrateRun {
    int exitCode = -1;
    QJsonObject json;
    QString errors;
};

inline MigrateRun migrate(const QStringList& args)
{
    const ProgramRun run = RunCli(QStringList{QStringLiteral("migrate")} + args + QStringList{QStringLiteral("--json")},
                                  {}, 120000);
    EXPECT_TRUE(run.finished);
    return {run.exitCode, run.outJson(), run.errText()};
}

// Every file below a directory with its bytes.
inline QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            files.insert(QDir(root).relativeFilePath(f.fileName()), f.readAll());
    }
    return files;
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

inline QByteArray jetBytes(const QString& name)
{
    QFile f(JetTestFile(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// The Jet 3 file with one of its names changed in the catalogue (same length,
// so nothing else moves): "Umsätze" becomes the station's meter table.
inline QByteArray jetWithTableRenamed(const QByteArray& from, const QByteArray& to)
{
    QByteArray bytes = jetBytes("nwind-jet3.mdb");
    const qsizetype at = bytes.indexOf(from);
    EXPECT_GE(at, 0);
    EXPECT_EQ(bytes.indexOf(from, at + 1), -1);
    EXPECT_EQ(from.size(), to.size());
    bytes.replace(at, to.size(), to);
    return bytes;
}

// A copied Windows installation: client 200 with its file database, or client
// 1450 whose dnq.conf names a PostgreSQL database.
class MigrationInstallation : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        KELVARO_REQUIRE_TESTDATA();
        KELVARO_REQUIRE_ENGINE(GetParam());
        windows_ = dirs_.filePath("win");
        linux_ = dirs_.filePath("kelvaro");
        const bool pg = GetParam() == Engine::PostgreSQL;
        client_ = pg ? "1450" : "200";
        writeFile(windows_ + "/OVX.INI", "[OVX]\r\nOVXMandant=" + client_.toLatin1() + "\r\nDBPATH" +
                                             client_.toLatin1() + "=.\\DB" + client_.toLatin1() + "\\\r\n");
        writeFile(windows_ + "/DB" + client_ + "/basis.mdb", jetBytes("nwind-jet3.mdb"));
        writeFile(windows_ + "/Z" + client_ + "/0000001.RB6", QByteArray(600, '\x07'));
        writeFile(windows_ + "/MBusLog/261201mb.log", "01.12.26 10:00:00;1;5;0;12,5\r\n");
        if (pg) {
            catalog_ = QStringLiteral("kelvaro_mig_%1").arg(QCoreApplication::applicationPid());
            server_.admin("DROP DATABASE IF EXISTS " + catalog_ + " WITH (FORCE)");
            ASSERT_TRUE(server_.admin("CREATE DATABASE " + catalog_));
            QByteArray conf;
            for (const QString& line : {QStringLiteral("6"), server_.dataSource(), server_.user, server_.password,
                                        catalog_, QStringLiteral("SuperUser")})
                conf += ScrambleText(line.toLatin1(), kDnqKey) + "\r\n";
            writeFile(windows_ + "/dnq.conf", conf);
        }
    }
    void TearDown() override
    {
        if (!catalog_.isEmpty())
            server_.admin("DROP DATABASE IF EXISTS " + catalog_ + " WITH (FORCE)");
    }

    bool open(SqlConnection& c) const
    {
        if (GetParam() == Engine::PostgreSQL)
            return OpenDBConnection(c, "6", server_.user, server_.password, server_.dataSource(), catalog_);
        return OpenDBConnection(c, "1", {}, {}, linux_ + "/DB200/basis.mdb", "1");
    }

    // Every row of every migrated table, in a fixed order.
    QStringList dump()
    {
        SqlConnection c("kelvaro.test.dump");
        EXPECT_TRUE(open(c));
        QStringList lines;
        // The Jet file's tables and the master's readings.
        const QStringList tables = MdbTool("mdb-tables", {"-1", jetFile()}).split('\n', Qt::SkipEmptyParts)
                                   + QStringList{"mbuswerte"};
        for (const QString& table : tables) {
            QSqlQuery q(c.database());
            EXPECT_TRUE(q.exec("SELECT * FROM " + QuoteIdentifier(table, c.dialect()))) << table.toStdString();
            QStringList rows;
            while (q.next()) {
                QStringList values;
                for (int k = 0; k < q.record().count(); ++k)
                    values << q.value(k).toString();
                rows << values.join('|');
            }
            rows.sort();
            lines << table + ": " + QString::number(rows.size()) << rows;
        }
        return lines;
    }

    // The first line where two dumps differ, or empty.
    static std::string firstDifference(const QStringList& a, const QStringList& b)
    {
        for (qsizetype k = 0; k < std::max(a.size(), b.size()); ++k)
            if (a.value(k) != b.value(k))
                return QStringLiteral("line %1: '%2' against '%3'").arg(k).arg(a.value(k), b.value(k)).toStdString();
        return {};
    }

    QVariant scalar(const QString& sql)
    {
        SqlConnection c("kelvaro.test.scalar");
        EXPECT_TRUE(open(c));
        QSqlQuery q(c.database());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        return q.next() ? q.value(0) : QVariant();
    }

    bool exec(const QString& sql)
    {
        SqlConnection c("kelvaro.test.exec");
        EXPECT_TRUE(open(c));
        QSqlQuery q(c.database());
        const bool ok = q.exec(sql);
        EXPECT_TRUE(ok) << q.lastError().text().toStdString() << " " << sql.toStdString();
        return ok;
    }

    QString jetFile() const { return windows_ + "/DB" + client_ + "/basis.mdb"; }
    void putJet(const QByteArray& bytes) { writeFile(jetFile(), bytes); }

    QTemporaryDir dirs_;
    QString windows_, linux_, client_, catalog_;
    PgServer server_;
};

} // namespace kelvaro::test
