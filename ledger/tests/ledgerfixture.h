#pragma once

// A cash database with a few accounts and descriptions, on this run's engine (a file in a
// temporary directory, or a scratch database of the test server), and the checks the ledger
// tests share.

#include "core/money.h"
#include "data/database.h"
#include "ledger/consistency.h"
#include "testsupport/scratchdata.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace tessal::ledger::test {

using namespace Qt::StringLiterals;

// Descriptions of every kind the stored status can take.
inline const QString Credit = u"00001"_s;     // "C"
inline const QString Debit = u"00002"_s;      // "D"
inline const QString LowerDebit = u"00003"_s; // "d": counts in no total
inline const QString Untyped = u"00004"_s;    // no cd_tipo at all
inline const QString Credit2 = u"00005"_s;    // a second "C"

class CashFile
{
public:
    // A test's init() checks source() with TESSAL_REQUIRE_DATA_SOURCE before using the file.
    CashFile()
    {
        if (!m_source.isValid())
            return;
        m_path = m_source.cashPath();
        run(u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco'), ('003', 'Cofre')"_s);
        run(u"INSERT INTO historicos VALUES ('00001', 'Venda', 'C'), ('00002', 'Compra', 'D'), "
            "('00003', 'Estranho', 'd'), ('00004', 'Sem tipo', NULL), ('00005', 'Aporte', 'C')"_s);
    }
    const tessal::test::ScratchDataSource &source() const { return m_source; }
    const QString &path() const { return m_path; }

    void run(const QString &sql) const
    {
        QSqlQuery query(data::openDatabase(m_path));
        if (!query.exec(sql))
            QFAIL(qPrintable(query.lastError().text() + u" in: "_s + sql));
    }

    // Every stored field of every entry, to show that a refused or failed change left nothing.
    QStringList snapshot() const
    {
        QSqlQuery query(data::openDatabase(m_path));
        query.exec(u"SELECT cd_lancamento, cd_conta, cd_historico, ds_complemento, "
                   "vl_lancamento, dt_lancamento, cd_status, vl_saldo, cd_baixa FROM lancamentos "
                   "ORDER BY cd_lancamento"_s);
        QStringList rows;
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < 9; ++i)
                fields << (query.isNull(i) ? u"<null>"_s : query.value(i).toString());
            rows << fields.join(u'|');
        }
        return rows;
    }

    // vl_saldo of the account's entries in date-then-code order (undated entries first, as a
    // file sorts them), as code -> balance.
    std::vector<std::pair<QString, double>> balances(const QString &account) const
    {
        QSqlQuery query(data::openDatabase(m_path));
        query.prepare(u"SELECT cd_lancamento, vl_saldo FROM lancamentos WHERE cd_conta = ? "
                      "ORDER BY dt_lancamento NULLS FIRST, cd_lancamento"_s);
        query.addBindValue(account);
        query.exec();
        std::vector<std::pair<QString, double>> rows;
        while (query.next())
            rows.emplace_back(query.value(0).toString(),
                              query.isNull(1) ? std::nan("") : query.value(1).toDouble());
        return rows;
    }

    QList<double> balanceList(const QString &account) const
    {
        QList<double> list;
        for (const auto &row : balances(account))
            list << row.second;
        return list;
    }

    // The accounts, by code, whose stored balances are not the running sums of their entries:
    // every vl_saldo must equal the sum from 0 of the account's entries in date-then-code order
    // (undated first), "C" adding and "D" subtracting vl_lancamento in cents. Summed here from a
    // plain read of every entry, apart from the ledger and from the program's balance check
    // (which reads files only), so that it judges either engine.
    QStringList wrongBalances() const
    {
        QSqlQuery query(data::openDatabase(m_path));
        query.setForwardOnly(true);
        if (!query.exec(u"SELECT cd_conta, vl_lancamento, cd_status, vl_saldo FROM lancamentos "
                        "WHERE cd_conta IS NOT NULL "
                        "ORDER BY cd_conta, dt_lancamento NULLS FIRST, cd_lancamento"_s))
            return {u"(a leitura falhou: %1)"_s.arg(query.lastError().text())};
        QStringList wrong;
        QString account;
        Cents running = 0;
        while (query.next()) {
            if (query.value(0).toString() != account) {
                account = query.value(0).toString();
                running = 0;
            }
            const Cents amount = query.isNull(1) ? 0 : centsFromDouble(query.value(1).toDouble());
            const QString status = query.value(2).toString();
            running += status == u"C" ? amount : (status == u"D" ? -amount : 0);
            const bool right =
                !query.isNull(3) && query.value(3).toDouble() == doubleFromCents(running);
            if (!right && (wrong.isEmpty() || wrong.last() != account))
                wrong << account;
        }
        return wrong;
    }

private:
    tessal::test::ScratchDataSource m_source;
    QString m_path;
};

// Moves every change into the file itself, closes every connection to it and overwrites the first
// bytes of the root page of one of its indexes, as a disk fault would: the page is no b-tree page
// any more, which PRAGMA integrity_check reports while the table itself still reads.
inline void damageIndexPage(const QString &path, const QString &index)
{
    qint64 page = 0;
    qint64 pageSize = 0;
    {
        QSqlQuery query(data::openDatabase(path));
        query.prepare(u"SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM "
                      "sqlite_master WHERE name = ?"_s);
        query.addBindValue(index);
        QVERIFY2(query.exec() && query.next(), qPrintable(query.lastError().text()));
        page = query.value(0).toLongLong();
        pageSize = query.value(1).toLongLong();
        // Every committed change into the file itself, so that nothing in the -wal file lies
        // over the damaged page.
        QVERIFY2(query.exec(u"PRAGMA wal_checkpoint(TRUNCATE)"_s) && query.next() &&
                     query.value(0).toInt() == 0,
                 qPrintable(query.lastError().text()));
    }
    data::closeDatabase(path);
    QVERIFY(page > 1);
    QCOMPARE(QFileInfo(path + u"-wal"_s).size(), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek((page - 1) * pageSize));
    QCOMPARE(file.write(QByteArray(16, '\xEE')), 16);
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace tessal::ledger::test
