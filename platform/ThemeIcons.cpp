#include "ThemeIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace ThemeIcons {

namespace {

constexpr auto FallbackTheme = u"Adwaita";

// Where the built-in copies of the project's own pictures live.
QString ownPath(const QString &name)
{
    for (const auto *kind : {u"apps", u"actions"}) {
        const QString path = u":/quorin-icons/hicolor/scalable/"_s + QString::fromUtf16(kind) + u'/' + name + u".svg";
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// The project's pictures (the programs' icons and the quorin-… commands) come from the resources
// only: looked up in a theme, a missing one would fall back by dashes to "quorin", or take an
// installed copy of another version.
bool ownName(const QString &name)
{
    return name.startsWith(u"quorin") || name == u"sendora";
}

bool themeInstalled(const QString &theme)
{
    const QStringList paths = QIcon::themeSearchPaths();
    for (const QString &dir : paths) {
        if (QFileInfo::exists(dir + u'/' + theme + u"/index.theme"))
            return true;
    }
    return false;
}

} // namespace

void ensureTheme()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QString probe = u"document-save"_s;
    if (QIcon::hasThemeIcon(probe))
        return;
    // Platforms without a desktop theme (offscreen, minimal) look nowhere: add the freedesktop folders.
    QStringList paths = QIcon::themeSearchPaths();
    QStringList folders = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, u"icons"_s,
                                                    QStandardPaths::LocateDirectory);
    folders.prepend(QDir::homePath() + u"/.icons"_s);
    for (const QString &folder : std::as_const(folders)) {
        const QString clean = QDir::cleanPath(folder);
        if (!paths.contains(clean) && QFileInfo(clean).isDir())
            paths << clean;
    }
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::hasThemeIcon(probe))
        return;
    const QString fallback = QString::fromUtf16(FallbackTheme);
    if (!themeInstalled(fallback))
        return;
    // A theme without parents falls back to this one; a session without any theme takes it whole.
    QIcon::setFallbackThemeName(fallback);
    if (!QIcon::hasThemeIcon(probe))
        QIcon::setThemeName(fallback);
}

QIcon named(const QString &name)
{
    if (name.isEmpty())
        return {};
    if (ownName(name)) {
        const QString own = ownPath(name);
        return own.isEmpty() ? QIcon() : QIcon(own);
    }
    ensureTheme();
    return QIcon::fromTheme(name);
}

QString nameForToolbarKey(const QString &key)
{
    static const QHash<QString, QString> names = {
        {u"Save"_s, u"document-save"_s},
        {u"SaveAs"_s, u"document-save-as"_s},
        {u"SetPrinter"_s, u"document-page-setup"_s},
        {u"Print"_s, u"document-print"_s},
        {u"Undo"_s, u"edit-undo"_s},
        {u"Redo"_s, u"edit-redo"_s},
        {u"Pan"_s, u"quorin-pan"_s},
        {u"ZoomIn"_s, u"zoom-in"_s},
        {u"ZoomOut"_s, u"zoom-out"_s},
        {u"ZoomArea"_s, u"quorin-zoom-area"_s},
        {u"BestFit"_s, u"zoom-fit-best"_s},
        {u"FitH"_s, u"quorin-fit-height"_s},
        {u"FitW"_s, u"quorin-fit-width"_s},
        {u"Resolution"_s, u"quorin-resolution"_s},
        {u"90SX"_s, u"object-rotate-left"_s},
        {u"90DX"_s, u"object-rotate-right"_s},
        {u"Flip"_s, u"object-flip-vertical"_s},
        {u"FlipAll"_s, u"quorin-flip-all"_s},
        {u"Evidenzia"_s, u"quorin-highlight"_s},
        {u"BlackRec"_s, u"quorin-black-rectangle"_s},
        {u"WhiteRec"_s, u"quorin-white-rectangle"_s},
        {u"AddLogo"_s, u"quorin-logo"_s},
        {u"PrevPage"_s, u"go-previous"_s},
        {u"NextPage"_s, u"go-next"_s},
        {u"FirstPage"_s, u"go-first"_s},
        {u"LastPage"_s, u"go-last"_s},
    };
    return names.value(key);
}

namespace {

const QHash<QString, QString> &menuNames()
{
    static const QHash<QString, QString> names = {
        {u"mnuRubrica"_s, u"x-office-address-book"_s},
        {u"mnuSendFax"_s, u"mail-send"_s},
        {u"mnuScan"_s, u"scanner"_s},
        {u"mnuFileExit"_s, u"application-exit"_s},
        {u"mnuToolsOptions"_s, u"preferences-system"_s},
        {u"mnuServerConf"_s, u"network-server"_s},
        {u"mnuLogin"_s, u"system-users"_s},
        {u"mnuInstallaPrinter"_s, u"printer"_s},
        {u"mnuLiveUpdate"_s, u"software-update-available"_s},
        {u"mnuHelpContents"_s, u"help-contents"_s},
        {u"mnuHelpAbout"_s, u"help-about"_s},
        // the fax lists' context menus (one name per list)
        {u"mnuinoltrafax"_s, u"system-users"_s},
        {u"mnuinoltrafax2"_s, u"system-users"_s},
        {u"mnuInoltroExt"_s, u"document-send"_s},
        {u"mnuInoltroExt2"_s, u"document-send"_s},
        {u"mnuInoltroExtS"_s, u"document-send"_s},
        {u"mnuMailI"_s, u"mail-message-new"_s},
        {u"mnuMailR"_s, u"mail-message-new"_s},
        {u"mnuMail"_s, u"mail-message-new"_s},
        {u"mnuVisualizzaIFax"_s, u"document-print-preview"_s},
        {u"mnuVisualizzaRFax"_s, u"document-print-preview"_s},
        {u"mnuVisualizzaFax"_s, u"document-print-preview"_s},
        {u"mnuPropriet\u00e0IFax"_s, u"document-properties"_s},
        {u"mnuPropriet\u00e0RFax"_s, u"document-properties"_s},
        {u"mnuPropriet\u00e0"_s, u"document-properties"_s},
        {u"mnuSetNotReadI"_s, u"mail-mark-unread"_s},
        {u"mnuSetNotRead"_s, u"mail-mark-unread"_s},
        {u"mnuEliminaFaxI"_s, u"user-trash"_s},
        {u"mnuEliminaFaxR"_s, u"user-trash"_s},
        {u"mnuEliminaFax"_s, u"user-trash"_s},
        {u"mnuEliminaCest"_s, u"edit-delete"_s},
        {u"mnuEliminaCestAll"_s, u"edit-clear-all"_s},
        {u"mnuCestinoRipristina"_s, u"edit-undo"_s},
        // the folder tree's context menu
        {u"mnuTreeNew"_s, u"folder-new"_s},
        {u"mnuTreeSvuotaCestino"_s, u"user-trash-full"_s},
        {u"mnuTreeRemove"_s, u"edit-delete"_s},
        {u"mnuProprietaCartella"_s, u"document-properties"_s},
    };
    return names;
}

} // namespace

QString nameForMenuEntry(const QString &objectName)
{
    return menuNames().value(objectName);
}

QStringList menuEntriesWithPictures()
{
    return menuNames().keys();
}

QIcon forToolbarKey(const QString &key)
{
    return named(nameForToolbarKey(key));
}

QIcon forMenuEntry(const QString &objectName)
{
    return named(nameForMenuEntry(objectName));
}

QString programIconName(const QString &programName)
{
    if (programName.compare(u"QuorinLive"_s, Qt::CaseInsensitive) == 0)
        return u"quorinlive"_s;
    if (programName.compare(u"Sendora"_s, Qt::CaseInsensitive) == 0)
        return u"sendora"_s;
    return u"quorin"_s;
}

QIcon program(const QString &programName)
{
    return named(programIconName(programName));
}

} // namespace ThemeIcons
