#include "data/sqldialect.h"

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
    return out.trimmed();
}

} // namespace kelvaro
