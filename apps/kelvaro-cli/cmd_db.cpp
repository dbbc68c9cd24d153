#include "command.h"

#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"

namespace {

using namespace kelvaro;

int fillDemo(SqlConnection& c, bool demo)
{
    if (!demo)
        return 0;
    if (c.scalar(QStringLiteral("SELECT Count(*) FROM tagrp")).toInt() > 0) {
        CliOut(QStringLiteral("Beispieldaten übersprungen: die Datenbank enthält schon Tarifgruppen"));
        return 0;
    }
    if (!InsertDemoData(c)) {
        CliErr(QStringLiteral("Beispieldaten: ") + LastErrorText());
        return 1;
    }
    CliOut(QStringLiteral("Beispieldaten: 3 Tarifgruppen, 2 Tarife, 3 M-Bus-Zähler an Port 1"));
    return 0;
}

int initPostgres(const QStringList& args, bool demo)
{
    // --postgres host[:port] database [user [password]]
    if (args.size() < 2) {
        CliErr(QStringLiteral("db init --postgres host[:port] database [user [password]]"));
        return 2;
    }
    SqlConnection c(QStringLiteral("cli.db.init"));
    if (!OpenDBConnection(c, QStringLiteral("6"), args.value(2), args.value(3), args[0], args[1])
        || !CreateSchema(c)) {
        CliErr(LastErrorText());
        return 1;
    }
    CliOut(QStringLiteral("Schema angelegt in ") + c.location());
    return fillDemo(c, demo);
}

int init(QStringList args)
{
    const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
    const qsizetype pg = args.indexOf(QStringLiteral("--postgres"));
    if (pg >= 0)
        return initPostgres(args.mid(pg + 1), demo);

    StartClient(args.join(' '));
    if (Mandant.isEmpty())
        return 1;
    const QString file = DBPATH + QStringLiteral("basis.mdb");
    if (!CreateClientDatabase(file)) {
        CliErr(LastErrorText());
        return 1;
    }
    CliOut(QStringLiteral("Datenbank ") + SqliteFileFor(file) + QStringLiteral(" bereit"));
    SqlConnection c(QStringLiteral("cli.db.init"));
    if (!OpenClientDatabase(c)) {
        CliErr(LastErrorText());
        return 1;
    }
    return fillDemo(c, demo);
}

int db(const QStringList& args)
{
    if (args.value(0) == QLatin1String("init"))
        return init(args.mid(1));
    CliErr(QStringLiteral("usage: db init [-M<client>] [--demo] | db init --postgres host[:port] database [user [password]] [--demo]"));
    return 2;
}

const CliRegistration reg("db",
                          "db init [-M<client>] [--demo]   create the client database (\"basis.db\" in DBPATH; "
                          "--postgres host[:port] db [user [pw]] for a server)",
                          db);

} // namespace
