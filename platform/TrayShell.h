#pragma once

#include <QEvent>
#include <QIcon>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

// What the notification area is told about one icon.
struct NotifyIconData
{
    static constexpr int NIF_MESSAGE = 1;
    static constexpr int NIF_ICON = 2;
    static constexpr int NIF_TIP = 4;
    static constexpr int TipLength = 63;

    QPointer<QWidget> hWnd; // receives the icon's mouse notifications
    int uID = 0;
    int uFlags = 0; // which of icon, tip and callback message a change carries
    int uCallbackMessage = 0;
    QIcon hIcon; // shared, never owned
    QString szTip;
};

// A mouse notification of a notification-area icon, posted to the icon's window when it has a callback
// message. message is the mouse message of the icon (515 double click, 517 right button released...).
class TrayNotifyEvent : public QEvent
{
public:
    static QEvent::Type eventType();
    TrayNotifyEvent(int callbackMessage, int iconId, int message, QPoint globalPos);

    int callbackMessage() const { return m_callback; }
    int iconId() const { return m_iconId; }
    int message() const { return m_message; }
    QPoint globalPos() const { return m_pos; }

private:
    int m_callback, m_iconId, m_message;
    QPoint m_pos;
};

// Told to a window whose icon could not be added for want of a notification area, once one has appeared
// (a panel started after the program): the window adds its icon again.
class TrayCreatedEvent : public QEvent
{
public:
    static QEvent::Type eventType();
    explicit TrayCreatedEvent(int iconId);

    int iconId() const { return m_iconId; }

private:
    int m_iconId;
};

// Mouse messages an icon reports.
namespace TrayMouse {
inline constexpr int LButtonUp = 514;
inline constexpr int LButtonDblClk = 515;
inline constexpr int RButtonUp = 517;
inline constexpr int MButtonUp = 520;
} // namespace TrayMouse

// The notification area of the desktop: adds, changes and removes icons. The programs use the
// system's one shell; tests install a recording one, since the offscreen platform has no tray.
class TrayShell
{
public:
    enum Message { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };

    virtual ~TrayShell() = default;
    // True on success; on failure lastError() tells why.
    virtual bool notifyIcon(Message message, const NotifyIconData &data) = 0;
    virtual int lastError() const = 0;

    // The shell in use: the installed one, else the desktop's (QSystemTrayIcon).
    static TrayShell *current();
    // Installs a shell (nullptr: back to the desktop's). Not owned.
    static void install(TrayShell *shell);

    // Posts a mouse notification to the icon's window, as the desktop does.
    static void notify(const NotifyIconData &data, int mouseMessage, QPoint globalPos);
    // Tells a window that a notification area is there now (TrayCreatedEvent).
    static void notifyCreated(QWidget *window, int iconId);
};

// Error the desktop's shell reports when there is no notification area to put an icon in.
inline constexpr int TrayErrorNotAvailable = 1008;

class QSystemTrayIcon;

// The desktop's notification area through QSystemTrayIcon: one per window and icon id. Hosts report the
// mouse differently. An XEmbed tray reports a left click and then a double click. A StatusNotifier host
// (KDE Plasma, GNOME with the AppIndicator extension, Wayland desktops) reports one activation per left
// click and never a double click, so there the activation stands for the double click. The context
// request (right button) is the right button on both.
// An add refused for want of an area is remembered: the shell keeps looking (once a second) and tells the
// icon's window when an area has appeared. A shown icon survives a panel restart by itself (Qt docks it
// again).
class DesktopTrayShell : public TrayShell
{
public:
    enum class Host { XEmbed, StatusNotifier };

    DesktopTrayShell();
    ~DesktopTrayShell() override;

    bool notifyIcon(Message message, const NotifyIconData &data) override;
    int lastError() const override { return m_error; }

    // The mouse message an activation reported by that kind of host stands for; 0 for none.
    static int mouseMessage(int activationReason, Host host);
    // The kind of host this session has: a StatusNotifier host registered on the session bus (what Qt
    // itself uses when there is one), else XEmbed.
    static Host detectHost();
    // A StatusNotifier host registered on the session bus; an XEmbed tray manager (the owner of the
    // _NET_SYSTEM_TRAY_S<screen> selection) on the X display.
    static bool statusNotifierHostRegistered();
    static bool xembedManagerPresent();
    // How often an area is looked for while an add waits for one.
    static constexpr int AreaWatchMs = 1000;

    // The icon shown for a window's icon id; nullptr when none.
    QSystemTrayIcon *trayIcon(QWidget *window, int id) const;

protected:
    // Whether there is a notification area at all. Asked of the session itself, not of Qt: Qt settles at
    // its first tray call whether it speaks StatusNotifier, and a call made before the host is up would
    // keep the program off it for good.
    virtual bool available() const;
    // The host kind, asked at each activation.
    virtual Host host() const;
    virtual void showIcon(QSystemTrayIcon &icon);
    virtual void hideIcon(QSystemTrayIcon &icon);

private:
    struct Icons;
    bool fail();
    bool succeed();
    void waitForArea(QWidget *window, int id);
    void lookForArea();

    Icons *m_icons;
    int m_error = 0;
};
