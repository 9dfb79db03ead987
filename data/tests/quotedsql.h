#pragma once

// The windows' fixed SQL texts, exactly as they are written (double spaces, mixed case), with the
// rows each gives on the small fixture below. Shared by the database and record-set tests.

#include "data/database.h"

#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

namespace tessal::data::testing {

using namespace Qt::StringLiterals;

struct QuotedSql
{
    const char *name;
    QString sql;
    int rows;          // on the fixture
    QString findField; // a field to find a row by ...
    QString findValue; // ... and its value
    bool menu = false; // run on MENU.mdb
};

// Two accounts, two descriptions, settlement types "001" and "002", four entries; entry 3 points
// at a description that does not exist, so inner joins drop it.
inline QString fillFixture(const QString &dataDir)
{
    ensureDataDirectory(dataDir);
    QSqlQuery q(openDatabase(cashDatabasePath(dataDir)));
    const QStringList rows = {
        u"INSERT INTO contas VALUES ('001', 'Caixa'), ('002', 'Banco')"_s,
        u"INSERT INTO historicos VALUES ('00001', 'Venda', 'C'), ('00002', 'Compra', 'D')"_s,
        u"INSERT INTO baixas VALUES ('002', 'Cheque')"_s,
        u"INSERT INTO lancamentos VALUES "
        "('0000000001', '001', '00001', 'a', 100.0, '2026-01-05', 'C', 100.0, '001'),"
        "('0000000002', '001', '00002', 'b', 30.0, '2026-02-10', 'D', 70.0, '001'),"
        "('0000000003', '001', '00009', 'c', 5.0, '2026-03-01', 'C', 75.0, '001'),"
        "('0000000004', '002', '00001', 'd', 10.0, '2025-12-31', 'C', 10.0, '002')"_s,
    };
    for (const QString &sql : rows) {
        if (!q.exec(sql))
            return q.lastError().text();
    }
    return {};
}

inline QString cubeSource()
{
    // Stored with a line break after the select list and at the end.
    return u"SELECT LANCAMENTOS.DT_LANCAMENTO, LANCAMENTOS.ds_complemento, "
           "LANCAMENTOS.VL_LANCAMENTO, HISTORICOS.DS_HISTORICO, HISTORICOS.cd_tipo, "
           "contas.ds_conta, baixas.ds_baixa\r\n"
           "FROM ((LANCAMENTOS INNER JOIN HISTORICOS ON LANCAMENTOS.CD_hISTORICO = "
           "HISTORICOS.CD_HISTORICO) INNER JOIN contas ON LANCAMENTOS.cd_conta = contas.CD_conta) "
           "INNER JOIN baixas ON LANCAMENTOS.cd_baixa = baixas.cd_baixa\r\n"_s;
}

inline QList<QuotedSql> quotedSqlTexts()
{
    const QString account = u"'001'"_s;
    QString cubeWithParts = cubeSource();
    // The cube puts its date-part templates, double quotes and all, into the select list.
    cubeWithParts.replace(u"SELECT "_s, u"SELECT datepart(\"yyyy\",LANCAMENTOS.DT_LANCAMENTO), "
                                        "datepart(\"q\",LANCAMENTOS.DT_LANCAMENTO), "
                                        "datepart(\"m\",LANCAMENTOS.DT_LANCAMENTO), "
                                        "datepart(\"ww\",LANCAMENTOS.DT_LANCAMENTO), "_s);
    return {
        {"accounts-by-code", u"select * from  contas order by cd_conta"_s, 2, u"CD_conta"_s,
         u"002"_s},
        {"accounts-by-name", u"SELECT * FROM contas order by ds_conta"_s, 2, u"CD_conta"_s,
         u"001"_s},
        {"accounts-by-name-2", u"select * from  contas order by ds_conta"_s, 2, u"ds_conta"_s,
         u"Banco"_s},
        {"descriptions-by-code", u"select * from  historicos order by cd_historico"_s, 2,
         u"CD_historico"_s, u"00002"_s},
        {"descriptions-by-name", u"SELECT * FROM historicos order by ds_historico"_s, 2,
         u"CD_historico"_s, u"00001"_s},
        {"descriptions-by-name-upper", u"select * from  HISTORICOS  order by DS_HISTORICO"_s, 2,
         u"CD_HISTORICO"_s, u"00002"_s},
        {"settlements-by-code", u"select * from  Baixas order by cd_Baixa"_s, 2, u"CD_Baixa"_s,
         u"002"_s},
        {"settlements-by-name", u"SELECT * FROM Baixas order by ds_Baixa"_s, 2, u"CD_Baixa"_s,
         u"001"_s},
        {"settlements-by-name-2", u"SELECT  * FROM baixas  order by ds_baixa"_s, 2, u"cd_baixa"_s,
         u"002"_s},
        {"users-by-code", u"select * from  usuarios order by cd_usuario"_s, 0, u"CD_usuario"_s,
         u"001"_s},
        {"users-by-name", u"SELECT * FROM usuarios order by usuario"_s, 0, u"usuario"_s,
         u"Supervisor"_s},
        {"login-users", u"select * from  usuarios order by usuario"_s, 0, u"usuario"_s,
         u"D'Ávila"_s},
        {"entries-by-code", u"select * from  lancamentos  order by cd_lancamento"_s, 4,
         u"CD_lancamento"_s, u"0000000003"_s},
        {"account-entries-by-code",
         u"select * from  lancamentos where cd_conta="_s + account + u" order by cd_lancamento"_s,
         3, u"CD_lancamento"_s, u"0000000002"_s},
        {"account-entries-by-date",
         u"select * from  lancamentos where cd_conta="_s + account +
             u" order by dt_lancamento, cd_lancamento"_s,
         3, u"CD_lancamento"_s, u"0000000001"_s},
        {"ledger-grid",
         u"SELECT LANCAMENTOS.*, HISTORICOS.* FROM LANCAMENTOS INNER JOIN HISTORICOS ON "
         "LANCAMENTOS.CD_hISTORICO = HISTORICOS.CD_HISTORICO where cd_conta="_s +
             account + u"  order by dt_lancamento,cd_lancamento "_s,
         2, u"CD_lancamento"_s, u"0000000002"_s},
        {"period-query",
         u"SELECT LANCAMENTOS.DT_LANCAMENTO, contas.ds_conta, HISTORICOS.DS_HISTORICO, "
         "LANCAMENTOS.ds_complemento, LANCAMENTOS.VL_LANCAMENTO, LANCAMENTOS.VL_SALDO, "
         "LANCAMENTOS.CD_STATUS FROM HISTORICOS, LANCAMENTOS INNER JOIN contas ON "
         "LANCAMENTOS.cd_conta = contas.CD_conta "
         "WHERE LANCAMENTOS.CD_HISTORICO = HISTORICOS.CD_HISTORICO"_s,
         3, u"ds_complemento"_s, u"d"_s},
        {"cube-source", cubeSource(), 3, u"ds_baixa"_s, u"Cheque"_s},
        {"cube-date-parts", cubeWithParts, 3, u"DT_LANCAMENTO"_s, u"10/02/2026"_s},
        {"menu", u"select * from  CONFIG order by GRUPO, OPCAO"_s, 14, u"descricao"_s,
         u"Restaurar Cópia"_s, true},
    };
}

} // namespace tessal::data::testing
