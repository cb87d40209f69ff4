#pragma once

#include <QIcon>
#include <QString>

// The pictures of the main window's image lists, drawn at run time.
namespace ListIcons {

// Row icons of ListFax by the fax's Icon name ("user", "userpr", "group", "grouppr", "inoltrato",
// "inoltratopr", "inoltra", "inoltrapr"); a null icon for any other name.
QIcon faxIcon(const QString &name);

// Tree images 1..7: user, personal, received, sent, trash, folder, shared folder.
QIcon treeIcon(int index);

// Product logo for the splash, the about window and the root panel.
QPixmap logo(int width, int height);

} // namespace ListIcons
