#include "TrayShell.h"

#include <QCoreApplication>
#include <QCursor>
#include <QHash>
#include <QSystemTrayIcon>

#include <memory>

namespace {

// The desktop's notification area through QSystemTrayIcon: one per window and icon id.
class SystemTrayShell : public TrayShell
{
public:
    bool notifyIcon(Message message, const NotifyIconData &data) override
    {
        const Key key{data.hWnd.data(), data.uID};
        switch (message) {
        case NIM_ADD: {
            if (m_icons.contains(key) || !QSystemTrayIcon::isSystemTrayAvailable())
                return fail();
            auto icon = std::make_unique<QSystemTrayIcon>();
            apply(*icon, data, NotifyIconData::NIF_ICON | NotifyIconData::NIF_TIP);
            const NotifyIconData target = data;
            QObject::connect(icon.get(), &QSystemTrayIcon::activated, icon.get(),
                             [this, key](QSystemTrayIcon::ActivationReason reason) {
                                 const int m = mouseMessage(reason);
                                 const auto it = m_callbacks.constFind(key);
                                 if (m != 0 && it != m_callbacks.cend())
                                     TrayShell::notify(*it, m, QCursor::pos());
                             });
            icon->show();
            m_callbacks.insert(key, target);
            m_icons.insert(key, icon.release());
            return succeed();
        }
        case NIM_MODIFY: {
            QSystemTrayIcon *icon = m_icons.value(key);
            if (!icon)
                return fail();
            apply(*icon, data, data.uFlags);
            if (data.uFlags & NotifyIconData::NIF_MESSAGE)
                m_callbacks.insert(key, data);
            return succeed();
        }
        case NIM_DELETE: {
            QSystemTrayIcon *icon = m_icons.take(key);
            m_callbacks.remove(key);
            if (!icon)
                return fail();
            icon->hide();
            icon->deleteLater();
            return succeed();
        }
        }
        return fail();
    }
    int lastError() const override { return m_error; }

private:
    using Key = QPair<QWidget *, int>;

    static int mouseMessage(QSystemTrayIcon::ActivationReason reason)
    {
        switch (reason) {
        case QSystemTrayIcon::DoubleClick:
            return TrayMouse::LButtonDblClk;
        case QSystemTrayIcon::Context:
            return TrayMouse::RButtonUp;
        case QSystemTrayIcon::Trigger:
            return TrayMouse::LButtonUp;
        case QSystemTrayIcon::MiddleClick:
            return TrayMouse::MButtonUp;
        default:
            return 0;
        }
    }
    static void apply(QSystemTrayIcon &icon, const NotifyIconData &data, int flags)
    {
        if (flags & NotifyIconData::NIF_ICON)
            icon.setIcon(data.hIcon);
        if (flags & NotifyIconData::NIF_TIP)
            icon.setToolTip(data.szTip);
    }
    bool fail()
    {
        m_error = TrayErrorNotAvailable;
        return false;
    }
    bool succeed()
    {
        m_error = 0;
        return true;
    }

    QHash<Key, QSystemTrayIcon *> m_icons;
    QHash<Key, NotifyIconData> m_callbacks;
    int m_error = 0;
};

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
    static SystemTrayShell system;
    return &system;
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
