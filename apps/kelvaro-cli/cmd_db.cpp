#include "command.h"
#include "clientoptions.h"

#include "data/dbconnection.h"
#include "data/schema.h"
#include "foundation/clientpaths.h"
#include "foundation/lasterror.h"

namespace {

using namespace kelvaro;

const QString kDbUsage = QStringLiteral(
    "db init [-M<client>] [--demo] | db init --postgres host[:port] database [user [password]] [--demo]");

int fillDemo(SqlConnection& c, bool demo)
{
    if (!demo)
        return CliOk;
    if (c.scalar(QStringLiteral("SELECT Count(*) FROM tagrp")).toInt() > 0) {
        CliOut(QStringLiteral("Beispieldaten übersprungen: die Datenbank enthält schon Tarifgruppen"));
        return CliOk;
    }
    if (!InsertDemoData(c))
        return CliFail(CliDataFile, QStringLiteral("Beispieldaten: ") + LastErrorText());
    CliOut(QStringLiteral("Beispieldaten: 3 Tarifgruppen, 2 Tarife, 3 M-Bus-Zähler an Port 1"));
    return CliOk;
}

int initPostgres(const QStringList& args, bool demo)
{
    // --postgres host[:port] database [user [password]]
    if (args.size() < 2 || args.size() > 4)
        return CliFail(CliUsage, kDbUsage);
    SqlConnection c(QStringLiteral("cli.db.init"));
    if (!OpenDBConnection(c, QStringLiteral("6"), args.value(2), args.value(3), args[0], args[1])
        || !CreateSchema(c))
        return CliFail(CliDataFile, LastErrorText());
    CliOut(QStringLiteral("Schema angelegt in ") + c.location());
    return fillDemo(c, demo);
}

int init(QStringList args)
{
    const bool demo = args.removeAll(QStringLiteral("--demo")) > 0;
    const qsizetype pg = args.indexOf(QStringLiteral("--postgres"));
    if (pg == 0)
        return initPostgres(args.mid(pg + 1), demo);
    if (const QString bad = FirstNonClientOption(args); !bad.isEmpty())
        return CliFail(CliUsage, QStringLiteral("unknown option: ") + bad + QStringLiteral("\nUsage: ") + kDbUsage);

    StartClient(args.join(' '));
    if (Mandant.isEmpty())
        return CliFail(CliConfiguration, kNoClientText);
    const QString file = DBPATH + QStringLiteral("basis.mdb");
    if (!CreateClientDatabase(file))
        return CliFail(CliDataFile, LastErrorText());
    CliOut(QStringLiteral("Datenbank ") + SqliteFileFor(file) + QStringLiteral(" bereit"));
    SqlConnection c(QStringLiteral("cli.db.init"));
    if (!OpenClientDatabase(c))
        return CliFail(CliDataFile, LastErrorText());
    return fillDemo(c, demo);
}

int db(const QStringList& args)
{
    if (args.value(0) == QLatin1String("init"))
        return init(args.mid(1));
    return CliFail(CliUsage, kDbUsage);
}

const CliRegistration reg("db",
                          "db init [-M<client> | --postgres host[:port] db [user [pw]]] [--demo]   create the "
                          "client database",
                          "Creates every table of the station in the client's database (DBPATH + \"basis.db\",\n"
                          "the client from -M<client> or OVX.INI) or, with --postgres, in a PostgreSQL database.\n"
                          "An existing database keeps its data. --demo adds three tariff groups, two tariffs and\n"
                          "three M-Bus meters at port 1 unless tariff groups exist: the meters at addresses 1, 2\n"
                          "and 9 of the simulator's demo bus (tools/mbus-sim/buses/demo.json).\n",
                          {CliOk, CliUsage, CliConfiguration, CliDataFile}, db);

} // namespace
