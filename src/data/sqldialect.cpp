#include "data/sqldialect.h"

#include <QRegularExpression>
#include <QStringList>

namespace kelvaro {
namespace {

// Column names of the schema that are keywords on at least one engine.
bool isKeywordColumn(const QString& upper)
{
    return upper == QLatin1String("INDEX") || upper == QLatin1String("OFFSET");
}

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == '_' || c == '$'; }

struct Token {
    enum Kind { Word, Literal, Identifier, Other } kind;
    QString text;
};

QList<Token> tokenize(const QString& sql)
{
    QList<Token> tokens;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            // Jet accepts both quote characters around texts; a doubled quote is one.
            QString value;
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        value += c;
                        j += 2;
                        continue;
                    }
                    break;
                }
                value += sql[j++];
            }
            tokens.append({Token::Literal, value});
            i = j + 1;
        } else if (c == '[') {
            const qsizetype close = sql.indexOf(']', i + 1);
            const qsizetype end = close < 0 ? n : close;
            tokens.append({Token::Identifier, sql.mid(i + 1, end - i - 1)});
            i = end + 1;
        } else if (isWordChar(c)) {
            qsizetype j = i;
            while (j < n && isWordChar(sql[j]))
                ++j;
            tokens.append({Token::Word, sql.mid(i, j - i)});
            i = j;
        } else {
            tokens.append({Token::Other, QString(c)});
            ++i;
        }
    }
    return tokens;
}

bool isWord(const Token& t, const char* upper)
{
    return t.kind == Token::Word && t.text.compare(QLatin1String(upper), Qt::CaseInsensitive) == 0;
}

qsizetype nextNonBlank(const QList<Token>& tokens, qsizetype from)
{
    while (from < tokens.size() && tokens[from].kind == Token::Other && tokens[from].text.trimmed().isEmpty())
        ++from;
    return from;
}

QString literal(const QString& value)
{
    QString escaped = value;
    escaped.replace('\'', QStringLiteral("''"));
    return '\'' + escaped + '\'';
}


// Top-level positions of a keyword (outside literals and parentheses).
qsizetype findTopLevel(const QString& sql, const QString& keyword, qsizetype from)
{
    int depth = 0;
    bool inLiteral = false;
    for (qsizetype i = from; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == '\'') {
            inLiteral = !inLiteral;
            continue;
        }
        if (inLiteral)
            continue;
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        else if (depth == 0 && sql.mid(i, keyword.size()).compare(keyword, Qt::CaseInsensitive) == 0
                 && (i == 0 || !isWordChar(sql[i - 1]))
                 && (i + keyword.size() == sql.size() || !isWordChar(sql[i + keyword.size()])))
            return i;
    }
    return -1;
}

// Jet accepts a FROM list that names a table both on its own and inside
// joins ("FROM a, b, a INNER JOIN b ON c1, ..."); the other engines refuse
// the repeated names. Such a list means the join of its distinct tables, so
// it becomes "FROM a, b WHERE (c1) AND ...". Other FROM lists stay as written.
QString mergeRepeatedFromTables(const QString& sql)
{
    const qsizetype from = findTopLevel(sql, QStringLiteral("FROM"), 0);
    if (from < 0)
        return sql;
    const qsizetype listStart = from + 4;
    qsizetype listEnd = sql.size();
    for (const char* end : {"WHERE", "GROUP", "HAVING", "ORDER"}) {
        const qsizetype at = findTopLevel(sql, QLatin1String(end), listStart);
        if (at >= 0)
            listEnd = std::min(listEnd, at);
    }
    static const QRegularExpression plain(QStringLiteral(R"(^\s*(\w+)\s*$)"));
    static const QRegularExpression join(
        QStringLiteral(R"(^\s*(\w+)\s+INNER\s+JOIN\s+(\w+)\s+ON\s+(.+?)\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QStringList tables, conditions;
    bool repeated = false;
    auto addTable = [&](const QString& name) {
        for (const QString& t : tables)
            if (t.compare(name, Qt::CaseInsensitive) == 0) {
                repeated = true;
                return;
            }
        tables << name;
    };
    for (const QString& item : sql.mid(listStart, listEnd - listStart).split(',')) {
        if (const auto m = plain.match(item); m.hasMatch()) {
            addTable(m.captured(1));
        } else if (const auto j = join.match(item); j.hasMatch()) {
            addTable(j.captured(1));
            addTable(j.captured(2));
            conditions << '(' + j.captured(3) + ')';
        } else {
            return sql; // not a list of this shape
        }
    }
    if (!repeated)
        return sql;
    QString result = sql.left(listStart) + ' ' + tables.join(QStringLiteral(", ")) + ' ';
    const QString rest = sql.mid(listEnd);
    const QString joined = conditions.join(QStringLiteral(" AND "));
    if (findTopLevel(rest, QStringLiteral("WHERE"), 0) == 0) {
        qsizetype whereEnd = rest.size();
        for (const char* end : {"GROUP", "HAVING", "ORDER"}) {
            const qsizetype at = findTopLevel(rest, QLatin1String(end), 5);
            if (at >= 0)
                whereEnd = std::min(whereEnd, at);
        }
        return result + QStringLiteral("WHERE ") + joined + QStringLiteral(" AND (") + rest.mid(5, whereEnd - 5).trimmed()
            + QStringLiteral(") ") + rest.mid(whereEnd);
    }
    if (conditions.isEmpty())
        return result + rest;
    return result + QStringLiteral("WHERE ") + joined + ' ' + rest;
}

} // namespace

QString QuoteIdentifier(const QString& name, SqlDialect dialect)
{
    QString text = dialect == SqlDialect::PostgreSQL ? name.toLower() : name;
    text.replace('"', QStringLiteral("\"\""));
    return '"' + text + '"';
}

QString AdaptJetSql(const QString& jetSql, SqlDialect dialect)
{
    const QList<Token> tokens = tokenize(jetSql);
    QString out;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        switch (t.kind) {
        case Token::Literal:
            out += literal(t.text);
            break;
        case Token::Identifier:
            out += QuoteIdentifier(t.text, dialect);
            break;
        case Token::Other:
            if (t.text == QLatin1String(";") && nextNonBlank(tokens, i + 1) == tokens.size())
                break;
            out += t.text;
            break;
        case Token::Word: {
            const QString upper = t.text.toUpper();
            if (upper == QLatin1String("DISTINCTROW")) {
                i = nextNonBlank(tokens, i + 1) - 1; // drop the word and the blanks after it
                break;
            }
            if (upper == QLatin1String("WITH")) {
                const qsizetype a = nextNonBlank(tokens, i + 1);
                const qsizetype b = a < tokens.size() ? nextNonBlank(tokens, a + 1) : a;
                if (a < tokens.size() && b < tokens.size() && isWord(tokens[a], "OWNERACCESS")
                    && isWord(tokens[b], "OPTION")) {
                    i = b;
                    break;
                }
            }
            if (upper == QLatin1String("DELETE")) {
                out += t.text;
                const qsizetype first = nextNonBlank(tokens, i + 1);
                if (first < tokens.size() && !isWord(tokens[first], "FROM")) {
                    qsizetype from = first;
                    while (from < tokens.size() && !isWord(tokens[from], "FROM"))
                        ++from;
                    if (from < tokens.size()) {
                        out += ' ';
                        i = from - 1; // continue at FROM; the column list is dropped
                    }
                }
                break;
            }
            if (upper == QLatin1String("TRUE") || upper == QLatin1String("FALSE")) {
                const bool value = upper == QLatin1String("TRUE");
                if (dialect == SqlDialect::PostgreSQL)
                    out += value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                else
                    out += value ? QStringLiteral("1") : QStringLiteral("0");
                break;
            }
            if (isKeywordColumn(upper)) {
                out += QuoteIdentifier(t.text, dialect);
                break;
            }
            out += t.text;
            break;
        }
        }
    }
    return mergeRepeatedFromTables(out.trimmed());
}

} // namespace kelvaro
