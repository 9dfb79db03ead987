#pragma once

#include "core/error.h" // every function here throws tessal::Error

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <functional>

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

// A row refused because a key it carries is already taken (a primary key or a unique index);
// an Error like any other (ErrorNumber::DatabaseError) for code that does not look closer.
class DuplicateKeyError : public Error
{
public:
    using Error::Error;
};

// True when the engine refused a statement for a duplicate primary or unique key.
bool isDuplicateKey(const QSqlError &error);

// Stores a new row of a cash table under `code`, which nextCode() gave some time before and
// which another workstation may have taken since. `insert` writes the row under the code it is
// given (throwing DuplicateKeyError when the key refuses it), inside a transaction of its own.
// When the code turns out taken, that transaction is rolled back and the row goes under the next
// free code in a fresh one, at most `attempts` times in all. Returns the code the row got.
//
// Throws, with nothing stored: DuplicateKeyError when every attempt found its code taken, or when
// the refusal was not about the code at all (another unique value of the row); CodeOverflow when
// no code is left; whatever `insert` throws otherwise.
QString insertUnderFreeCode(QSqlDatabase db, const QString &table, const QString &code,
                            const std::function<void(const QString &code)> &insert,
                            int attempts = 5);

} // namespace tessal::data
