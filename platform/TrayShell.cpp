#include "TrayShell.h"

#include "PlainToolTip.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>
#include <utility>

#ifdef QUORIN_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#endif

#ifdef QUORIN_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#endif

struct DesktopTrayShell::Icons
{
    using Key = QPair<QWidget *, int>;
    QHash<Key, QSystemTrayIcon *> shown;
    QHash<Key, NotifyIconData> callbacks;
    QHash<Key, DesktopTrayShell::Host> hosts; // the kind of area each icon was made for
    QHash<Key, QPointer<QWidget>> waiting;    // adds refused for want of an area
    QPointer<QTimer> watch;
};

namespace {

// On an XEmbed tray the icon is a window of ours whose tip Qt shows as any widget's, taking markup-looking
// text for rich text: there the tip goes in made plain. A StatusNotifier host gets the tip as its tooltip's
// title, which is plain text: there it goes as it is. Qt picks the kind once, when the icon is made.
void apply(QSystemTrayIcon &icon, const NotifyIconData &data, int flags, DesktopTrayShell::Host host)
{
    if (flags & NotifyIconData::NIF_ICON)
        icon.setIcon(data.hIcon);
    if (flags & NotifyIconData::NIF_TIP)
        icon.setToolTip(host == DesktopTrayShell::Host::XEmbed ? plainToolTip(data.szTip) : data.szTip);
}

TrayShell *&installed()
{
    static TrayShell *shell = nullptr;
    return shell;
}

} // namespace

QEvent::Type TrayNotifyEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TrayNotifyEvent::TrayNotifyEvent(int callbackMessage, int iconId, int message, QPoint globalPos)
    : QEvent(eventType()), m_callback(callbackMessage), m_iconId(iconId), m_message(message), m_pos(globalPos)
{}

TrayShell *TrayShell::current()
{
    if (installed())
        return installed();
    static DesktopTrayShell desktop;
    return &desktop;
}

void TrayShell::install(TrayShell *shell)
{
    installed() = shell;
}

void TrayShell::notify(const NotifyIconData &data, int mouseMessage, QPoint globalPos)
{
    if (!data.hWnd || data.uCallbackMessage == 0)
        return;
    QCoreApplication::postEvent(
        data.hWnd.data(), new TrayNotifyEvent(data.uCallbackMessage, data.uID, mouseMessage, globalPos));
}

QEvent::Type TrayCreatedEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TrayCreatedEvent::TrayCreatedEvent(int iconId) : QEvent(eventType()), m_iconId(iconId) {}

void TrayShell::notifyCreated(QWidget *window, int iconId)
{
    if (window)
        QCoreApplication::postEvent(window, new TrayCreatedEvent(iconId));
}

DesktopTrayShell::DesktopTrayShell() : m_icons(new Icons) {}

DesktopTrayShell::~DesktopTrayShell()
{
    // The program-wide shell outlives the application object: its icons are left to the system then.
    if (QCoreApplication::instance()) {
        qDeleteAll(m_icons->shown);
        delete m_icons->watch.data();
    }
    delete m_icons;
}

bool DesktopTrayShell::notifyIcon(Message message, const NotifyIconData &data)
{
    const Icons::Key key{data.hWnd.data(), data.uID};
    switch (message) {
    case NIM_ADD: {
        if (m_icons->shown.contains(key))
            return fail();
        if (!available()) {
            waitForArea(data.hWnd.data(), data.uID);
            return fail();
        }
        m_icons->waiting.remove(key);
        auto icon = std::make_unique<QSystemTrayIcon>();
        const Host kind = host();
        apply(*icon, data, NotifyIconData::NIF_ICON | NotifyIconData::NIF_TIP, kind);
        QObject::connect(icon.get(), &QSystemTrayIcon::activated, icon.get(),
                         [this, key](QSystemTrayIcon::ActivationReason reason) {
                             const int m = mouseMessage(reason, host());
                             const auto it = m_icons->callbacks.constFind(key);
                             if (m != 0 && it != m_icons->callbacks.cend())
                                 TrayShell::notify(*it, m, QCursor::pos());
                         });
        showIcon(*icon);
        m_icons->callbacks.insert(key, data);
        m_icons->hosts.insert(key, kind);
        m_icons->shown.insert(key, icon.release());
        return succeed();
    }
    case NIM_MODIFY: {
        QSystemTrayIcon *icon = m_icons->shown.value(key);
        if (!icon)
            return fail();
        apply(*icon, data, data.uFlags, m_icons->hosts.value(key));
        if (data.uFlags & NotifyIconData::NIF_MESSAGE)
            m_icons->callbacks.insert(key, data);
        return succeed();
    }
    case NIM_DELETE: {
        QSystemTrayIcon *icon = m_icons->shown.take(key);
        m_icons->waiting.remove(key);
        m_icons->callbacks.remove(key);
        m_icons->hosts.remove(key);
        if (!icon)
            return fail();
        hideIcon(*icon);
        icon->deleteLater();
        return succeed();
    }
    }
    return fail();
}

int DesktopTrayShell::mouseMessage(int activationReason, Host host)
{
    switch (static_cast<QSystemTrayIcon::ActivationReason>(activationReason)) {
    case QSystemTrayIcon::DoubleClick:
        return TrayMouse::LButtonDblClk;
    case QSystemTrayIcon::Context:
        return TrayMouse::RButtonUp;
    case QSystemTrayIcon::Trigger:
        return host == Host::StatusNotifier ? TrayMouse::LButtonDblClk : TrayMouse::LButtonUp;
    case QSystemTrayIcon::MiddleClick:
        return TrayMouse::MButtonUp;
    default:
        return 0;
    }
}

bool DesktopTrayShell::statusNotifierHostRegistered()
{
#ifdef QUORIN_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(watcher)) {
        QDBusInterface probe(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
        return probe.property("IsStatusNotifierHostRegistered").toBool();
    }
#endif
    return false;
}

#ifdef QUORIN_HAVE_XCB
namespace {

// The screen of DISPLAY ("host:display.screen"), the one whose tray Qt docks into.
int displayScreen()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    if (dot < 0 || dot < display.lastIndexOf(':'))
        return 0;
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok ? screen : 0;
}

} // namespace
#endif

bool DesktopTrayShell::xembedManagerPresent()
{
#ifdef QUORIN_HAVE_XCB
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    static xcb_atom_t selection = XCB_ATOM_NONE; // the program has one X connection
    if (selection == XCB_ATOM_NONE) {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(displayScreen());
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, quint16(name.size()), name.constData()), nullptr);
        if (!atom)
            return false;
        selection = atom->atom;
        std::free(atom);
    }
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
#else
    return false;
#endif
}

DesktopTrayShell::Host DesktopTrayShell::detectHost()
{
    if (statusNotifierHostRegistered())
        return Host::StatusNotifier;
    // Wayland has no XEmbed: whatever tray there is speaks StatusNotifier.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return Host::StatusNotifier;
    return Host::XEmbed;
}

QSystemTrayIcon *DesktopTrayShell::trayIcon(QWidget *window, int id) const
{
    return m_icons->shown.value(Icons::Key{window, id});
}

bool DesktopTrayShell::available() const
{
    return statusNotifierHostRegistered() || xembedManagerPresent();
}

DesktopTrayShell::Host DesktopTrayShell::host() const
{
    // The host can change during a session (a panel restarted, an extension switched on).
    return detectHost();
}

void DesktopTrayShell::showIcon(QSystemTrayIcon &icon)
{
    icon.show();
}

void DesktopTrayShell::hideIcon(QSystemTrayIcon &icon)
{
    icon.hide();
}

void DesktopTrayShell::waitForArea(QWidget *window, int id)
{
    if (!window || !QCoreApplication::instance())
        return;
    m_icons->waiting.insert(Icons::Key{window, id}, window);
    if (!m_icons->watch) {
        // Owned by the application: the program-wide shell outlives it.
        m_icons->watch = new QTimer(QCoreApplication::instance());
        m_icons->watch->setInterval(AreaWatchMs);
        QObject::connect(m_icons->watch.data(), &QTimer::timeout, m_icons->watch.data(),
                         [this] { lookForArea(); });
    }
    if (!m_icons->watch->isActive())
        m_icons->watch->start();
}

void DesktopTrayShell::lookForArea()
{
    for (auto it = m_icons->waiting.begin(); it != m_icons->waiting.end();)
        it = it.value() ? std::next(it) : m_icons->waiting.erase(it);
    if (!m_icons->waiting.isEmpty() && !available())
        return;
    const auto waiting = std::exchange(m_icons->waiting, {});
    m_icons->watch->stop();
    for (auto it = waiting.cbegin(); it != waiting.cend(); ++it)
        notifyCreated(it.value(), it.key().second);
}

bool DesktopTrayShell::fail()
{
    m_error = TrayErrorNotAvailable;
    return false;
}

bool DesktopTrayShell::succeed()
{
    m_error = 0;
    return true;
}
