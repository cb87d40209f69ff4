#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

// Pictures for toolbars, menus and windows. Standard commands come from the desktop's freedesktop icon
// theme; a session with no theme (bare X, Xvfb) borrows Adwaita when it is installed. Pictures no theme
// names are the project's own SVGs, built into the programs and installed into hicolor.
namespace ThemeIcons {

// Makes sure a theme answers the standard names; called by every lookup, cheap after the first.
void ensureTheme();

// The project's own picture of that name (the programs' names and "quorin-…", looked up exactly in the
// built-in copies), else the theme's icon of that freedesktop name. Null when neither has it.
QIcon named(const QString &name);

// The freedesktop or own name shown for a command of the image control's toolbar ("Save", "90SX"...)
// or of a main-window menu entry (its object name). Empty for commands without one.
QString nameForToolbarKey(const QString &key);
QString nameForMenuEntry(const QString &objectName);
// The menu entries that have a picture.
QStringList menuEntriesWithPictures();

// The pictures themselves (null when there is none).
QIcon forToolbarKey(const QString &key);
QIcon forMenuEntry(const QString &objectName);

// The icon of one of the programs ("Quorin", "QuorinLive", "Sendora"); other names get the fax client's.
QIcon program(const QString &programName);
// Its icon name, as desktop entries give it.
QString programIconName(const QString &programName);

} // namespace ThemeIcons
