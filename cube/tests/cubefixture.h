#pragma once

#include "cube/rowsource.h"
#include "testsupport/scratchdata.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace tessal::cube {
class Cube;
}

namespace tessal::cube::test {

// A small cash database with the tables the analysis cube joins, filled with deterministic
// pseudo-random entries over three years, and one entry whose settlement type has no row (it must
// stay out of every total). It lives on this run's engine (a file in a temporary directory, or a
// scratch database of the test server), or in a SQLite file whatever the run when asked; a test
// checks it with TESSAL_REQUIRE_DATA_SOURCE(fixture) before using it.
class CashFixture
{
public:
    enum class Engine { OfTheRun, SqliteFile };

    explicit CashFixture(int entries = 1500, quint32 seed = 7, Engine engine = Engine::OfTheRun);
    ~CashFixture();
    CashFixture(const CashFixture &) = delete;
    CashFixture &operator=(const CashFixture &) = delete;

    bool skipped() const { return m_source && m_source->skipped(); }
    bool isValid() const { return !m_path.isEmpty(); }
    QString error() const { return m_source ? m_source->error() : m_dir->errorString(); }
    bool onServer() const { return m_source && m_source->onServer(); }

    QSqlDatabase database() const;
    // the file's path, or the server database's URI: what the cube's DatabaseName holds
    QString path() const { return m_path; }

    // SQL expression over the join aliases l, h, c, b for a field caption of the analysis cube,
    // written for this fixture's engine without its datepart
    QString oracleExpression(const QString &caption) const;
    static QString oracleFrom();

private:
    void fill(int entries, quint32 seed);

    std::unique_ptr<tessal::test::ScratchDataSource> m_source;
    std::optional<QTemporaryDir> m_dir;
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
