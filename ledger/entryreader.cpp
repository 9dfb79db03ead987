#include "ledger/entryreader.h"

#include "core/error.h"
#include "data/database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

namespace tessal::ledger {

using namespace Qt::StringLiterals;

namespace {

// The grid's join, with the fields named so a row does not depend on how the engine names
// duplicate columns; the key comes first in the order the index holds it.
const QString Select =
    u"SELECT l.cd_lancamento, l.cd_conta, l.cd_historico, h.ds_historico, h.cd_tipo, "
    "l.ds_complemento, l.vl_lancamento, l.dt_lancamento, l.cd_status, l.vl_saldo, l.cd_baixa "
    "FROM lancamentos l INNER JOIN historicos h ON l.cd_historico = h.cd_historico "
    "WHERE l.cd_conta = ?"_s;

const QString FirstSql = Select + u" ORDER BY l.dt_lancamento, l.cd_lancamento LIMIT ?"_s;
const QString AfterSql = Select + u" AND (l.dt_lancamento, l.cd_lancamento) > (?, ?) "
                                  "ORDER BY l.dt_lancamento, l.cd_lancamento LIMIT ?"_s;
const QString BeforeSql = Select + u" AND (l.dt_lancamento, l.cd_lancamento) < (?, ?) "
                                   "ORDER BY l.dt_lancamento DESC, l.cd_lancamento DESC LIMIT ?"_s;
const QString LastSql = Select + u" ORDER BY l.dt_lancamento DESC, l.cd_lancamento DESC LIMIT ?"_s;
const QString CountSql = u"SELECT COUNT(*) FROM lancamentos l INNER JOIN historicos h "
                         "ON l.cd_historico = h.cd_historico WHERE l.cd_conta = ?"_s;

[[noreturn]] void fail(const QSqlQuery &query, const QString &sql)
{
    const QSqlError error = query.lastError();
    const QString engine = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    throw Error(ErrorNumber::DatabaseError,
                u"O banco de dados recusou a instrução: %1"_s.arg(engine), sql);
}

} // namespace

EntryReader::EntryReader(QString databasePath, QString account)
    : m_path(std::move(databasePath))
    , m_account(std::move(account))
{}

QList<EntryRow> EntryReader::first(int limit) const
{
    return read(FirstSql, std::nullopt, limit, false);
}

QList<EntryRow> EntryReader::after(const EntryKey &key, int limit) const
{
    return read(AfterSql, key, limit, false);
}

QList<EntryRow> EntryReader::before(const EntryKey &key, int limit) const
{
    return read(BeforeSql, key, limit, true);
}

QList<EntryRow> EntryReader::last(int limit) const
{
    return read(LastSql, std::nullopt, limit, true);
}

qint64 EntryReader::count() const
{
    QSqlQuery query(data::openDatabase(m_path));
    query.setForwardOnly(true);
    if (!query.prepare(CountSql))
        fail(query, CountSql);
    query.addBindValue(m_account);
    if (!query.exec() || !query.next())
        fail(query, CountSql);
    return query.value(0).toLongLong();
}

QList<EntryRow> EntryReader::read(const QString &sql, const std::optional<EntryKey> &key, int limit,
                                  bool reversed) const
{
    QSqlQuery query(data::openDatabase(m_path));
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        fail(query, sql);
    query.addBindValue(m_account);
    if (key) {
        query.addBindValue(key->storedDate);
        query.addBindValue(key->code);
    }
    query.addBindValue(std::max(limit, 0));
    if (!query.exec())
        fail(query, sql);

    QList<EntryRow> rows;
    rows.reserve(std::max(limit, 0));
    while (query.next()) {
        EntryRow row;
        row.code = query.value(0).toString();
        row.account = query.value(1).toString();
        row.description = query.value(2).toString();
        row.descriptionText = query.value(3).toString();
        row.descriptionType = query.value(4).toString();
        row.remark = query.value(5).toString();
        row.amount = query.value(6).isNull() ? 0.0 : query.value(6).toDouble();
        row.storedDate = query.value(7).toString();
        row.date = data::fromStoredDate(row.storedDate);
        row.status = query.value(8).toString();
        if (!query.value(9).isNull())
            row.balance = query.value(9).toDouble();
        row.settlement = query.value(10).toString();
        rows.append(std::move(row));
    }
    if (reversed)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

} // namespace tessal::ledger
