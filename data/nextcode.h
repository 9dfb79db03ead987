#pragma once

#include "core/error.h" // every function here throws tessal::Error

#include <QSqlDatabase>
#include <QString>

namespace tessal::data {

// Code widths of the cash tables: contas, baixas, usuarios 3; historicos 5; lancamentos 10.
// Returns 0 for a table without a code.
int codeWidth(const QString &table);
// The code field of a cash table ("cd_conta" for contas, ...); empty for an unknown table.
QString codeField(const QString &table);

// The next code of a table: "1" zero-padded to width when the table is empty, else its highest
// code plus 1, padded. One indexed query (ORDER BY code DESC LIMIT 1), so it costs the same on a
// million entries as on ten. Codes compare as text, so a code wider than the table's width would
// break their order: the 1000th account is refused with ErrorNumber::CodeOverflow instead.
QString nextCode(QSqlDatabase db, const QString &table, const QString &codeField, int width);
// The same with the table's own code field and width.
QString nextCode(QSqlDatabase db, const QString &table);

} // namespace tessal::data
