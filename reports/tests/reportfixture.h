#pragma once

// A cash database holding a few accounts with entries around March 2026, chosen to cross the
// edges the reports must get right: entries before, on the first and last day of, and after the
// period, a stored date with a time, cents that do not add up in binary, half a cent exactly,
// amounts past a million and past 21 million (the most cents a 32-bit integer holds), an entry
// whose description was deleted, one whose status counts in neither total, an apostrophe in an
// account's code and in a name. The expected figures are worked out here from plain SQL, apart
// from the report engine.
//
// The database is on this run's engine (test::ScratchDataSource): a data directory, or a scratch
// database of the test server when the test runs as <name>_pg. The layouts are kept where the
// program keeps them: in the data directory, or on a server installation in a local directory.

#include "core/money.h"
#include "data/database.h"
#include "testsupport/scratchdata.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

namespace tessal::reports::test {

using namespace Qt::StringLiterals;

struct ExpectedEntry
{
    QString code;
    QDate date;
    QString status;
    Cents amount;
    Cents signedAmount() const
    {
        return status == u"C"_s ? amount : status == u"D"_s ? -amount : 0;
    }
};

class CashFixture
{
public:
    // This run's engine, or a data directory whatever the run (to compare the two engines).
    enum class Engine { ThisRun, Files };

    // With `busyEntries`, account 0001 also gets that many entries spread over March 2026. On a
    // run for the server without one, skipped() is true and nothing is made: see
    // TESSAL_REQUIRE_FIXTURE.
    explicit CashFixture(int busyEntries = 0, Engine engine = Engine::ThisRun)
    {
        QVERIFY(m_dir.isValid());
        if (engine == Engine::ThisRun) {
            m_source = std::make_unique<tessal::test::ScratchDataSource>();
            if (!m_source->isValid())
                return;
            m_dataDir = m_source->dataDirectory();
            m_path = m_source->cashPath();
        } else {
            m_dataDir = m_dir.filePath(u"dados"_s);
            data::ensureDataDirectory(m_dataDir);
            m_path = data::cashDatabasePath(m_dataDir);
        }
        m_layoutDir = onServer() ? m_dir.filePath(u"dados-locais"_s) : m_dataDir;
        QVERIFY(QDir().mkpath(m_layoutDir));
        run(u"INSERT INTO contas VALUES ('0001', 'Caixa Loja'), ('0003', 'Banco D''Ávila'), "
            "('0''5', 'Conta do Apóstrofo'), ('0007', 'Sem Movimento')"_s);
        run(u"INSERT INTO historicos VALUES ('00001', 'Venda à vista', 'C'), "
            "('00002', 'Compra de mercadorias', 'D'), ('00003', 'Aluguel', 'D'), "
            "('00004', 'Rendimento', 'C')"_s);
        const QStringList entries = {
            // account 0003: two before March, March with its edges, one after
            u"('0000000001', '0003', '00001', 'antes um', 1000.00, '2026-02-10', 'C')"_s,
            u"('0000000002', '0003', '00002', 'antes dois', 250.35, '2026-02-28', 'D')"_s,
            u"('0000000003', '0003', '00001', 'primeiro dia', 0.10, '2026-03-01', 'C')"_s,
            u"('0000000004', '0003', '00004', 'primeiro dia', 0.20, '2026-03-01', 'C')"_s,
            u"('0000000012', '0003', '00003', 'mesmo dia código maior', 1234567.89, "
            "'2026-03-10', 'D')"_s,
            u"('0000000011', '0003', '00001', 'mesmo dia código menor', 1500000.00, "
            "'2026-03-10', 'C')"_s,
            u"('0000000013', '0003', '00009', 'histórico apagado', 10.00, '2026-03-20', 'C')"_s,
            u"('0000000014', '0003', '00002', 'status estranho', 99.00, '2026-03-22', 'd')"_s,
            u"('0000000015', '0003', '00002', 'último dia com hora', 45.00, "
            "'2026-03-31 10:30:00', 'D')"_s,
            u"('0000000016', '0003', '00001', 'depois', 77.77, '2026-04-01', 'C')"_s,
            u"('0000000017', '0003', '00004', 'meio centavo', 2.125, '2026-03-15', 'C')"_s,
            u"('0000000018', '0003', '00004', 'acima de 21 milhões', 25000000.00, "
            "'2026-03-16', 'C')"_s,
            // account 0001, so that the account in the formula matters
            u"('0000000020', '0001', '00001', 'outra conta', 500.00, '2026-03-05', 'C')"_s,
            u"('0000000021', '0001', '00003', 'outra conta', 120.50, '2026-03-06', 'D')"_s,
            // the account with an apostrophe in its code
            u"('0000000030', '0''5', '00001', 'apóstrofo', 12.34, '2026-03-07', 'C')"_s,
        };
        for (const QString &row : entries)
            run(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, "
                "ds_complemento, vl_lancamento, dt_lancamento, cd_status) VALUES "_s +
                row);
        if (busyEntries > 0) {
            QSqlDatabase db = data::openDatabase(m_path);
            QVERIFY(db.transaction());
            QSqlQuery query(db);
            query.prepare(u"INSERT INTO lancamentos (cd_lancamento, cd_conta, cd_historico, "
                          "ds_complemento, vl_lancamento, dt_lancamento, cd_status) VALUES "
                          "(?, '0001', ?, ?, ?, ?, ?)"_s);
            for (int i = 0; i < busyEntries; ++i) {
                const bool credit = i % 3 != 0;
                query.addBindValue(u"1%1"_s.arg(i, 9, 10, QLatin1Char('0')));
                query.addBindValue(credit ? u"00001"_s : u"00003"_s);
                query.addBindValue(u"movimento %1"_s.arg(i));
                query.addBindValue(double((i * 7919) % 100000) / 100.0 + 1);
                query.addBindValue(QDate(2026, 3, 1 + i % 31).toString(u"yyyy-MM-dd"_s));
                query.addBindValue(credit ? u"C"_s : u"D"_s);
                if (!query.exec())
                    QFAIL(qPrintable(query.lastError().text()));
            }
            QVERIFY(db.commit());
        }
    }
    ~CashFixture()
    {
        if (!m_source && !m_path.isEmpty())
            data::closeDatabase(m_path);
    }

    bool skipped() const { return m_source && m_source->skipped(); }
    QString error() const { return m_source ? m_source->error() : QString(); }
    bool onServer() const { return m_source && m_source->onServer(); }
    // What sys.ini would name: the data directory, or the server's URI.
    const QString &dataDir() const { return m_dataDir; }
    const QString &path() const { return m_path; }
    // Where the layouts are installed.
    const QString &layoutDir() const { return m_layoutDir; }
    QString layout(const QString &name) const { return QDir(m_layoutDir).filePath(name); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

    void run(const QString &sql) const
    {
        QSqlQuery query(data::openDatabase(m_path));
        if (!query.exec(sql))
            QFAIL(qPrintable(query.lastError().text() + u" in: "_s + sql));
    }

    // Every entry of the account in date-then-code order, straight from the table.
    std::vector<ExpectedEntry> entries(const QString &account) const
    {
        QSqlQuery query(data::openDatabase(m_path));
        query.prepare(u"SELECT cd_lancamento, dt_lancamento, cd_status, vl_lancamento FROM "
                      "lancamentos WHERE cd_conta = ? ORDER BY dt_lancamento, cd_lancamento"_s);
        query.addBindValue(account);
        query.exec();
        std::vector<ExpectedEntry> list;
        while (query.next())
            list.push_back({query.value(0).toString(),
                            data::fromStoredDate(query.value(1).toString()),
                            query.value(2).toString(), centsFromDouble(query.value(3).toDouble())});
        return list;
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<tessal::test::ScratchDataSource> m_source;
    QString m_dataDir;
    QString m_path;
    QString m_layoutDir;
};

// The text of a PDF as pdftotext reads it, columns kept in place; pages end with a form feed.
inline QString pdfText(const QString &pdf)
{
    const QString tool = QStandardPaths::findExecutable(u"pdftotext"_s);
    if (tool.isEmpty()) {
        QTest::qFail("pdftotext is missing: install poppler-utils (scripts/install-deps.sh)",
                     __FILE__, __LINE__);
        return {};
    }
    QProcess process;
    process.start(tool, {u"-layout"_s, u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        QTest::qFail(qPrintable(u"pdftotext failed on "_s + pdf + u": "_s +
                                QString::fromUtf8(process.readAllStandardError())),
                     __FILE__, __LINE__);
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The amounts of a line of text, as the reports print them ("1.234,56", "-20,00"), with the
// column where each ends.
struct PrintedAmount
{
    Cents cents;
    qsizetype end;
};

inline std::vector<PrintedAmount> amountsIn(const QString &line)
{
    static const QRegularExpression amount(
        u"(?<![\\d.,])-?\\d{1,3}(?:\\.\\d{3})*,\\d{2}(?![\\d,])"_s);
    std::vector<PrintedAmount> found;
    for (const QRegularExpressionMatch &m : amount.globalMatch(line)) {
        QString digits = m.captured();
        digits.remove(u'.').replace(u',', u'.');
        found.push_back({qRound64(digits.toDouble() * 100), m.capturedEnd()});
    }
    return found;
}

} // namespace tessal::reports::test

// Skips the rest of a test, saying why, when this is the server run and there is no test server;
// fails when the fixture's database could not be made.
#define TESSAL_REQUIRE_FIXTURE(fixture)                                                            \
    do {                                                                                           \
        if ((fixture).skipped())                                                                   \
            QSKIP(qPrintable(tessal::test::noServerReason()));                                     \
        QVERIFY2((fixture).error().isEmpty(), qPrintable((fixture).error()));                      \
    } while (false)
