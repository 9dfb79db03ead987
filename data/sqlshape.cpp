#include "data/sqlshape.h"

#include <QSet>

namespace tessal::data::detail {

namespace {

enum class TokenKind { Word, QuotedName, String, Number, Punct };

struct Token
{
    TokenKind kind;
    qsizetype start;
    qsizetype end; // one past the last character
    int depth;     // parenthesis depth the token sits at
    QString upper; // words only, for keyword tests
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// Splits the text into tokens, keeping strings, quoted names and comments whole so that a keyword
// inside them (a remark such as 'pago ORDER BY telefone') is never taken for a clause.
QList<Token> tokenize(const QString &sql)
{
    QList<Token> tokens;
    int depth = 0;
    qsizetype i = 0;
    const qsizetype n = sql.size();
    auto skipQuoted = [&](QChar close) {
        ++i;
        while (i < n) {
            if (sql.at(i) == close) {
                // A doubled closing quote is an escaped one.
                if (i + 1 < n && sql.at(i + 1) == close && close != u']') {
                    i += 2;
                    continue;
                }
                ++i;
                return;
            }
            ++i;
        }
    };
    while (i < n) {
        const QChar c = sql.at(i);
        const qsizetype start = i;
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && i + 1 < n && sql.at(i + 1) == u'-') {
            while (i < n && sql.at(i) != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql.at(i + 1) == u'*') {
            const qsizetype close = sql.indexOf(QLatin1String("*/"), i + 2);
            i = close < 0 ? n : close + 2;
        } else if (c == u'\'') {
            skipQuoted(u'\'');
            tokens.append({TokenKind::String, start, i, depth, {}});
        } else if (c == u'"' || c == u'`' || c == u'[') {
            skipQuoted(c == u'[' ? u']' : c);
            tokens.append({TokenKind::QuotedName, start, i, depth, {}});
        } else if (c.isDigit()) {
            while (i < n && (isWordChar(sql.at(i)) || sql.at(i) == u'.'))
                ++i;
            tokens.append({TokenKind::Number, start, i, depth, {}});
        } else if (isWordChar(c)) {
            while (i < n && isWordChar(sql.at(i)))
                ++i;
            tokens.append({TokenKind::Word, start, i, depth, sql.mid(start, i - start).toUpper()});
        } else {
            if (c == u')')
                --depth;
            tokens.append({TokenKind::Punct, start, i + 1, depth, {}});
            if (c == u'(')
                ++depth;
            ++i;
        }
    }
    return tokens;
}

bool isWord(const Token &t, const char *upper)
{
    return t.kind == TokenKind::Word && t.upper == QLatin1String(upper);
}

bool isPunct(const QString &sql, const Token &t, QChar c)
{
    return t.kind == TokenKind::Punct && sql.at(t.start) == c;
}

const QSet<QString> &aliasStoppers()
{
    static const QSet<QString> words = {
        QStringLiteral("ON"),     QStringLiteral("USING"),     QStringLiteral("INNER"),
        QStringLiteral("LEFT"),   QStringLiteral("RIGHT"),     QStringLiteral("FULL"),
        QStringLiteral("CROSS"),  QStringLiteral("NATURAL"),   QStringLiteral("JOIN"),
        QStringLiteral("OUTER"),  QStringLiteral("WHERE"),     QStringLiteral("INDEXED"),
        QStringLiteral("NOT"),    QStringLiteral("ORDER"),     QStringLiteral("GROUP"),
        QStringLiteral("HAVING"), QStringLiteral("LIMIT"),     QStringLiteral("UNION"),
        QStringLiteral("EXCEPT"), QStringLiteral("INTERSECT"), QStringLiteral("WINDOW"),
    };
    return words;
}

QString nameText(const QString &sql, const Token &t)
{
    return sql.mid(t.start, t.end - t.start);
}

// Table references of a FROM clause: the name after FROM, after each comma and after each JOIN,
// with its alias when one follows. Returns false for a subquery in FROM.
bool readTables(const QString &sql, const QList<Token> &tokens, QList<TableRef> &tables)
{
    bool expectTable = true;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token &t = tokens.at(i);
        if (!expectTable) {
            if (isWord(t, "JOIN") || isPunct(sql, t, u','))
                expectTable = true;
            continue;
        }
        if (isPunct(sql, t, u'('))
            continue;
        if (t.kind != TokenKind::Word && t.kind != TokenKind::QuotedName)
            return false;
        if (isWord(t, "SELECT") || isWord(t, "VALUES") || isWord(t, "WITH"))
            return false;
        TableRef ref;
        ref.table = nameText(sql, t);
        // schema.table
        if (i + 2 < tokens.size() && isPunct(sql, tokens.at(i + 1), u'.')) {
            i += 2;
            ref.table = nameText(sql, tokens.at(i));
        }
        // A table-valued function call is not a table.
        if (i + 1 < tokens.size() && isPunct(sql, tokens.at(i + 1), u'('))
            return false;
        ref.reference = ref.table;
        if (i + 1 < tokens.size()) {
            const Token &next = tokens.at(i + 1);
            if (isWord(next, "AS") && i + 2 < tokens.size()) {
                ref.reference = nameText(sql, tokens.at(i + 2));
                i += 2;
            } else if ((next.kind == TokenKind::Word && !aliasStoppers().contains(next.upper)) ||
                       next.kind == TokenKind::QuotedName) {
                ref.reference = nameText(sql, next);
                i += 1;
            }
        }
        tables.append(ref);
        expectTable = false;
    }
    return !tables.isEmpty();
}

// One ORDER BY term: the expression and its direction. Returns false for what the keyset cannot
// address (a column number, NULLS FIRST/LAST).
bool readOrderTerm(const QString &sql, const QList<Token> &tokens, OrderTerm &term)
{
    if (tokens.isEmpty())
        return false;
    qsizetype last = tokens.size() - 1;
    if (isWord(tokens.at(last), "DESC") || isWord(tokens.at(last), "ASC")) {
        term.descending = isWord(tokens.at(last), "DESC");
        --last;
    }
    if (last < 0)
        return false;
    for (qsizetype i = 0; i <= last; ++i) {
        if (isWord(tokens.at(i), "NULLS"))
            return false;
    }
    if (last == 0 && tokens.at(0).kind == TokenKind::Number)
        return false;
    term.expression = sql.mid(tokens.at(0).start, tokens.at(last).end - tokens.at(0).start);
    return true;
}

} // namespace

SqlShape parseSelect(const QString &sql)
{
    SqlShape shape;
    const QList<Token> tokens = tokenize(sql);
    if (tokens.isEmpty() || !isWord(tokens.first(), "SELECT"))
        return shape;

    qsizetype from = -1, where = -1, order = -1, end = tokens.size();
    for (qsizetype i = 1; i < tokens.size(); ++i) {
        const Token &t = tokens.at(i);
        if (t.depth != 0)
            continue;
        if (t.kind == TokenKind::Punct && sql.at(t.start) == u';') {
            // Only a trailing semicolon is allowed: a second statement is not a record source.
            if (i != tokens.size() - 1)
                return shape;
            end = i;
            break;
        }
        if (t.kind != TokenKind::Word)
            continue;
        if (i == 1 && (t.upper == QLatin1String("DISTINCT") || t.upper == QLatin1String("ALL")))
            return shape;
        if (t.upper == QLatin1String("FROM") && from < 0) {
            from = i;
        } else if (t.upper == QLatin1String("WHERE") && from >= 0 && where < 0 && order < 0) {
            where = i;
        } else if (t.upper == QLatin1String("ORDER") && from >= 0 && order < 0 &&
                   i + 1 < tokens.size() && isWord(tokens.at(i + 1), "BY")) {
            order = i;
        } else if (t.upper == QLatin1String("GROUP") || t.upper == QLatin1String("HAVING") ||
                   t.upper == QLatin1String("LIMIT") || t.upper == QLatin1String("UNION") ||
                   t.upper == QLatin1String("EXCEPT") || t.upper == QLatin1String("INTERSECT") ||
                   t.upper == QLatin1String("WINDOW")) {
            return shape;
        }
    }
    if (from < 0 || from == 1)
        return shape;

    auto textBetween = [&](qsizetype first, qsizetype afterLast) {
        if (first >= afterLast)
            return QString();
        return sql.mid(tokens.at(first).start,
                       tokens.at(afterLast - 1).end - tokens.at(first).start);
    };
    const qsizetype fromEnd = where >= 0 ? where : (order >= 0 ? order : end);
    const qsizetype whereEnd = order >= 0 ? order : end;

    shape.selectList = textBetween(1, from);
    shape.from = textBetween(from + 1, fromEnd);
    if (where >= 0)
        shape.where = textBetween(where + 1, whereEnd);
    if (shape.from.isEmpty() || (where >= 0 && shape.where.isEmpty()))
        return shape;
    if (!readTables(sql, tokens.mid(from + 1, fromEnd - from - 1), shape.tables))
        return shape;

    if (order >= 0) {
        QList<Token> termTokens;
        for (qsizetype i = order + 2; i <= end; ++i) {
            if (i == end || (tokens.at(i).depth == 0 && isPunct(sql, tokens.at(i), u','))) {
                OrderTerm term;
                if (!readOrderTerm(sql, termTokens, term))
                    return shape;
                shape.order.append(term);
                termTokens.clear();
            } else {
                termTokens.append(tokens.at(i));
            }
        }
    }
    shape.keyset = true;
    return shape;
}

QString withoutClosingOrderBy(const QString &sql)
{
    const QList<Token> tokens = tokenize(sql);
    qsizetype order = -1;
    for (qsizetype i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens.at(i).depth == 0 && isWord(tokens.at(i), "ORDER") &&
            isWord(tokens.at(i + 1), "BY"))
            order = i;
    }
    if (order < 0)
        return sql;
    for (qsizetype i = order + 2; i < tokens.size(); ++i) {
        const Token &t = tokens.at(i);
        if (isPunct(sql, t, u'?') || isPunct(sql, t, u':') ||
            (t.kind == TokenKind::Word && t.upper.startsWith(u'$')))
            return sql;
        if (t.depth == 0 && (isWord(t, "LIMIT") || isWord(t, "OFFSET") || isWord(t, "FETCH")))
            return sql;
    }
    return sql.left(tokens.at(order).start).trimmed();
}

} // namespace tessal::data::detail
