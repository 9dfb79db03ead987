#pragma once

#include <QList>
#include <QString>

namespace tessal {

// One button of the main menu's bar, as a row of CONFIG asks for it.
struct MenuButton
{
    int group = 0;
    int option = 0;
    QString key; // "K" + opcao + grupo
    QString caption;
    QString toolTip;
};

inline constexpr char16_t kMenuSql[] = u"select * from  CONFIG order by GRUPO, OPCAO";

// The buttons in the order the bar receives them: by group, then by option, so a button's
// position in its group is its rank among the group's options, whatever the numbers are.
// Throws tessal::Error when MENU.mdb cannot be opened or read.
QList<MenuButton> readMenuConfig(const QString &menuDatabasePath);

// "K" + option + group, the numbers joined as text ("K32" for option 3 of group 2).
QString menuButtonKey(int option, int group);

} // namespace tessal
