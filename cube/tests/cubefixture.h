#pragma once

#include "cube/rowsource.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

namespace tessal::cube {
class Cube;
}

namespace tessal::cube::test {

// A small cash database with the tables the analysis cube joins, filled with deterministic
// pseudo-random entries over three years, and one entry whose settlement type has no row (it must
// stay out of every total).
class CashFixture
{
public:
    explicit CashFixture(int entries = 1500, quint32 seed = 7);
    ~CashFixture();
    CashFixture(const CashFixture &) = delete;
    CashFixture &operator=(const CashFixture &) = delete;

    QSqlDatabase database() const;
    QString path() const { return m_path; }

    // SQL expression over the join aliases l, h, c, b for a field caption of the analysis cube
    static QString oracleExpression(const QString &caption);
    static QString oracleFrom();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// A six-row table (region, product, year, amount) whose grids the tests work out by hand, and
// the cube over it: region and product on rows, year on columns, the sum of amounts ("Valor",
// "#,##0.00") and their count ("Quantidade") as data fields.
RowTable smallCubeTable();
void defineSmallCube(Cube &cube);

// Five entries (account, year, amount) and the cube over them as the analysis window names its
// data fields: account on rows, year on columns, the sum of amounts ("Valor",
// "sumVL_LANCAMENTO", "#,##0.00") and their count ("Quantidade", "countVL_LANCAMENTO"). The
// sums: Banco 30 in 2023 and 190 in 2024, Caixa 75 and 120; 415 in all.
RowTable entriesTable();
void defineEntriesCube(Cube &cube);

} // namespace tessal::cube::test
