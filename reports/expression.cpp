#include "reports/expression.h"

#include "core/error.h"

#include <QRegularExpression>
#include <cmath>

namespace tessal::reports {

namespace {

struct Token
{
    enum class Type {
        End,
        Column,
        Date,
        Text,
        Number,
        Name,
        Open,
        Close,
        Comma,
        Compare,
        Plus,
        Minus
    };
    Type type = Type::End;
    int position = 0; // 1-based
    QString source;   // as written, for refusals
    QString text;     // Column: "table.column"; Text: the value; Name: the name
    QDate date;
    double number = 0;
    CompareOp op = CompareOp::Equal;
};

class Reader
{
public:
    Reader(const QString &text, const ExpressionScope &scope)
        : m_text(text)
        , m_scope(scope)
    {
        tokenize();
    }

    NodePtr read()
    {
        NodePtr node = parseOr();
        if (current().type != Token::Type::End)
            fail(current(),
                 QStringLiteral("esperava um operador (AND, OR, =, <, ...) e encontrou %1")
                     .arg(describe(current())));
        const bool wantsCondition = m_scope.context != ExpressionContext::Field;
        if (wantsCondition && node->type != ValueType::Boolean)
            fail(node->position, QStringLiteral("esperava uma condição (uma comparação como "
                                                "{tabela.campo} = 'valor') e encontrou um %1")
                                     .arg(typeName(node->type)));
        if (!wantsCondition && node->type == ValueType::Boolean)
            fail(node->position, QStringLiteral("esperava um valor e encontrou uma condição; use "
                                                "SE(condição, valor) para escolher um valor"));
        return node;
    }

private:
    // ---- tokens ---------------------------------------------------------------------------------

    [[noreturn]] void fail(int position, const QString &what) const
    {
        const QString where = position > int(m_text.size())
                                  ? QStringLiteral("posição %1 (fim do texto)").arg(position)
                                  : QStringLiteral("posição %1").arg(position);
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("%1, %2: %3.").arg(m_scope.what, where, what), m_text);
    }
    [[noreturn]] void fail(const Token &token, const QString &what) const
    {
        fail(token.position, what);
    }

    static QString describe(const Token &token)
    {
        if (token.type == Token::Type::End)
            return QStringLiteral("o fim do texto");
        return QLatin1Char('"') + token.source + QLatin1Char('"');
    }

    void tokenize()
    {
        const qsizetype size = m_text.size();
        qsizetype i = 0;
        while (true) {
            while (i < size && m_text.at(i).isSpace())
                ++i;
            Token token;
            token.position = int(i) + 1;
            if (i >= size) {
                token.position = int(size) + 1;
                m_tokens.push_back(token);
                return;
            }
            const QChar c = m_text.at(i);
            const qsizetype start = i;
            if (c == u'{') {
                const qsizetype end = m_text.indexOf(u'}', i + 1);
                if (end < 0)
                    fail(token, QStringLiteral("a chave aberta aqui não foi fechada com \"}\""));
                token.type = Token::Type::Column;
                token.text = m_text.mid(i + 1, end - i - 1).trimmed();
                i = end + 1;
            } else if (c == u'#') {
                const qsizetype end = m_text.indexOf(u'#', i + 1);
                if (end < 0)
                    fail(token, QStringLiteral("a data aberta aqui com \"#\" não foi fechada"));
                static const QRegularExpression shape(
                    QStringLiteral("^(\\d{4})/(\\d{2})/(\\d{2})$"));
                const QString inner = m_text.mid(i + 1, end - i - 1);
                const QRegularExpressionMatch match = shape.match(inner);
                token.date = match.hasMatch()
                                 ? QDate(match.captured(1).toInt(), match.captured(2).toInt(),
                                         match.captured(3).toInt())
                                 : QDate();
                if (!token.date.isValid())
                    fail(token, QStringLiteral("data inválida \"#%1#\"; as datas se escrevem "
                                               "#AAAA/MM/DD#, como #2026/03/01#")
                                    .arg(inner));
                token.type = Token::Type::Date;
                i = end + 1;
            } else if (c == u'\'') {
                // An apostrophe inside a text is written twice.
                QString value;
                ++i;
                bool closed = false;
                while (i < size) {
                    if (m_text.at(i) == u'\'') {
                        if (i + 1 < size && m_text.at(i + 1) == u'\'') {
                            value += u'\'';
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    value += m_text.at(i++);
                }
                if (!closed)
                    fail(token, QStringLiteral("o texto aberto aqui com um apóstrofo não foi "
                                               "fechado"));
                token.type = Token::Type::Text;
                token.text = value;
            } else if (c.isDigit() && c.unicode() <= u'9') {
                while (i < size && m_text.at(i).isDigit() && m_text.at(i).unicode() <= u'9')
                    ++i;
                if (i + 1 < size && m_text.at(i) == u'.' && m_text.at(i + 1).isDigit()) {
                    ++i;
                    while (i < size && m_text.at(i).isDigit() && m_text.at(i).unicode() <= u'9')
                        ++i;
                }
                token.type = Token::Type::Number;
                token.number = m_text.mid(start, i - start).toDouble();
            } else if (c.isLetter() || c == u'_') {
                while (i < size && (m_text.at(i).isLetterOrNumber() || m_text.at(i) == u'_'))
                    ++i;
                token.type = Token::Type::Name;
                token.text = m_text.mid(start, i - start);
            } else if (c == u'(' || c == u')' || c == u',' || c == u'+' || c == u'-') {
                token.type = c == u'('   ? Token::Type::Open
                             : c == u')' ? Token::Type::Close
                             : c == u',' ? Token::Type::Comma
                             : c == u'+' ? Token::Type::Plus
                                         : Token::Type::Minus;
                ++i;
            } else if (c == u'=' || c == u'<' || c == u'>') {
                token.type = Token::Type::Compare;
                const QChar next = i + 1 < size ? m_text.at(i + 1) : QChar();
                if (c == u'<' && next == u'>') {
                    token.op = CompareOp::NotEqual;
                    i += 2;
                } else if (c == u'<' && next == u'=') {
                    token.op = CompareOp::LessEqual;
                    i += 2;
                } else if (c == u'>' && next == u'=') {
                    token.op = CompareOp::GreaterEqual;
                    i += 2;
                } else {
                    token.op = c == u'='   ? CompareOp::Equal
                               : c == u'<' ? CompareOp::Less
                                           : CompareOp::Greater;
                    ++i;
                }
            } else {
                fail(token, QStringLiteral("caractere inesperado \"%1\"").arg(c));
            }
            token.source = m_text.mid(start, i - start);
            m_tokens.push_back(token);
        }
    }

    const Token &current() const { return m_tokens[m_at]; }
    Token take() { return m_tokens[m_at++]; }
    bool isKeyword(const char *word) const
    {
        return current().type == Token::Type::Name &&
               current().text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    Token expect(Token::Type type, const QString &what)
    {
        if (current().type != type)
            fail(current(),
                 QStringLiteral("esperava %1 e encontrou %2").arg(what, describe(current())));
        return take();
    }

    // ---- grammar --------------------------------------------------------------------------------

    NodePtr parseOr()
    {
        NodePtr left = parseAnd();
        while (isKeyword("OR")) {
            const Token op = take();
            NodePtr right = parseAnd();
            left = logical(Node::Kind::Or, op, left, right);
        }
        return left;
    }

    NodePtr parseAnd()
    {
        NodePtr left = parseNot();
        while (isKeyword("AND")) {
            const Token op = take();
            NodePtr right = parseNot();
            left = logical(Node::Kind::And, op, left, right);
        }
        return left;
    }

    NodePtr parseNot()
    {
        if (isKeyword("NOT")) {
            const Token op = take();
            NodePtr operand = parseNot();
            requireCondition(operand, op);
            auto node = std::make_shared<Node>();
            node->kind = Node::Kind::Not;
            node->type = ValueType::Boolean;
            node->position = op.position;
            node->operands = {operand};
            return node;
        }
        return parseComparison();
    }

    NodePtr parseComparison()
    {
        NodePtr left = parseAdditive();
        if (current().type != Token::Type::Compare)
            return left;
        const Token op = take();
        if (current().type == Token::Type::Compare)
            fail(current(), QStringLiteral("dois operadores de comparação seguidos"));
        NodePtr right = parseAdditive();
        if (left->type == ValueType::Boolean || right->type == ValueType::Boolean)
            fail(op, QStringLiteral("\"%1\" compara valores, não condições; ligue condições com "
                                    "AND ou OR")
                         .arg(op.source));
        if (!unify(left, right))
            fail(op, QStringLiteral("não é possível comparar %1 com %2")
                         .arg(typeName(left->type), typeName(right->type)));
        auto node = std::make_shared<Node>();
        node->kind = Node::Kind::Compare;
        node->type = ValueType::Boolean;
        node->position = op.position;
        node->op = op.op;
        node->operands = {left, right};
        return node;
    }

    NodePtr parseAdditive()
    {
        NodePtr left = parseUnary();
        while (current().type == Token::Type::Plus || current().type == Token::Type::Minus) {
            const Token op = take();
            NodePtr right = parseUnary();
            requireArithmetic(left, op);
            requireArithmetic(right, op);
            if (!unify(left, right))
                fail(op, QStringLiteral("não é possível juntar %1 com %2 em \"%3\"")
                             .arg(typeName(left->type), typeName(right->type), op.source));
            auto node = std::make_shared<Node>();
            node->kind = op.type == Token::Type::Plus ? Node::Kind::Add : Node::Kind::Subtract;
            node->type = left->type;
            node->position = op.position;
            node->operands = {left, right};
            left = node;
        }
        return left;
    }

    NodePtr parseUnary()
    {
        if (current().type != Token::Type::Minus)
            return parsePrimary();
        const Token op = take();
        NodePtr operand = parseUnary();
        requireArithmetic(operand, op);
        auto node = std::make_shared<Node>(*operand);
        if (operand->kind == Node::Kind::Number) {
            node->number = -operand->number;
        } else if (operand->kind == Node::Kind::Money) {
            node->cents = -operand->cents;
        } else {
            node->kind = Node::Kind::Negate;
            node->operands = {operand};
        }
        node->position = op.position;
        return node;
    }

    NodePtr parsePrimary()
    {
        const Token &token = current();
        auto node = std::make_shared<Node>();
        node->position = token.position;
        switch (token.type) {
        case Token::Type::Column:
            return column(take());
        case Token::Type::Date:
            node->kind = Node::Kind::Date;
            node->type = ValueType::Date;
            node->date = take().date;
            return node;
        case Token::Type::Text:
            node->kind = Node::Kind::Text;
            node->type = ValueType::Text;
            node->text = take().text;
            return node;
        case Token::Type::Number:
            node->kind = Node::Kind::Number;
            node->type = ValueType::Number;
            node->number = take().number;
            return node;
        case Token::Type::Open: {
            take();
            NodePtr inner = parseOr();
            expect(Token::Type::Close,
                   QStringLiteral("\")\" para fechar o \"(\" da posição %1").arg(node->position));
            return inner;
        }
        case Token::Type::Name:
            return name(take());
        case Token::Type::End:
        case Token::Type::Close:
        case Token::Type::Comma:
        case Token::Type::Compare:
        case Token::Type::Plus:
        case Token::Type::Minus:
            break;
        }
        fail(token, QStringLiteral("esperava um valor ({tabela.campo}, #AAAA/MM/DD#, 'texto' ou "
                                   "número) e encontrou %1")
                        .arg(describe(token)));
    }

    NodePtr column(const Token &token)
    {
        const QStringList parts = token.text.split(u'.');
        if (parts.size() != 2 || parts.at(0).trimmed().isEmpty() || parts.at(1).trimmed().isEmpty())
            fail(token, QStringLiteral("um campo se escreve {tabela.campo}, e \"%1\" não tem essa "
                                       "forma")
                            .arg(token.source));
        const QString table = parts.at(0).trimmed();
        const QString columnName = parts.at(1).trimmed();
        if (!isReportTable(table))
            fail(token, QStringLiteral("a tabela \"%1\" não existe nos relatórios (tabelas: %2)")
                            .arg(table, reportTables().join(QStringLiteral(", "))));
        const std::optional<SchemaColumn> found = findColumn(table, columnName);
        if (!found)
            fail(token, QStringLiteral("a tabela \"%1\" não tem o campo \"%2\" (campos: %3)")
                            .arg(table.toLower(), columnName,
                                 reportColumns(table).join(QStringLiteral(", "))));
        return makeColumnAt(*found, token.position);
    }

    NodePtr name(const Token &token)
    {
        const QString upper = token.text.toUpper();
        const bool isFunction = upper == QLatin1String("SE") || upper == QLatin1String("SOMA") ||
                                upper == QLatin1String("CONTAGEM") ||
                                upper == QLatin1String("SELECIONADO");
        if (isFunction)
            return function(token, upper);
        if (upper == QLatin1String("AND") || upper == QLatin1String("OR") ||
            upper == QLatin1String("NOT"))
            fail(token, QStringLiteral("esperava um valor antes de \"%1\"").arg(token.source));
        if (m_scope.context != ExpressionContext::Field || !m_scope.field)
            fail(token, QStringLiteral("\"%1\" não é um campo; os campos se escrevem entre chaves, "
                                       "como {lancamentos.dt_lancamento}")
                            .arg(token.source));
        NodePtr field = m_scope.field(token.text.toLower());
        if (!field)
            fail(
                token,
                QStringLiteral("não há campo \"%1\" definido antes desta linha").arg(token.source));
        return field;
    }

    NodePtr function(const Token &token, const QString &upper)
    {
        expect(Token::Type::Open, QStringLiteral("\"(\" depois de %1").arg(upper));
        auto node = std::make_shared<Node>();
        node->position = token.position;
        if (upper == QLatin1String("SELECIONADO")) {
            if (m_scope.context != ExpressionContext::Lookup)
                fail(token, QStringLiteral("SELECIONADO() só pode ser usado na condição de uma "
                                           "consulta"));
            const Token argument =
                expect(Token::Type::Column, QStringLiteral("um campo {tabela.campo}"));
            const NodePtr target = column(argument);
            node->kind = Node::Kind::Selected;
            node->type = target->type;
            node->column = target->column;
        } else if (upper == QLatin1String("SE")) {
            const NodePtr condition = parseOr();
            requireCondition(condition, token);
            expect(Token::Type::Comma, QStringLiteral("\",\" depois da condição de SE"));
            NodePtr value = parseOr();
            requireValue(value, token);
            node->kind = Node::Kind::If;
            node->operands = {condition, value};
            if (current().type == Token::Type::Comma) {
                take();
                NodePtr otherwise = parseOr();
                requireValue(otherwise, token);
                if (!unify(value, otherwise))
                    fail(token, QStringLiteral("os dois valores de SE devem ser do mesmo tipo "
                                               "(%1 e %2)")
                                    .arg(typeName(value->type), typeName(otherwise->type)));
                node->operands = {condition, value, otherwise};
            }
            node->type = value->type;
        } else {
            if (m_scope.context != ExpressionContext::Field)
                fail(token,
                     QStringLiteral("%1() só pode ser usado nos campos do modelo").arg(upper));
            if (m_insideAggregate)
                fail(token, QStringLiteral("%1() não pode estar dentro de outra soma ou contagem")
                                .arg(upper));
            m_insideAggregate = true;
            NodePtr operand = parseOr();
            m_insideAggregate = false;
            requireValue(operand, token);
            if (upper == QLatin1String("SOMA")) {
                if (operand->kind == Node::Kind::Number)
                    operand = toMoney(operand);
                if (operand->type != ValueType::Money)
                    fail(
                        token,
                        QStringLiteral("SOMA() soma valores, não %1").arg(typeName(operand->type)));
                node->kind = Node::Kind::Sum;
                node->type = ValueType::Money;
            } else {
                node->kind = Node::Kind::Count;
                node->type = ValueType::Number;
            }
            node->operands = {operand};
        }
        expect(Token::Type::Close, QStringLiteral("\")\" para fechar %1(").arg(upper));
        return node;
    }

    // ---- checks ---------------------------------------------------------------------------------

    NodePtr logical(Node::Kind kind, const Token &op, const NodePtr &left, const NodePtr &right)
    {
        requireCondition(left, op);
        requireCondition(right, op);
        auto node = std::make_shared<Node>();
        node->kind = kind;
        node->type = ValueType::Boolean;
        node->position = op.position;
        node->operands = {left, right};
        return node;
    }

    void requireCondition(const NodePtr &node, const Token &op) const
    {
        if (node->type != ValueType::Boolean)
            fail(node->position,
                 QStringLiteral("esperava uma condição para \"%1\" e encontrou um %2")
                     .arg(op.source, typeName(node->type)));
    }

    void requireValue(const NodePtr &node, const Token &op) const
    {
        if (node->type == ValueType::Boolean)
            fail(node->position, QStringLiteral("esperava um valor em %1 e encontrou uma condição")
                                     .arg(op.source.toUpper()));
    }

    void requireArithmetic(const NodePtr &node, const Token &op) const
    {
        if (node->type != ValueType::Money && node->type != ValueType::Number)
            fail(op, QStringLiteral("\"%1\" só se aplica a valores e números, não a %2")
                         .arg(op.source, typeName(node->type)));
    }

    static NodePtr toMoney(const NodePtr &literal)
    {
        auto node = std::make_shared<Node>(*literal);
        node->kind = Node::Kind::Money;
        node->type = ValueType::Money;
        node->cents = std::llround(literal->number * 100.0);
        return node;
    }

    // Gives both sides one type where they can have one: a number written beside an amount is an
    // amount. False when the types cannot meet.
    static bool unify(NodePtr &left, NodePtr &right)
    {
        if (left->type == right->type)
            return true;
        if (left->type == ValueType::Money && right->kind == Node::Kind::Number) {
            right = toMoney(right);
            return true;
        }
        if (right->type == ValueType::Money && left->kind == Node::Kind::Number) {
            left = toMoney(left);
            return true;
        }
        return false;
    }

    static NodePtr makeColumnAt(const SchemaColumn &column, int position)
    {
        auto node = std::make_shared<Node>();
        node->kind = Node::Kind::Column;
        node->type = column.type;
        node->column = column;
        node->position = position;
        return node;
    }

    const QString &m_text;
    const ExpressionScope &m_scope;
    std::vector<Token> m_tokens;
    size_t m_at = 0;
    bool m_insideAggregate = false;
};

QString compareText(CompareOp op)
{
    switch (op) {
    case CompareOp::Equal:
        return QStringLiteral(" = ");
    case CompareOp::NotEqual:
        return QStringLiteral(" <> ");
    case CompareOp::Less:
        return QStringLiteral(" < ");
    case CompareOp::LessEqual:
        return QStringLiteral(" <= ");
    case CompareOp::Greater:
        return QStringLiteral(" > ");
    case CompareOp::GreaterEqual:
        return QStringLiteral(" >= ");
    }
    return {};
}

CompareOp mirrored(CompareOp op)
{
    switch (op) {
    case CompareOp::Less:
        return CompareOp::Greater;
    case CompareOp::LessEqual:
        return CompareOp::GreaterEqual;
    case CompareOp::Greater:
        return CompareOp::Less;
    case CompareOp::GreaterEqual:
        return CompareOp::LessEqual;
    case CompareOp::Equal:
    case CompareOp::NotEqual:
        break;
    }
    return op;
}

QString isoDate(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

// A stored date may carry a time after the day ("2026-03-31 10:00"), so a day is the range from
// its start to the next day's start; written this way the comparison also keeps the index on
// (cd_conta, dt_lancamento) usable.
SqlText dateRange(const QString &column, CompareOp op, const QDate &day)
{
    SqlText sql;
    const QString from = isoDate(day);
    const QString next = isoDate(day.addDays(1));
    switch (op) {
    case CompareOp::Equal:
        sql << QLatin1Char('(') << column << QStringLiteral(" >= ? AND ") << column
            << QStringLiteral(" < ?)");
        sql.binds << from << next;
        break;
    case CompareOp::NotEqual:
        sql << QLatin1Char('(') << column << QStringLiteral(" < ? OR ") << column
            << QStringLiteral(" >= ?)");
        sql.binds << from << next;
        break;
    case CompareOp::Less:
        sql << column << QStringLiteral(" < ?");
        sql.binds << from;
        break;
    case CompareOp::LessEqual:
        sql << column << QStringLiteral(" < ?");
        sql.binds << next;
        break;
    case CompareOp::Greater:
        sql << column << QStringLiteral(" >= ?");
        sql.binds << next;
        break;
    case CompareOp::GreaterEqual:
        sql << column << QStringLiteral(" >= ?");
        sql.binds << from;
        break;
    }
    return sql;
}

QString columnReference(const SchemaColumn &column)
{
    return quoted(column.table) + QLatin1Char('.') + quoted(column.column);
}

// A stored amount in whole cents. SQLite's ROUND takes the whole part of the value plus a half,
// away from zero; the server's rounds halves to even (2.125 would come out as 212 cents, not
// 213) and its INTEGER stops at 21 million: it is written out as SQLite computes it, in bigint.
QString centsOfColumn(const QString &column, SqlDialect dialect)
{
    const QString scaled = column + QStringLiteral(" * 100");
    if (dialect == SqlDialect::Sqlite)
        return QStringLiteral("CAST(ROUND(%1) AS INTEGER)").arg(scaled);
    return QStringLiteral("CAST(sign(%1) * trunc(abs(%1) + 0.5) AS bigint)").arg(scaled);
}

// A value bound where nothing beside it gives its type (a field's SE(), a sum's operand) is
// untyped to the server, which takes it for text; amounts and numbers are told.
QString placeholder(ValueType type, SqlDialect dialect)
{
    if (dialect == SqlDialect::Sqlite)
        return QStringLiteral("?");
    switch (type) {
    case ValueType::Money:
        return QStringLiteral("CAST(? AS bigint)");
    case ValueType::Number:
        return QStringLiteral("CAST(? AS double precision)");
    case ValueType::Text:
    case ValueType::Date:
    case ValueType::Boolean:
        break;
    }
    return QStringLiteral("?");
}

SqlText coalesced(const NodePtr &node, const SelectedValue &selected, SqlDialect dialect)
{
    SqlText sql;
    sql << QStringLiteral("COALESCE(") << toSql(node, selected, dialect) << QStringLiteral(", 0)");
    return sql;
}

} // namespace

NodePtr parseExpression(const QString &text, const ExpressionScope &scope)
{
    return Reader(text, scope).read();
}

NodePtr makeColumn(const SchemaColumn &column)
{
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::Column;
    node->type = column.type;
    node->column = column;
    return node;
}

NodePtr makeDate(const QDate &date)
{
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::Date;
    node->type = ValueType::Date;
    node->date = date;
    return node;
}

NodePtr makeCompare(CompareOp op, NodePtr left, NodePtr right)
{
    Q_ASSERT(left->type == right->type);
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::Compare;
    node->type = ValueType::Boolean;
    node->op = op;
    node->operands = {std::move(left), std::move(right)};
    return node;
}

NodePtr makeAnd(NodePtr left, NodePtr right)
{
    Q_ASSERT(left->type == ValueType::Boolean && right->type == ValueType::Boolean);
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::And;
    node->type = ValueType::Boolean;
    node->operands = {std::move(left), std::move(right)};
    return node;
}

NodePtr makeSum(NodePtr amount)
{
    Q_ASSERT(amount->type == ValueType::Money);
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::Sum;
    node->type = ValueType::Money;
    node->operands = {std::move(amount)};
    return node;
}

bool containsAggregate(const NodePtr &node)
{
    if (node->kind == Node::Kind::Sum || node->kind == Node::Kind::Count)
        return true;
    for (const NodePtr &operand : node->operands) {
        if (containsAggregate(operand))
            return true;
    }
    return false;
}

QSet<QString> tablesOf(const NodePtr &node)
{
    QSet<QString> tables;
    if (node->kind == Node::Kind::Column)
        tables.insert(node->column.table);
    for (const NodePtr &operand : node->operands)
        tables.unite(tablesOf(operand));
    return tables;
}

SqlDialect dialectOf(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL") ? SqlDialect::PostgreSql : SqlDialect::Sqlite;
}

SqlText toSql(const NodePtr &node, const SelectedValue &selected, SqlDialect dialect)
{
    SqlText sql;
    const auto &ops = node->operands;
    switch (node->kind) {
    case Node::Kind::Column:
        if (node->type == ValueType::Money)
            sql << centsOfColumn(columnReference(node->column), dialect);
        else
            sql << columnReference(node->column);
        break;
    case Node::Kind::Text:
        sql << QStringLiteral("?");
        sql.binds << node->text;
        break;
    case Node::Kind::Date:
        sql << QStringLiteral("?");
        sql.binds << isoDate(node->date);
        break;
    case Node::Kind::Number:
        sql << placeholder(ValueType::Number, dialect);
        sql.binds << node->number;
        break;
    case Node::Kind::Money:
        sql << placeholder(ValueType::Money, dialect);
        sql.binds << node->cents;
        break;
    case Node::Kind::Compare: {
        const NodePtr &left = ops[0];
        const NodePtr &right = ops[1];
        if (left->kind == Node::Kind::Column && right->kind == Node::Kind::Date)
            return dateRange(columnReference(left->column), node->op, right->date);
        if (right->kind == Node::Kind::Column && left->kind == Node::Kind::Date)
            return dateRange(columnReference(right->column), mirrored(node->op), left->date);
        sql << QLatin1Char('(') << toSql(left, selected, dialect) << compareText(node->op)
            << toSql(right, selected, dialect) << QLatin1Char(')');
        break;
    }
    case Node::Kind::And:
    case Node::Kind::Or:
        sql << QLatin1Char('(') << toSql(ops[0], selected, dialect)
            << (node->kind == Node::Kind::And ? QStringLiteral(" AND ") : QStringLiteral(" OR "))
            << toSql(ops[1], selected, dialect) << QLatin1Char(')');
        break;
    case Node::Kind::Not:
        sql << QStringLiteral("(NOT ") << toSql(ops[0], selected, dialect) << QLatin1Char(')');
        break;
    case Node::Kind::Negate:
        sql << QStringLiteral("(-") << coalesced(ops[0], selected, dialect) << QLatin1Char(')');
        break;
    case Node::Kind::Add:
    case Node::Kind::Subtract:
        // An empty amount counts as zero in a sum: a debit row has no credit, and its balance
        // still moves.
        sql << QLatin1Char('(') << coalesced(ops[0], selected, dialect)
            << (node->kind == Node::Kind::Add ? QStringLiteral(" + ") : QStringLiteral(" - "))
            << coalesced(ops[1], selected, dialect) << QLatin1Char(')');
        break;
    case Node::Kind::If:
        sql << QStringLiteral("(CASE WHEN ") << toSql(ops[0], selected, dialect)
            << QStringLiteral(" THEN ") << toSql(ops[1], selected, dialect);
        if (ops.size() > 2)
            sql << QStringLiteral(" ELSE ") << toSql(ops[2], selected, dialect);
        sql << QStringLiteral(" END)");
        break;
    case Node::Kind::Sum:
        // The server sums bigint into numeric: the sum of cents is brought back to a whole.
        sql << (dialect == SqlDialect::Sqlite ? QStringLiteral("COALESCE(SUM(")
                                              : QStringLiteral("CAST(COALESCE(SUM("))
            << toSql(ops[0], selected, dialect)
            << (dialect == SqlDialect::Sqlite ? QStringLiteral("), 0)")
                                              : QStringLiteral("), 0) AS bigint)"));
        break;
    case Node::Kind::Count:
        sql << QStringLiteral("COUNT(") << toSql(ops[0], selected, dialect) << QLatin1Char(')');
        break;
    case Node::Kind::Selected:
        sql << placeholder(node->type, dialect);
        sql.binds << (selected ? selected(node->column) : QVariant());
        break;
    }
    return sql;
}

} // namespace tessal::reports
