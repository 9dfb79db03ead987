#include "session/menuconfig.h"

#include "core/error.h"
#include "data/database.h"
#include "data/sqlerror.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace tessal {

QString menuButtonKey(int option, int group)
{
    return u"K"_s + QString::number(option) + QString::number(group);
}

QList<MenuButton> readMenuConfig(const QString &menuDatabasePath)
{
    const QString sql = QString::fromUtf16(kMenuSql);
    QSqlQuery query =
        data::runQuery(data::openDatabase(menuDatabasePath, data::DatabaseKind::Menu), sql);
    const QSqlRecord record = query.record();
    const int grupo = record.indexOf(u"grupo"_s);
    const int opcao = record.indexOf(u"opcao"_s);
    const int descricao = record.indexOf(u"descricao"_s);
    const int tooltip = record.indexOf(u"ds_tootip"_s);
    if (grupo < 0 || opcao < 0 || descricao < 0 || tooltip < 0)
        throw Error(ErrorNumber::DatabaseError, u"A tabela CONFIG não tem as colunas do menu."_s,
                    sql);

    // `opcoes` (the number of options of the group) is part of each row but does not shape the
    // bar: the rows alone, in query order, decide the buttons and their positions.
    QList<MenuButton> buttons;
    while (query.next()) {
        MenuButton button;
        button.group = query.value(grupo).toInt();
        button.option = query.value(opcao).toInt();
        button.key = menuButtonKey(button.option, button.group);
        button.caption = query.value(descricao).toString();
        button.toolTip = query.value(tooltip).toString();
        buttons.append(button);
    }
    if (query.lastError().isValid())
        data::throwQueryError(query, sql);
    return buttons;
}

} // namespace tessal
