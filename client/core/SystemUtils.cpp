#include "SystemUtils.h"

#include "AppPaths.h"
#include "Autostart.h"
#include "ErrorReporting.h"
#include "Processes.h"
#include "ProgramStarter.h"
#include "Registry.h"
#include "SystemUser.h"
#include "ThemeIcons.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyle>
#include <QTreeWidget>

TrayIconRecord TrayIconData;

// ---- files and paths ----

namespace {

bool hasWildcards(const QString &name)
{
    return name.contains(u'*') || name.contains(u'?');
}

bool search(const QString &path, QDir::Filters filters)
{
    if (path.trimmed().isEmpty())
        return false;
    const QFileInfo info(path);
    if (!hasWildcards(info.fileName()))
        return filters.testFlag(QDir::Dirs) ? info.exists() : info.isFile();
    const QStringList found = QDir(info.absolutePath()).entryList({info.fileName()}, filters);
    for (const QString &name : found) {
        if (!name.trimmed().isEmpty())
            return true;
    }
    return false;
}

} // namespace

bool FileExists(const QString &path)
{
    return search(path, QDir::Files);
}

bool DirExists(const QString &path)
{
    return search(path, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
}

QString GetFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString GetPath(const QString &path)
{
    const qsizetype at = path.lastIndexOf(u'/');
    if (at < 0) {
        ShowErrorMessage(ErrNumber::InvalidArgument, QStringLiteral("Invalid procedure call or argument"),
                         QStringLiteral("GetPath"));
        return {};
    }
    return path.left(at);
}

QString AddPathSeparator(const QString &path)
{
    QString p = path;
    while (p.endsWith(u' '))
        p.chop(1);
    if (p.endsWith(u'/') || p.endsWith(u'\\'))
        return p;
    return p + u'/';
}

QString GetTempDir()
{
    return AppPaths::tempDir();
}

// ---- registry ----

QVariant RegistryGetKeyValue(quint32 root, const QString &keyPath, const QString &valueName)
{
    return Registry::value(root, keyPath, valueName);
}

void RegistrySetKeyValue(quint32 root, const QString &keyPath, const QString &valueName,
                         const QVariant &value, int type)
{
    Registry::setValue(root, keyPath, valueName, value, type);
}

void RegistryDeleteValue(quint32 root, const QString &keyPath, const QString &valueName)
{
    Registry::removeValue(root, keyPath, valueName);
}

namespace {

// A desktop entry's Exec argument: quoted when it holds anything the launcher would split or expand.
QString execQuoted(const QString &program)
{
    static const QString special = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    bool plain = true;
    for (QChar c : program)
        plain = plain && !special.contains(c);
    if (plain)
        return program;
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

} // namespace

void EnableLiveAutostart()
{
    const QString name = QString::fromUtf16(LiveAutostartName);
    if (!Autostart::command(name).isEmpty())
        return;
    Autostart::write(name, execQuoted(ProgramStarter::programPath(name)), ThemeIcons::programIconName(name));
}

void DisableLiveAutostart()
{
    const QString name = QString::fromUtf16(LiveAutostartName);
    if (!Autostart::command(name).isEmpty())
        Autostart::remove(name);
}

// ---- processes and programs ----

bool IsProcessRunning(const QString &name)
{
    return Processes::isRunning(name);
}

bool StartProgram(const QString &name, const QStringList &arguments)
{
    switch (ProgramStarter::start(name, arguments)) {
    case ProgramStarter::Result::Started:
        return true;
    case ProgramStarter::Result::NotFound:
        Err().Raise(ErrNumber::FileNotFound, name, QStringLiteral("File not found"));
        return false;
    case ProgramStarter::Result::Failed:
        break;
    }
    Err().Raise(ErrNumber::InvalidArgument, name,
                u"Impossibile avviare " + ProgramStarter::programPath(name));
    return false;
}

QString GetUserName()
{
    return SystemUser::loginName();
}

// ---- notification-area icon record ----

void InitTrayIcon(const QIcon &icon, QWidget *form)
{
    TrayIconData = TrayIconRecord();
    TrayIconData.window = form;
    TrayIconData.iconId = 1;
    TrayIconData.flags = 7;
    TrayIconData.callbackMessage = 512;
    TrayIconData.icon = icon;
}

// ---- list view column headers ----

void SetColumnHeaderImage(QTreeWidget *listView, int column, int image, int formatA, int formatB)
{
    Q_UNUSED(formatA);
    if (!listView || column < 0 || column >= listView->columnCount())
        return;
    QTreeWidgetItem *header = listView->headerItem();
    if (formatB == 0) {
        header->setIcon(column, QIcon());
        return;
    }
    const QStyle::StandardPixmap arrow = image == 0 ? QStyle::SP_ArrowUp : QStyle::SP_ArrowDown;
    header->setIcon(column, listView->style()->standardIcon(arrow));
}

void ShowSortArrow(QTreeWidget *listView, int arrowColumn, int image, int sortKey)
{
    if (!listView)
        return;
    for (int i = 0; i < listView->columnCount(); ++i) {
        if (i == sortKey)
            SetColumnHeaderImage(listView, arrowColumn, image, 0x2000, 0x800);
        else
            SetColumnHeaderImage(listView, i, 0, 0, 0);
    }
}

// ---- tree view navigation ----

namespace {

constexpr char kDropHilight[] = "quorinDropHilight";

bool inTree(QTreeWidget *tree, QTreeWidgetItem *item)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (*it == item)
            return true;
    }
    return false;
}

QTreeWidgetItem *sibling(QTreeWidget *tree, QTreeWidgetItem *item, int step)
{
    QTreeWidgetItem *parent = item->parent();
    if (parent)
        return parent->child(parent->indexOfChild(item) + step);
    const int at = tree->indexOfTopLevelItem(item);
    return at < 0 ? nullptr : tree->topLevelItem(at + step);
}

} // namespace

QTreeWidgetItem *TreeView_GetNextItem(QTreeWidget *tree, QTreeWidgetItem *item, int flag)
{
    if (!tree)
        return nullptr;
    switch (flag) {
    case TVGN_ROOT:
        return tree->topLevelItem(0);
    case TVGN_CARET:
        return tree->currentItem();
    case TVGN_DROPHILITE: {
        auto *target = static_cast<QTreeWidgetItem *>(tree->property(kDropHilight).value<void *>());
        return target && inTree(tree, target) ? target : nullptr;
    }
    default:
        break;
    }
    if (!item)
        return nullptr;
    switch (flag) {
    case TVGN_NEXT:
        return sibling(tree, item, 1);
    case TVGN_PREVIOUS:
        return sibling(tree, item, -1);
    case TVGN_PARENT:
        return item->parent();
    case TVGN_CHILD:
        return item->child(0);
    default:
        return nullptr;
    }
}

QTreeWidgetItem *TreeView_GetParent(QTreeWidget *tree, QTreeWidgetItem *item)
{
    return TreeView_GetNextItem(tree, item, TVGN_PARENT);
}

QTreeWidgetItem *TreeView_GetSelection(QTreeWidget *tree)
{
    return TreeView_GetNextItem(tree, nullptr, TVGN_CARET);
}

QTreeWidgetItem *TreeView_GetDropHilight(QTreeWidget *tree)
{
    return TreeView_GetNextItem(tree, nullptr, TVGN_DROPHILITE);
}

QTreeWidgetItem *TreeView_GetRoot(QTreeWidget *tree)
{
    return TreeView_GetNextItem(tree, nullptr, TVGN_ROOT);
}

void TreeView_SetDropHilight(QTreeWidget *tree, QTreeWidgetItem *item)
{
    if (tree)
        tree->setProperty(kDropHilight, QVariant::fromValue<void *>(item));
}

QTreeWidgetItem *TreeView_GetTopParent(QTreeWidget *tree, QTreeWidgetItem *item)
{
    QTreeWidgetItem *root = TreeView_GetRoot(tree);
    if (!item || item == root)
        return item;
    QTreeWidgetItem *current = item;
    for (;;) {
        QTreeWidgetItem *parent = current->parent();
        if (!parent || parent == root)
            return current;
        current = parent;
    }
}

QTreeWidgetItem *GetTopParentNode(QTreeWidgetItem *node)
{
    if (!node || !node->parent())
        return nullptr;
    QTreeWidgetItem *root = node;
    while (root->parent())
        root = root->parent();
    const QString rootText = root->text(0);
    QTreeWidgetItem *current = node;
    while (current->parent() && current->parent()->text(0) != rootText)
        current = current->parent();
    return current->parent() ? current : nullptr;
}
