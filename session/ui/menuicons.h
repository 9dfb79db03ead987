#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

namespace tessal {

// The main menu's groups, numbered from 1 in this order; the dispatch relies on at least five.
struct MenuGroup
{
    QString caption;
    QIcon icon;
};
QList<MenuGroup> menuGroups();

// The program's picture (a cash drawer with a coin), drawn rather than shipped as a file.
QPixmap productPixmap(int size);

} // namespace tessal
