#include "cube/analysisdefinition.h"

using namespace Qt::StringLiterals;

namespace tessal::cube {

CubeDefinition analysisCubeDefinition(const QString &databasePath)
{
    CubeDefinition d;
    CubeProperties &p = d.properties;
    p.connectType = 1;
    p.connect = u"Access"_s;
    p.databaseName = databasePath;
    p.recordSource =
        u"SELECT LANCAMENTOS.DT_LANCAMENTO, LANCAMENTOS.ds_complemento, LANCAMENTOS.VL_LANCAMENTO, "
        "HISTORICOS.DS_HISTORICO, HISTORICOS.cd_tipo, contas.ds_conta, baixas.ds_baixa\n"
        "FROM ((LANCAMENTOS INNER JOIN HISTORICOS ON LANCAMENTOS.CD_hISTORICO = "
        "HISTORICOS.CD_HISTORICO) INNER JOIN contas ON LANCAMENTOS.cd_conta = contas.CD_conta) "
        "INNER JOIN baixas ON LANCAMENTOS.cd_baixa = baixas.cd_baixa\n"_s;
    p.sqlYearPart = u"datepart(\"yyyy\",<field>)"_s;
    p.sqlQuarterPart = u"datepart(\"q\",<field>)"_s;
    p.sqlMonthPart = u"datepart(\"m\",<field>)"_s;
    p.sqlWeekPart = u"datepart(\"ww\",<field>)"_s;
    p.headerCaption = u"Gerador de Relatórios"_s;
    p.footerCaption = u"- Page &P -"_s;

    auto add = [&d](const QString &source, const QString &caption, Orientation orientation,
                    int position) -> FieldDefinition & {
        FieldDefinition f;
        f.sourceExpression = source;
        f.caption = caption;
        f.name = source;
        f.orientation = orientation;
        f.position = position;
        d.fields.push_back(f);
        return d.fields.back();
    };
    add(u"datepart(\"q\",LANCAMENTOS.DT_LANCAMENTO)"_s, u"Trimestre"_s, Orientation::Page, 0);
    add(u"datepart(\"ww\",LANCAMENTOS.DT_LANCAMENTO)"_s, u"Semana"_s, Orientation::Page, 1);
    add(u"ds_baixa"_s, u"Situação"_s, Orientation::Page, 2);
    add(u"DT_LANCAMENTO"_s, u"Data"_s, Orientation::Page, 3);
    add(u"ds_complemento"_s, u"Histórico"_s, Orientation::Page, 4);
    add(u"ds_conta"_s, u"Conta"_s, Orientation::Page, 5);
    add(u"DS_HISTORICO"_s, u"Padrão"_s, Orientation::Page, 6);
    add(u"cd_tipo"_s, u"Status"_s, Orientation::Page, 7);
    FieldDefinition &value = add(u"VL_LANCAMENTO"_s, u"Valor"_s, Orientation::Data, 0);
    value.name = u"sumVL_LANCAMENTO"_s;
    value.numberFormat = u"#,##0.00"_s;
    value.aggregate = Aggregate::Sum;
    add(u"datepart(\"yyyy\",LANCAMENTOS.DT_LANCAMENTO)"_s, u"Ano"_s, Orientation::Row, 0);
    add(u"datepart(\"m\",LANCAMENTOS.DT_LANCAMENTO)"_s, u"Mes"_s, Orientation::Column, 0);
    return d;
}

} // namespace tessal::cube
