#include "registers/registers.h"

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

RegisterWindow *build(AppContext &ctx, RegisterDefinition definition, QWidget *parent)
{
    auto *window = new RegisterWindow(ctx, std::move(definition), parent);
    window->Form_Load();
    return window;
}

RegisterField field(const QString &control, const QString &writtenAs, const QString &label,
                    RegisterField::Kind kind = RegisterField::Kind::Text,
                    const QString &toolTip = {})
{
    return RegisterField{control, writtenAs, label, kind, toolTip};
}

const QString kCodeLabel = u"Código:"_s;
const QString kNameLabel = u"Descrição:"_s;

} // namespace

RegisterDefinition fcontasDefinition()
{
    RegisterDefinition def;
    def.name = u"fcontas"_s;
    def.caption = u"Cadastro de Contas"_s;
    def.dataSql = u"select * from  contas order by cd_conta"_s;
    def.gridSql = u"SELECT * FROM contas order by ds_conta"_s;
    def.gridNameField = u"ds_conta"_s;
    def.table = u"contas"_s;
    def.criterionField = u"CD_conta"_s;
    def.fields = {field(u"cd_conta"_s, u"CD_conta"_s, kCodeLabel),
                  field(u"ds_conta"_s, u"ds_conta"_s, kNameLabel)};
    def.nameControl = u"ds_conta"_s;
    def.deleteNameField = u"ds_conta"_s;
    return def;
}

RegisterDefinition fgruposDefinition()
{
    RegisterDefinition def;
    def.name = u"fgrupos"_s;
    def.caption = u"Cadastro de Históricos"_s;
    def.dataSql = u"select * from  historicos order by cd_historico"_s;
    def.gridSql = u"SELECT * FROM historicos order by ds_historico"_s;
    def.gridNameField = u"ds_historico"_s;
    def.table = u"historicos"_s;
    def.criterionField = u"CD_historico"_s;
    def.fields = {
        field(u"cd_historico"_s, u"CD_historico"_s, kCodeLabel),
        field(u"ds_historico"_s, u"DS_historico"_s, kNameLabel),
        field(u"cd_tipo"_s, u"cd_tipo"_s, u"Tipo:"_s, RegisterField::Kind::EntryType),
    };
    def.nameControl = u"ds_historico"_s;
    def.deleteNameField = u"ds_historico"_s;
    return def;
}

RegisterDefinition fusuariosDefinition()
{
    RegisterDefinition def;
    def.name = u"fusuarios"_s;
    def.caption = u" Tabela de Usuários "_s;
    def.dataSql = u"select * from  usuarios order by cd_usuario"_s;
    def.gridSql = u"SELECT * FROM usuarios order by usuario"_s;
    def.gridNameField = u"usuario"_s;
    def.table = u"usuarios"_s;
    def.criterionField = u"CD_usuario"_s;
    def.fields = {
        field(u"cd_usuario"_s, u"CD_usuario"_s, kCodeLabel, RegisterField::Kind::Text,
              u"Este Campo não precisa ser preenchido na inclusão"_s),
        field(
            u"usuario"_s, u"usuario"_s, u"Usuário:"_s, RegisterField::Kind::Text,
            u"Digite o nome do usuário sempre um nome único somente para indentifica-lo na hora da "
            "entrada no sistema"_s),
        field(
            u"senha"_s, u"senha"_s, u"Senha:"_s, RegisterField::Kind::Password,
            u"Digite a senha para permitir o acesso desse usuário. è sugerido uma sequencia de no "
            "maximo 5 letras ou digitos"_s),
    };
    def.nameControl = u"usuario"_s;
    def.deleteNameField = u"usuario"_s;
    def.enterMovesToNextField = true;
    return def;
}

RegisterDefinition fbaixasDefinition()
{
    RegisterDefinition def;
    def.name = u"fbaixas"_s;
    def.caption = u" Tabela de Tipos Baixas"_s;
    def.dataSql = u"select * from  Baixas order by cd_Baixa"_s;
    def.gridSql = u"SELECT * FROM Baixas order by ds_Baixa"_s;
    def.gridNameField = u"ds_baixa"_s;
    def.table = u"baixas"_s;
    def.criterionField = u"CD_Baixa"_s;
    def.fields = {field(u"cd_baixa"_s, u"CD_Baixa"_s, kCodeLabel),
                  field(u"ds_baixa"_s, u"DS_Baixa"_s, kNameLabel)};
    def.nameControl = u"ds_baixa"_s;
    def.deleteNameField = u"ds_Baixa"_s;
    def.refreshBeforeInclude = true;
    def.log = {u"ENTROU NO MODULO DE CADASTRO DE BAIXAS"_s,
               u"SAIU DO MODULO DE CADASTRO DE BAIXAS"_s,
               u"INCLUI UM NOVO REGISTRO"_s,
               u"EXECUTOU UMA ALTERACAO NO REGISTRO"_s,
               u"CONFIRMOU A EXCLUSAO DO REGISTRO"_s,
               u"ds_baixa"_s};
    return def;
}

RegisterWindow *fcontas(AppContext &ctx, QWidget *parent)
{
    return build(ctx, fcontasDefinition(), parent);
}

RegisterWindow *fgrupos(AppContext &ctx, QWidget *parent)
{
    return build(ctx, fgruposDefinition(), parent);
}

RegisterWindow *fusuarios(AppContext &ctx, QWidget *parent)
{
    return build(ctx, fusuariosDefinition(), parent);
}

RegisterWindow *fbaixas(AppContext &ctx, QWidget *parent)
{
    return build(ctx, fbaixasDefinition(), parent);
}

} // namespace tessal
