#pragma once

#include "reports/expression.h"

#include <QDate>
#include <QString>
#include <QVariant>
#include <optional>

namespace tessal::reports {

// A selection formula as the financial reports window builds it, read once: its condition, and
// what a layout may take from it (the period on a date column, the value it fixes for a column).
class Selection
{
public:
    // Throws tessal::Error naming the position when the text cannot be read, or when it asks for
    // an empty code ("{lancamentos.cd_conta}=''": no account was chosen).
    static Selection parse(const QString &formula);

    const QString &text() const { return m_text; }
    const NodePtr &condition() const { return m_condition; }

    // The days a date column is held to by conditions joined with AND at the top of the formula
    // ("{t.dt} >= #2026/03/01# AND {t.dt} <= #2026/03/31#"), both ends included. `simple` is false
    // when the column also appears anywhere else (inside OR, NOT, "<>" or beside another column):
    // its days are then not a plain range.
    struct Period
    {
        std::optional<QDate> from;
        std::optional<QDate> to;
        bool simple = true;
    };
    Period period(const SchemaColumn &column) const;

    // The rows the formula would select were its period on `column` moved back to before `from`:
    // its other top-level conditions and "column < from". For the balance brought forward.
    NodePtr before(const SchemaColumn &column, const QDate &from) const;

    // The value a top-level "{t.c} = literal" fixes (a QString for texts and dates as stored,
    // cents for amounts); an invalid QVariant when the formula fixes none, or two different ones.
    QVariant fixedValue(const SchemaColumn &column) const;

private:
    QString m_text;
    NodePtr m_condition;
    std::vector<NodePtr> m_conjuncts; // the conditions joined by AND at the top
};

} // namespace tessal::reports
