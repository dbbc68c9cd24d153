// Rows per second into "MBusWerte" through the master's path (OpenMBusWerte,
// AddMBusWert, one committed row per call) on SQLite and PostgreSQL. The
// PostgreSQL run needs KELVARO_PG_HOST/PORT/USER (scripts/pg-test-cluster.sh).
#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"
#include "storage/readingtables.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace kelvaro;

namespace {

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "bench_db_mbuswerte";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(app);
}

// batch 0: every row is its own transaction (the master's path); batch n: n
// rows (one meter's values) per transaction.
void appendRows(benchmark::State& state, SqlConnection& c, int batch = 0)
{
    ReadingTable rs;
    if (!OpenMBusWerte(rs, c)) {
        state.SkipWithError(LastErrorText().toStdString().c_str());
        return;
    }
    qint64 n = 0;
    for (auto _ : state) {
        if (batch > 0 && n % batch == 0)
            c.transaction();
        if (!AddMBusWert(rs, 1 + n % 500, 1'700'000'000 + n / 500 * 900, 1 + n % 7, n * 0.25))
            state.SkipWithError(LastErrorText().toStdString().c_str());
        ++n;
        if (batch > 0 && n % batch == 0)
            c.commit();
    }
    if (batch > 0 && n % batch != 0)
        c.commit();
    state.SetItemsProcessed(state.iterations());
}

void BM_MBusWerteSQLite(benchmark::State& state)
{
    ensureApplication();
    QTemporaryDir dir(QDir::currentPath() + "/dbbench-XXXXXX");
    DBPATH = dir.path() + "/";
    CreateClientDatabase(DBPATH + "basis.mdb");
    SqlConnection c("bench.sqlite");
    if (!OpenDBConnection(c, "1", "", "", DBPATH + "basis.mdb", "")) {
        state.SkipWithError(LastErrorText().toStdString().c_str());
        return;
    }
    if (state.range(0) == 0)
        c.exec("PRAGMA journal_mode=DELETE"); // for comparison: the classic rollback journal
    appendRows(state, c, int(state.range(1)));
}
// Arguments: 1 the write-ahead log the connection uses, 0 the rollback journal;
// rows per transaction (0: one each, as the master stores).
BENCHMARK(BM_MBusWerteSQLite)->Args({1, 0})->Args({0, 0})->Args({1, 10})->MinTime(2.0)->UseRealTime();

void BM_MBusWertePostgreSQL(benchmark::State& state)
{
    ensureApplication();
    const QString port = qEnvironmentVariable("KELVARO_PG_PORT");
    if (port.isEmpty()) {
        state.SkipWithError("KELVARO_PG_PORT not set");
        return;
    }
    const QString host = qEnvironmentVariable("KELVARO_PG_HOST", "127.0.0.1");
    const QString user = qEnvironmentVariable("KELVARO_PG_USER", "postgres");
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase("QPSQL", "bench.admin");
        admin.setHostName(host);
        admin.setPort(port.toInt());
        admin.setUserName(user);
        admin.setDatabaseName(qEnvironmentVariable("KELVARO_PG_DB", "postgres"));
        if (admin.open()) {
            QSqlQuery(admin).exec("DROP DATABASE IF EXISTS kelvaro_bench");
            QSqlQuery(admin).exec("CREATE DATABASE kelvaro_bench");
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase("bench.admin");
    SqlConnection c("bench.pg");
    if (!OpenDBConnection(c, "6", user, "", host + ":" + port, "kelvaro_bench") || !CreateSchema(c)) {
        state.SkipWithError(LastErrorText().toStdString().c_str());
        return;
    }
    appendRows(state, c, int(state.range(0)));
}
BENCHMARK(BM_MBusWertePostgreSQL)->Arg(0)->Arg(10)->MinTime(2.0)->UseRealTime();

} // namespace
