#include "data/demodata.h"

#include "core/error.h"
#include "core/money.h"
#include "data/database.h"
#include "data/sqlerror.h"
#include "data/sqlite.h"

#include <QSqlQuery>
#include <random>
#include <sqlite3.h>
#include <vector>

namespace tessal::data {

namespace {

const char *const AccountNames[] = {
    "Caixa",          "Banco do Brasil", "Itaú",       "Bradesco", "Caixa Econômica",
    "Santander",      "Poupança",        "Cofre",      "Sicredi",  "Banco Inter",
    "Fundo de Troco", "Caixa Filial",    "Nubank",     "Sicoob",   "Banrisul",
    "Caixa Eventos",  "Conta Salário",   "Aplicações", "Cartão",   "Reserva",
};

struct Description
{
    const char *name;
    char type;
    int minCents;
    int maxCents;
};

const Description Descriptions[] = {
    {"Venda à vista", 'C', 5000, 300000},
    {"Recebimento de cliente", 'C', 10000, 500000},
    {"Depósito", 'C', 20000, 400000},
    {"Rendimento de aplicação", 'C', 100, 20000},
    {"Suprimento de caixa", 'C', 5000, 100000},
    {"Compra de mercadorias", 'D', 5000, 250000},
    {"Pagamento de fornecedor", 'D', 10000, 300000},
    {"Aluguel", 'D', 150000, 250000},
    {"Energia elétrica", 'D', 10000, 60000},
    {"Água", 'D', 3000, 20000},
    {"Telefone e internet", 'D', 8000, 30000},
    {"Salários", 'D', 100000, 500000},
    {"Impostos", 'D', 5000, 200000},
    {"Tarifa bancária", 'D', 500, 5000},
    {"Sangria de caixa", 'D', 5000, 100000},
    {"Material de escritório", 'D', 1000, 30000},
};

const char *const Settlements[][2] = {
    {"002", "Dinheiro"},      {"003", "Cheque"}, {"004", "Cartão"},
    {"005", "Transferência"}, {"006", "Boleto"},
};

QString padded(qint64 value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

void requireFresh(QSqlQuery &query, const QString &path)
{
    execOrThrow(query, QStringLiteral("SELECT (SELECT count(*) FROM contas) + "
                                      "(SELECT count(*) FROM lancamentos)"));
    if (query.next() && query.value(0).toLongLong() > 0)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("O banco de dados \"%1\" já tem contas ou lançamentos; os dados "
                                   "de demonstração só são gerados num diretório de dados novo.")
                        .arg(path),
                    QStringLiteral("caixa.mdb"));
}

// The entries go through the C interface: a million rows through QSqlQuery's bind-and-exec cost
// several times more than the inserts themselves.
class EntryWriter
{
public:
    explicit EntryWriter(sqlite3 *db)
        : m_insert(db, QStringLiteral("INSERT INTO lancamentos (cd_lancamento, cd_conta, "
                                      "cd_historico, ds_complemento, vl_lancamento, dt_lancamento, "
                                      "cd_status, vl_saldo, cd_baixa) VALUES (?, ?, ?, ?, ?, ?, ?, "
                                      "?, ?)"))
    {}

    void write(const QByteArray &code, const QByteArray &account, const QByteArray &description,
               const QByteArray &remark, qint64 amountCents, const QByteArray &date, char status,
               qint64 balanceCents, const QByteArray &settlement)
    {
        const QByteArray statusText(1, status);
        m_insert.bindStatic(1, code);
        m_insert.bindStatic(2, account);
        m_insert.bindStatic(3, description);
        m_insert.bindStatic(4, remark);
        m_insert.bind(5, doubleFromCents(amountCents));
        m_insert.bindStatic(6, date);
        m_insert.bindStatic(7, statusText);
        m_insert.bind(8, doubleFromCents(balanceCents));
        m_insert.bindStatic(9, settlement);
        m_insert.step();
        m_insert.reset();
    }

private:
    SqliteStatement m_insert;
};

} // namespace

void generateDemoData(const QString &dataDir, const DemoOptions &options)
{
    if (options.accounts < 1 || options.accounts > 999 || options.entries < 0 || options.days < 1 ||
        !options.lastDate.isValid())
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("Opções inválidas para os dados de demonstração."), dataDir);

    ensureDataDirectory(dataDir);
    const QString path = cashDatabasePath(dataDir);
    QSqlDatabase db = openDatabase(path);
    QSqlQuery query(db);
    requireFresh(query, path);

    // A large page cache for the bulk insert keeps the four indexes of lancamentos in memory;
    // the connection's usual size is put back afterwards.
    execOrThrow(query, QStringLiteral("PRAGMA cache_size"));
    const QVariant usualCache = query.next() ? query.value(0) : QVariant(-2000);
    execOrThrow(query, QStringLiteral("PRAGMA cache_size=-262144"));
    struct RestoreCache
    {
        QSqlQuery &query;
        QVariant size;
        ~RestoreCache() { query.exec(QStringLiteral("PRAGMA cache_size=%1").arg(size.toInt())); }
    } restoreCache{query, usualCache};

    Transaction transaction(db);

    prepareOrThrow(query, QStringLiteral("INSERT INTO contas (cd_conta, ds_conta) VALUES (?, ?)"));
    const int namedAccounts = int(std::size(AccountNames));
    for (int a = 1; a <= options.accounts; ++a) {
        query.addBindValue(padded(a, 3));
        query.addBindValue(a <= namedAccounts ? QString::fromUtf8(AccountNames[a - 1])
                                              : QStringLiteral("Conta %1").arg(a));
        execOrThrow(query);
    }

    prepareOrThrow(query, QStringLiteral("INSERT INTO historicos (cd_historico, ds_historico, "
                                         "cd_tipo) VALUES (?, ?, ?)"));
    const int descriptionCount = int(std::size(Descriptions));
    for (int h = 0; h < descriptionCount; ++h) {
        query.addBindValue(padded(h + 1, 5));
        query.addBindValue(QString::fromUtf8(Descriptions[h].name));
        query.addBindValue(QString(QLatin1Char(Descriptions[h].type)));
        execOrThrow(query);
    }

    prepareOrThrow(
        query, QStringLiteral("INSERT OR IGNORE INTO baixas (cd_baixa, ds_baixa) VALUES (?, ?)"));
    for (const auto &settlement : Settlements) {
        query.addBindValue(QString::fromLatin1(settlement[0]));
        query.addBindValue(QString::fromUtf8(settlement[1]));
        execOrThrow(query);
    }

    if (!options.supervisorPasswordHash.isEmpty()) {
        prepareOrThrow(query, QStringLiteral("INSERT INTO usuarios (cd_usuario, usuario, senha) "
                                             "VALUES ('001', ?, ?)"));
        query.addBindValue(options.supervisorName);
        query.addBindValue(options.supervisorPasswordHash);
        execOrThrow(query);
    }

    // Entries are generated in date order and numbered as they are generated, so date-then-code
    // order is generation order and each account's balance is a running sum taken on the way.
    std::mt19937 random(options.seed);
    // The first account is the busy till: three shares against one for every other account.
    std::uniform_int_distribution<int> pickShare(0, options.accounts + 1);
    std::vector<const Description *> creditDescriptions, debitDescriptions;
    for (const Description &d : Descriptions)
        (d.type == 'C' ? creditDescriptions : debitDescriptions).push_back(&d);
    std::uniform_int_distribution<int> pickPercent(0, 99);
    std::vector<qint64> balances(size_t(options.accounts), 0);

    std::vector<QByteArray> accountCodes, descriptionCodes;
    for (int a = 1; a <= options.accounts; ++a)
        accountCodes.push_back(padded(a, 3).toLatin1());
    for (int h = 1; h <= descriptionCount; ++h)
        descriptionCodes.push_back(padded(h, 5).toLatin1());
    std::vector<QByteArray> settlementCodes = {QByteArrayLiteral("001")};
    for (const auto &settlement : Settlements)
        settlementCodes.push_back(QByteArray(settlement[0]));

    EntryWriter writer(requireSqliteHandle(db, path));
    const QDate firstDate = options.lastDate.addDays(1 - options.days);
    QDate currentDate;
    QByteArray dateText;
    for (qint64 i = 0; i < options.entries; ++i) {
        const QDate date = firstDate.addDays(i * options.days / std::max(options.entries, 1));
        if (date != currentDate) {
            currentDate = date;
            dateText = toStoredDate(date).toLatin1();
        }
        const int share = pickShare(random);
        const int account = share <= 2 ? 0 : share - 2;
        // Type first, then a description of that type: there are more kinds of expense than of
        // income, and picking among all of them alike would drive every account deep into red.
        const bool credit = pickPercent(random) < 45;
        const auto &ofType = credit ? creditDescriptions : debitDescriptions;
        const Description &description =
            *ofType[std::uniform_int_distribution<size_t>(0, ofType.size() - 1)(random)];
        const qint64 amount = std::uniform_int_distribution<qint64>(description.minCents,
                                                                    description.maxCents)(random);
        qint64 &balance = balances[size_t(account)];
        balance += description.type == 'C' ? amount : -amount;
        const int percent = pickPercent(random);
        // Most entries keep the default settlement; a few carry another one.
        const QByteArray &settlement =
            percent < 80 ? settlementCodes[0]
                         : settlementCodes[1 + size_t(percent) % (settlementCodes.size() - 1)];
        const QByteArray remark =
            percent % 3 == 0 ? QByteArray() : "Doc. " + QByteArray::number(100000 + i);
        writer.write(padded(i + 1, 10).toLatin1(), accountCodes[size_t(account)],
                     descriptionCodes[size_t(&description - Descriptions)], remark, amount,
                     dateText, description.type, balance, settlement);
    }
    transaction.commit();
}

} // namespace tessal::data
