#include "TrayShell.h"

#include "PlainToolTip.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QSystemTrayIcon>

#include <memory>

#ifdef QUORIN_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#endif

struct DesktopTrayShell::Icons
{
    using Key = QPair<QWidget *, int>;
    QHash<Key, QSystemTrayIcon *> shown;
    QHash<Key, NotifyIconData> callbacks;
    QHash<Key, DesktopTrayShell::Host> hosts; // the kind of area each icon was made for
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

DesktopTrayShell::DesktopTrayShell() : m_icons(new Icons) {}

DesktopTrayShell::~DesktopTrayShell()
{
    // The program-wide shell outlives the application object: its icons are left to the system then.
    if (QCoreApplication::instance())
        qDeleteAll(m_icons->shown);
    delete m_icons;
}

bool DesktopTrayShell::notifyIcon(Message message, const NotifyIconData &data)
{
    const Icons::Key key{data.hWnd.data(), data.uID};
    switch (message) {
    case NIM_ADD: {
        if (m_icons->shown.contains(key) || !available())
            return fail();
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

DesktopTrayShell::Host DesktopTrayShell::detectHost()
{
#ifdef QUORIN_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(watcher)) {
        QDBusInterface probe(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
        if (probe.property("IsStatusNotifierHostRegistered").toBool())
            return Host::StatusNotifier;
    }
#endif
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
    return QSystemTrayIcon::isSystemTrayAvailable();
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
