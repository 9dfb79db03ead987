#include "cubefixture.h"

#include "cube/cube.h"
#include "data/database.h"

#include <QDate>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

namespace tessal::cube::test {

CashFixture::CashFixture(int entries, quint32 seed, Engine engine)
{
    if (engine == Engine::OfTheRun) {
        m_source = std::make_unique<tessal::test::ScratchDataSource>();
        if (!m_source->isValid())
            return;
        m_path = m_source->cashPath();
    } else {
        m_dir.emplace();
        if (!m_dir->isValid())
            return;
        m_path = m_dir->filePath(u"caixa.mdb"_s);
        tessal::data::createCashDatabase(m_path);
    }
    fill(entries, seed);
}

void CashFixture::fill(int entries, quint32 seed)
{
    QSqlDatabase db = tessal::data::openDatabase(m_path);
    QSqlQuery q(db);
    auto run = [&q](const QVariantList &values) {
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            qFatal("fixture insert failed: %s", qPrintable(q.lastError().text()));
    };
    auto prepare = [&q](const QString &sql) {
        if (!q.prepare(sql))
            qFatal("fixture statement refused: %s", qPrintable(q.lastError().text()));
    };
    if (!db.transaction())
        qFatal("fixture transaction refused: %s", qPrintable(db.lastError().text()));
    const QStringList contas{u"Caixa"_s, u"Banco do Brasil"_s, u"Itaú"_s, u"Poupança"_s};
    prepare(u"INSERT INTO contas VALUES (?, ?)"_s);
    for (int i = 0; i < contas.size(); ++i)
        run({u"%1"_s.arg(i + 1, 3, 10, QChar(u'0')), contas[i]});
    const QList<std::pair<QString, QString>> historicos{
        {u"Venda à vista"_s, u"C"_s}, {u"Aluguel"_s, u"D"_s}, {u"Salários"_s, u"D"_s},
        {u"Serviços"_s, u"C"_s},      {u"Energia"_s, u"D"_s}, {u"Juros"_s, u"C"_s}};
    prepare(u"INSERT INTO historicos VALUES (?, ?, ?)"_s);
    for (int i = 0; i < historicos.size(); ++i)
        run({u"%1"_s.arg(i + 1, 5, 10, QChar(u'0')), historicos[i].first, historicos[i].second});
    // the schema seeds "001"; both engines take this upsert
    prepare(u"INSERT INTO baixas VALUES (?, ?) "
            "ON CONFLICT (cd_baixa) DO UPDATE SET ds_baixa = excluded.ds_baixa"_s);
    for (const auto &[code, name] : {std::pair{u"001"_s, u"Aberto"_s}, {u"002"_s, u"Baixado"_s}})
        run({code, name});
    QRandomGenerator rng(seed);
    const QDate start(2021, 1, 1);
    const QStringList remarks{u"NF 1"_s, u"NF 2"_s,   u"Cliente A"_s, u"Cliente B"_s,
                              u""_s,     u"ajuste"_s, u"Fornecedor"_s};
    prepare(u"INSERT INTO lancamentos VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?)"_s);
    for (int i = 0; i < entries; ++i) {
        const int hist = rng.bounded(int(historicos.size()));
        const QString code = u"%1"_s.arg(i + 1, 10, 10, QChar(u'0'));
        const QString account =
            u"%1"_s.arg(rng.bounded(int(contas.size())) + 1, 3, 10, QChar(u'0'));
        const QString remark = remarks[rng.bounded(int(remarks.size()))];
        const double amount = double(rng.bounded(1, 500000)) / 100.0;
        const QString date = start.addDays(rng.bounded(3 * 365)).toString(Qt::ISODate);
        // one entry in fifty points at a settlement type that does not exist
        const QString settlement = i % 50 == 49 ? u"009"_s : (rng.bounded(3) ? u"001"_s : u"002"_s);
        run({code, account, u"%1"_s.arg(hist + 1, 5, 10, QChar(u'0')), remark, amount, date,
             historicos[hist].second, settlement});
    }
    if (!db.commit())
        qFatal("fixture commit refused: %s", qPrintable(db.lastError().text()));
}

CashFixture::~CashFixture()
{
    if (m_dir && !m_path.isEmpty())
        tessal::data::closeDatabase(m_path);
}

QSqlDatabase CashFixture::database() const
{
    return tessal::data::openDatabase(m_path);
}

QString CashFixture::oracleFrom()
{
    return u" FROM lancamentos l JOIN historicos h ON l.cd_historico = h.cd_historico "
           "JOIN contas c ON l.cd_conta = c.cd_conta JOIN baixas b ON l.cd_baixa = b.cd_baixa "_s;
}

QString CashFixture::oracleExpression(const QString &caption) const
{
    static const QHash<QString, QString> common{
        {u"Data"_s, u"l.dt_lancamento"_s}, {u"Histórico"_s, u"l.ds_complemento"_s},
        {u"Conta"_s, u"c.ds_conta"_s},     {u"Padrão"_s, u"h.ds_historico"_s},
        {u"Status"_s, u"h.cd_tipo"_s},     {u"Situação"_s, u"b.ds_baixa"_s},
    };
    static const QHash<QString, QString> sqlite{
        {u"Ano"_s, u"CAST(strftime('%Y', l.dt_lancamento) AS INTEGER)"_s},
        {u"Mes"_s, u"CAST(strftime('%m', l.dt_lancamento) AS INTEGER)"_s},
        {u"Trimestre"_s, u"((CAST(strftime('%m', l.dt_lancamento) AS INTEGER) + 2) / 3)"_s},
        {u"Semana"_s,
         u"((CAST(strftime('%j', l.dt_lancamento) AS INTEGER) - 1 + "
         "CAST(strftime('%w', date(l.dt_lancamento, 'start of year')) AS INTEGER)) / 7 + 1)"_s},
    };
    static const QHash<QString, QString> server{
        {u"Ano"_s, u"CAST(extract(year FROM CAST(l.dt_lancamento AS date)) AS integer)"_s},
        {u"Mes"_s, u"CAST(extract(month FROM CAST(l.dt_lancamento AS date)) AS integer)"_s},
        {u"Trimestre"_s,
         u"((CAST(extract(month FROM CAST(l.dt_lancamento AS date)) AS integer) + 2) / 3)"_s},
        {u"Semana"_s, u"((CAST(extract(doy FROM CAST(l.dt_lancamento AS date)) AS integer) - 1 + "
                      "CAST(extract(dow FROM date_trunc('year', CAST(l.dt_lancamento AS date))) "
                      "AS integer)) / 7 + 1)"_s},
    };
    return common.value(caption, (onServer() ? server : sqlite).value(caption));
}

RowTable smallCubeTable()
{
    // Region, Product, Year, Amount: the expected grids below are worked out by hand from these
    RowTable t;
    t.columns = {u"region"_s, u"product"_s, u"year"_s, u"amount"_s};
    auto row = [&t](const char *r, const char *p, int y, double a) {
        t.rows << QVariantList{QString::fromUtf8(r), QString::fromUtf8(p), y, a};
    };
    row("Sul", "x", 2023, 10.00);
    row("Sul", "y", 2023, 5.50);
    row("Sul", "x", 2024, 1.25);
    row("Norte", "x", 2024, 100.00);
    row("Norte", "y", 2023, 0.10);
    row("Norte", "y", 2023, 0.20);
    return t;
}

void defineSmallCube(Cube &cube)
{
    cube.addField(u"region"_s, u"Região"_s, Orientation::Row);
    cube.addField(u"product"_s, u"Produto"_s, Orientation::Row);
    cube.addField(u"year"_s, u"Ano"_s, Orientation::Column);
    CubeField *sum = cube.addField(u"amount"_s, u"Valor"_s, Orientation::Data);
    sum->setNumberFormat(u"#,##0.00"_s);
    CubeField *count = cube.addField(u"amount"_s, u"Quantidade"_s, Orientation::Data);
    count->setAggregate(Aggregate::Count);
    count->setName(u"countamount"_s);
}

RowTable entriesTable()
{
    RowTable t;
    t.columns = {u"conta"_s, u"ano"_s, u"VL_LANCAMENTO"_s};
    t.rows << QVariantList{u"Caixa"_s, 2023, 75.0} << QVariantList{u"Caixa"_s, 2024, 120.0}
           << QVariantList{u"Banco"_s, 2023, 30.0} << QVariantList{u"Banco"_s, 2024, -10.0}
           << QVariantList{u"Banco"_s, 2024, 200.0};
    return t;
}

void defineEntriesCube(Cube &cube)
{
    cube.addField(u"conta"_s, u"Conta"_s, Orientation::Row);
    cube.addField(u"ano"_s, u"Ano"_s, Orientation::Column);
    CubeField *sum = cube.addField(u"VL_LANCAMENTO"_s, u"Valor"_s, Orientation::Data);
    sum->setName(u"sumVL_LANCAMENTO"_s);
    sum->setNumberFormat(u"#,##0.00"_s);
    CubeField *count = cube.addField(u"VL_LANCAMENTO"_s, u"Quantidade"_s, Orientation::Data);
    count->setAggregate(Aggregate::Count);
    count->setName(u"countVL_LANCAMENTO"_s);
}

} // namespace tessal::cube::test
