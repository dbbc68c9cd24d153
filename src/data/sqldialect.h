#pragma once
#include <QString>

namespace kelvaro {

enum class SqlDialect { SQLite, PostgreSQL, SqlServer, Oracle };

// Fits a statement written in the Jet dialect to another engine, leaving
// string literals and "?" placeholders alone:
// - DISTINCTROW and "WITH OWNERACCESS OPTION" (and a final ";") are dropped;
// - "DELETE <columns> FROM" becomes "DELETE FROM";
// - [bracketed names] and the column names that are keywords on the target
//   become quoted identifiers (lower case on PostgreSQL, whose quoted names
//   are case-sensitive while the schema's are folded to lower case);
// - "..." string literals become '...' literals;
// - True / False / Yes / No become boolean literals.
QString AdaptJetSql(const QString& jetSql, SqlDialect dialect);

// An identifier quoted for the dialect (lower case on PostgreSQL).
QString QuoteIdentifier(const QString& name, SqlDialect dialect);

} // namespace kelvaro
