#pragma once

#include "reports/schema.h"

#include <QDate>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>
#include <vector>

namespace tessal::reports {

// The one expression language of the reports: selection formulas, the layouts' joins, lookups
// and fields. Columns in braces ({lancamentos.dt_lancamento}), dates between hashes
// (#2026/03/01#), texts between apostrophes ('0003', an apostrophe inside doubled), numbers with a
// decimal point (10.50), comparisons (= <> < <= > >=), AND, OR, NOT and parentheses; in layouts
// also + and - on amounts, SE(condição, valor[, senão]), SOMA(valor), CONTAGEM(valor),
// SELECIONADO({tabela.coluna}) and the names of fields defined before. Keywords are read in any
// case. docs/relatorios.md describes it for the operators who write layouts.

enum class CompareOp { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

struct Node;
using NodePtr = std::shared_ptr<const Node>;

// One node of a parsed expression. Trees are built by parseExpression() and the builders below,
// which check types as they go, so every tree that exists is well typed.
struct Node
{
    enum class Kind {
        Column,   // column
        Text,     // text
        Date,     // date
        Number,   // number: a literal that is not an amount (compared with counts)
        Money,    // cents: an amount literal
        Compare,  // op, two operands
        And,      // two operands
        Or,       // two operands
        Not,      // one operand
        Negate,   // one operand (amounts)
        Add,      // two operands (amounts)
        Subtract, // two operands (amounts)
        If,       // condition, value, optional otherwise
        Sum,      // one operand (amounts); an aggregate
        Count,    // one operand; an aggregate
        Selected, // column: the value the selection formula fixes for it
    };

    Kind kind;
    ValueType type;
    int position = 0; // 1-based, in the text it was read from
    SchemaColumn column{};
    QString text;
    QDate date;
    double number = 0;
    qint64 cents = 0;
    CompareOp op = CompareOp::Equal;
    std::vector<NodePtr> operands;
};

// Where an expression stands decides what it may hold.
enum class ExpressionContext {
    Selection, // the selection formula: a condition over columns
    Condition, // a join's condition
    Lookup,    // a lookup's condition, which may use SELECIONADO()
    Field,     // a field: a value, which may use aggregates and the fields defined before it
};

struct ExpressionScope
{
    ExpressionContext context = ExpressionContext::Selection;
    // How a refusal names the text: "Fórmula de seleção", "Linha 12 (campo credito)".
    QString what;
    // Field context: the field defined before under a lower-case name, or null.
    std::function<NodePtr(const QString &name)> field;
};

// Reads and type-checks an expression. A text it cannot read is refused with tessal::Error
// (ErrorNumber::InvalidInput) whose description names the scope, the 1-based position and what
// was expected there.
NodePtr parseExpression(const QString &text, const ExpressionScope &scope);

// Builders for trees made by the program rather than read (the selection's "before the period").
NodePtr makeColumn(const SchemaColumn &column);
NodePtr makeDate(const QDate &date);
NodePtr makeCompare(CompareOp op, NodePtr left, NodePtr right);
NodePtr makeAnd(NodePtr left, NodePtr right);
NodePtr makeSum(NodePtr amount);

bool containsAggregate(const NodePtr &node);
// Lower-case names of the tables whose columns the expression reads.
QSet<QString> tablesOf(const NodePtr &node);

// SQL text with its values, bound in order at the "?" placeholders. Columns are quoted names of
// the schema; every literal is a bound value. Amounts are whole cents (INTEGER) throughout, so
// sums are exact; a column's amount is rounded to the cent as it is read.
struct SqlText
{
    QString text;
    QVariantList binds;

    SqlText &operator<<(const QString &part)
    {
        text += part;
        return *this;
    }
    SqlText &operator<<(QChar part)
    {
        text += part;
        return *this;
    }
    SqlText &operator<<(const SqlText &part)
    {
        text += part.text;
        binds += part.binds;
        return *this;
    }
};

// The value SELECIONADO() stands for: a QString for texts and dates ("yyyy-MM-dd"), cents for
// amounts; an invalid QVariant (SQL NULL, which equals nothing) when the selection fixes none.
using SelectedValue = std::function<QVariant(const SchemaColumn &column)>;

// The engine the text is for. The two read the same SQL but for what the server is told here:
// a column's amount rounded to the cent as SQLite's ROUND rounds it (half away from zero, where
// the server's rounds half to even) into a 64-bit integer, sums of cents kept as integers, and
// amounts and numbers bound where nothing around them says their type.
enum class SqlDialect { Sqlite, PostgreSql };

// The dialect of a connection's engine.
SqlDialect dialectOf(const QSqlDatabase &db);

SqlText toSql(const NodePtr &node, const SelectedValue &selected = {},
              SqlDialect dialect = SqlDialect::Sqlite);

} // namespace tessal::reports
