#pragma once

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// ---- files and paths (separator "/") ----

// True when path names a normal file (wildcards allowed in the file name; hidden files and folders don't
// count).
bool FileExists(const QString &path);
// The same search, folders included: also true for an existing file.
bool DirExists(const QString &path);
// Text after the last "/" (the whole text when there is none).
QString GetFileName(const QString &path);
// Text before the last "/"; a path without one is reported as an invalid argument and gives empty.
QString GetPath(const QString &path);
// path without trailing blanks, followed by "/" unless it ends in "/" or "\". Empty gives "/".
QString AddPathSeparator(const QString &path);
// The private temporary folder, ending in "/".
QString GetTempDir();

// ---- registry ----

// The value (QString, QByteArray or quint32); an invalid QVariant when missing, which reads as empty text.
QVariant RegistryGetKeyValue(quint32 root, const QString &keyPath, const QString &valueName);
void RegistrySetKeyValue(quint32 root, const QString &keyPath, const QString &valueName,
                         const QVariant &value, int type);
void RegistryDeleteValue(quint32 root, const QString &keyPath, const QString &valueName);

// The tray launcher's start with the session ("QuorinLive" autostart entry running the program folder's
// "QuorinLive"): written only when missing or empty; removed only when present. Failures are silent.
void EnableLiveAutostart();
void DisableLiveAutostart();
inline constexpr auto LiveAutostartName = u"QuorinLive";

// ---- processes and programs ----

// True when a running program's file name begins with name, compared case-insensitively.
bool IsProcessRunning(const QString &name);

// Starts an outside program of the program folder ("QVDozeza.exe" starts "QVDozeza"). False with the
// current error set to 53 (file not found) when it is missing, or to 5 when it would not start.
bool StartProgram(const QString &name, const QStringList &arguments = {});

// Login name of the user.
QString GetUserName();

// ---- notification-area icon record ----

struct TrayIconRecord
{
    QPointer<QWidget> window;
    int iconId = 0;
    int flags = 0;           // 7: message, icon and tip
    int callbackMessage = 0; // 512: the icon's mouse events reach the window as mouse moves
    QIcon icon;
    QString tip;
};

extern TrayIconRecord TrayIconData;

// Fills TrayIconData for the window with the icon; does not show the icon.
void InitTrayIcon(const QIcon &icon, QWidget *form);

// ---- list view column headers (QTreeWidget as a report list) ----

// Sets (formatB != 0) or clears the image of header column `column`: image 0 is the ascending arrow,
// 1 the descending one.
void SetColumnHeaderImage(QTreeWidget *listView, int column, int image, int formatA, int formatB);
// The sort image on arrowColumn when the loop reaches sortKey; every other column cleared.
void ShowSortArrow(QTreeWidget *listView, int arrowColumn, int image, int sortKey);

// ---- tree view navigation ----

enum TreeFlag {
    TVGN_ROOT = 0,
    TVGN_NEXT = 1,
    TVGN_PREVIOUS = 2,
    TVGN_PARENT = 3,
    TVGN_CHILD = 4,
    TVGN_DROPHILITE = 8,
    TVGN_CARET = 9
};

QTreeWidgetItem *TreeView_GetNextItem(QTreeWidget *tree, QTreeWidgetItem *item, int flag);
QTreeWidgetItem *TreeView_GetParent(QTreeWidget *tree, QTreeWidgetItem *item);
QTreeWidgetItem *TreeView_GetSelection(QTreeWidget *tree);
QTreeWidgetItem *TreeView_GetDropHilight(QTreeWidget *tree);
QTreeWidgetItem *TreeView_GetRoot(QTreeWidget *tree);
// The drop target shown during a drag (what TreeView_GetDropHilight reports); nullptr clears it.
void TreeView_SetDropHilight(QTreeWidget *tree, QTreeWidgetItem *item);
// The ancestor of item (or item itself) that sits right under the first top-level item.
QTreeWidgetItem *TreeView_GetTopParent(QTreeWidget *tree, QTreeWidgetItem *item);
// The same walk comparing node texts with the first top-level item's text; nullptr for that item itself.
QTreeWidgetItem *GetTopParentNode(QTreeWidgetItem *node);
