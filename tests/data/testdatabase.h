#pragma once
// Client databases for tests: a real SQLite file, or a fresh database on the
// PostgreSQL server that ./run tests starts (KELVARO_PG_HOST/PORT/USER).
#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"
#include "foundation/userconfig.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <memory>
#include <gtest/gtest.h>

namespace kelvaro::test {

enum class Engine { SQLite, PostgreSQL };

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info)
{
    return info.param == Engine::SQLite ? "SQLite" : "PostgreSQL";
}

inline bool PostgresAvailable() { return !qEnvironmentVariableIsEmpty("KELVARO_PG_PORT"); }

struct PgServer {
    QString host = qEnvironmentVariable("KELVARO_PG_HOST", QStringLiteral("127.0.0.1"));
    QString port = qEnvironmentVariable("KELVARO_PG_PORT");
    QString user = qEnvironmentVariable("KELVARO_PG_USER", QStringLiteral("postgres"));
    QString password = qEnvironmentVariable("KELVARO_PG_PASSWORD");
    QString adminDb = qEnvironmentVariable("KELVARO_PG_DB", QStringLiteral("postgres"));
    QString dataSource() const { return host + ':' + port; }

    // Runs one statement on the server's administrative database.
    bool admin(const QString& sql) const
    {
        const QString name = QStringLiteral("kelvaro.test.admin");
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(host);
            db.setPort(port.toInt());
            db.setUserName(user);
            db.setPassword(password);
            db.setDatabaseName(adminDb);
            if (db.open()) {
                QSqlQuery q(db);
                ok = q.exec(sql);
                if (!ok)
                    ADD_FAILURE() << q.lastError().text().toStdString();
            } else {
                ADD_FAILURE() << "PostgreSQL: " << db.lastError().text().toStdString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return ok;
    }
};

// A client database with the schema: DBPATH + "basis.db" for SQLite (DBPATH
// must be set), or a new PostgreSQL database dropped again at the end.
class ClientDatabase {
public:
    explicit ClientDatabase(Engine engine)
        : engine_(engine)
    {
        if (engine == Engine::SQLite) {
            kind_ = QStringLiteral("1");
            dataSource_ = DBPATH + QStringLiteral("basis.mdb");
            ready_ = CreateClientDatabase(dataSource_);
            if (!ready_)
                ADD_FAILURE() << LastErrorText().toStdString();
            return;
        }
        static std::atomic<int> counter{0};
        catalog_ = QStringLiteral("kelvaro_t%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        kind_ = QStringLiteral("6");
        dataSource_ = server_.dataSource();
        if (!server_.admin(QStringLiteral("CREATE DATABASE ") + catalog_))
            return;
        SqlConnection c(QStringLiteral("kelvaro.test.schema"));
        ready_ = openInto(c) && CreateSchema(c);
        if (!ready_)
            ADD_FAILURE() << LastErrorText().toStdString();
    }
    ~ClientDatabase()
    {
        DBConnection().close();
        DAODatabase().close();
        if (engine_ == Engine::PostgreSQL && !catalog_.isEmpty())
            server_.admin(QStringLiteral("DROP DATABASE IF EXISTS ") + catalog_ + QStringLiteral(" WITH (FORCE)"));
    }
    bool ready() const { return ready_; }
    Engine engine() const { return engine_; }

    // Opens a connection with this database's settings.
    bool openInto(SqlConnection& c) const
    {
        return OpenDBConnection(c, kind_, engine_ == Engine::PostgreSQL ? server_.user : QString(),
                                engine_ == Engine::PostgreSQL ? server_.password : QString(), dataSource_, catalog_);
    }
    // Points DBConfig at this database (as the master's settings would).
    void useAsClientDatabase() const
    {
        DBConfig[DbKind] = kind_;
        DBConfig[DbUser] = engine_ == Engine::PostgreSQL ? server_.user : QString();
        DBConfig[DbPassword] = engine_ == Engine::PostgreSQL ? server_.password : QString();
        DBConfig[DbDataSource] = dataSource_;
        DBConfig[DbCatalog] = catalog_;
    }

private:
    Engine engine_;
    PgServer server_;
    QString kind_, dataSource_, catalog_;
    bool ready_ = false;
};

#define KELVARO_REQUIRE_ENGINE(engine)                                                                                  \
    if ((engine) == ::kelvaro::test::Engine::PostgreSQL && !::kelvaro::test::PostgresAvailable())                      \
    GTEST_SKIP() << "no PostgreSQL server: KELVARO_PG_PORT is not set (./run tests starts one)"

// A test that runs on each engine against a fresh client database of client
// 200, set as the program's database settings.
class EngineTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override
    {
        KELVARO_REQUIRE_ENGINE(GetParam());
        DBPATH = QStringLiteral(".\\DB200\\");
        db_ = std::make_unique<ClientDatabase>(GetParam());
        ASSERT_TRUE(db_->ready());
        db_->useAsClientDatabase();
    }
    InstallationDir dir_;
    std::unique_ptr<ClientDatabase> db_;
};

} // namespace kelvaro::test
