#include "reports/selection.h"

#include "core/error.h"

namespace tessal::reports {

namespace {

void flatten(const NodePtr &node, std::vector<NodePtr> &out)
{
    if (node->kind == Node::Kind::And) {
        flatten(node->operands[0], out);
        flatten(node->operands[1], out);
    } else {
        out.push_back(node);
    }
}

bool isColumn(const NodePtr &node, const SchemaColumn &column)
{
    return node->kind == Node::Kind::Column && node->column.table == column.table &&
           node->column.column == column.column;
}

bool mentions(const NodePtr &node, const SchemaColumn &column)
{
    if (isColumn(node, column))
        return true;
    for (const NodePtr &operand : node->operands) {
        if (mentions(operand, column))
            return true;
    }
    return false;
}

// "column op literal", with the sides put in that order; nullopt for any other shape.
struct Bound
{
    CompareOp op;
    NodePtr literal;
};

std::optional<Bound> boundOn(const NodePtr &node, const SchemaColumn &column)
{
    if (node->kind != Node::Kind::Compare)
        return std::nullopt;
    const NodePtr &left = node->operands[0];
    const NodePtr &right = node->operands[1];
    const auto isLiteral = [](const NodePtr &n) {
        return n->kind == Node::Kind::Text || n->kind == Node::Kind::Date ||
               n->kind == Node::Kind::Number || n->kind == Node::Kind::Money;
    };
    if (isColumn(left, column) && isLiteral(right))
        return Bound{node->op, right};
    if (isColumn(right, column) && isLiteral(left)) {
        CompareOp op = node->op;
        switch (op) {
        case CompareOp::Less:
            op = CompareOp::Greater;
            break;
        case CompareOp::LessEqual:
            op = CompareOp::GreaterEqual;
            break;
        case CompareOp::Greater:
            op = CompareOp::Less;
            break;
        case CompareOp::GreaterEqual:
            op = CompareOp::LessEqual;
            break;
        case CompareOp::Equal:
        case CompareOp::NotEqual:
            break;
        }
        return Bound{op, left};
    }
    return std::nullopt;
}

QVariant literalValue(const NodePtr &literal)
{
    switch (literal->kind) {
    case Node::Kind::Text:
        return literal->text;
    case Node::Kind::Date:
        return literal->date.toString(QStringLiteral("yyyy-MM-dd"));
    case Node::Kind::Money:
        return literal->cents;
    case Node::Kind::Number:
        return literal->number;
    default:
        return {};
    }
}

// A code is never empty: "{t.cd_x} = ''" is a value nobody chose (no account picked in the
// window), and selecting on it would print an empty report as if it were the answer.
void refuseEmptyCodes(const NodePtr &node, const QString &formula)
{
    if (node->kind == Node::Kind::Compare && node->op == CompareOp::Equal) {
        for (int side = 0; side < 2; ++side) {
            const NodePtr &column = node->operands[size_t(side)];
            const NodePtr &value = node->operands[size_t(1 - side)];
            if (column->kind == Node::Kind::Column &&
                column->column.column.startsWith(QLatin1String("cd_")) &&
                value->kind == Node::Kind::Text && value->text.isEmpty())
                throw Error(ErrorNumber::InvalidInput,
                            QStringLiteral("Fórmula de seleção, posição %1: {%2.%3} é comparado "
                                           "com um texto vazio; nenhum valor foi escolhido para "
                                           "ele.")
                                .arg(node->position)
                                .arg(column->column.table, column->column.column),
                            formula);
        }
    }
    for (const NodePtr &operand : node->operands)
        refuseEmptyCodes(operand, formula);
}

} // namespace

Selection Selection::parse(const QString &formula)
{
    Selection selection;
    selection.m_text = formula;
    selection.m_condition = parseExpression(
        formula, {ExpressionContext::Selection, QStringLiteral("Fórmula de seleção"), {}});
    refuseEmptyCodes(selection.m_condition, formula);
    flatten(selection.m_condition, selection.m_conjuncts);
    return selection;
}

Selection::Period Selection::period(const SchemaColumn &column) const
{
    Period period;
    for (const NodePtr &conjunct : m_conjuncts) {
        if (!mentions(conjunct, column))
            continue;
        const std::optional<Bound> bound = boundOn(conjunct, column);
        if (!bound || bound->literal->kind != Node::Kind::Date ||
            bound->op == CompareOp::NotEqual) {
            period.simple = false;
            continue;
        }
        const QDate day = bound->literal->date;
        std::optional<QDate> from, to;
        switch (bound->op) {
        case CompareOp::Equal:
            from = to = day;
            break;
        case CompareOp::Greater:
            from = day.addDays(1);
            break;
        case CompareOp::GreaterEqual:
            from = day;
            break;
        case CompareOp::Less:
            to = day.addDays(-1);
            break;
        case CompareOp::LessEqual:
            to = day;
            break;
        case CompareOp::NotEqual:
            break;
        }
        if (from && (!period.from || *from > *period.from))
            period.from = from;
        if (to && (!period.to || *to < *period.to))
            period.to = to;
    }
    return period;
}

NodePtr Selection::before(const SchemaColumn &column, const QDate &from) const
{
    NodePtr condition = makeCompare(CompareOp::Less, makeColumn(column), makeDate(from));
    for (const NodePtr &conjunct : m_conjuncts) {
        if (!mentions(conjunct, column))
            condition = makeAnd(conjunct, condition);
    }
    return condition;
}

QVariant Selection::fixedValue(const SchemaColumn &column) const
{
    QVariant value;
    for (const NodePtr &conjunct : m_conjuncts) {
        const std::optional<Bound> bound = boundOn(conjunct, column);
        if (!bound || bound->op != CompareOp::Equal)
            continue;
        const QVariant found = literalValue(bound->literal);
        if (value.isValid() && value != found)
            return {};
        value = found;
    }
    return value;
}

} // namespace tessal::reports
