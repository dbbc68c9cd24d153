#pragma once
#include "data/sqldialect.h"

#include <QStringList>

namespace kelvaro {

class SqlConnection;

// src/data/schema.sql as built into the program.
QString SchemaText();
// Its statements, fitted to the dialect.
QStringList SchemaStatements(SqlDialect dialect);

// Creates every missing table and index in one transaction; existing tables
// and their rows stay as they are.
bool CreateSchema(SqlConnection& connection);

// Creates the SQLite client database (DBPATH + "basis.db" for "basis.mdb")
// with the schema; an existing file only gets what it lacks.
bool CreateClientDatabase(const QString& jetFileName);

// A few tariff groups, tariffs and M-Bus meters on port 1 for a new installation.
bool InsertDemoData(SqlConnection& connection);

// Adds the columns of "MB_IndexListe" that an older table lacks.
bool EnsureIndexListColumns(SqlConnection& connection);

// Adds the columns of "zaehler" that this station brought in and an older
// table lacks: MSCONS_Lokation (the metering or market location the MSCONS
// readings are sent for).
bool EnsureMeterColumns(SqlConnection& connection);

// An older "MBusIndexListe" keeps its indexes in "Index": it gets "MBIndex",
// filled from "Index", in one transaction (a failure leaves the table as it
// was). A table that has "MBIndex" already, or no such table, is left alone.
bool EnsureExportIndexListColumn(SqlConnection& connection);

} // namespace kelvaro
