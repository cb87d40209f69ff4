#pragma once

#include "ShownTip.h"
#include "TrayShell.h"

#include <QList>
#include <QSystemTrayIcon>
#include <QTextDocument>

// The desktop's shell with a pretend notification area of a chosen kind: icons are made and kept as the
// real shell does, but not put on a screen, and the test plays the host's activations on them.
class RecordingTray : public DesktopTrayShell
{
public:
    explicit RecordingTray(Host host) : m_host(host) { TrayShell::install(this); }
    ~RecordingTray() override { TrayShell::install(nullptr); }

    // The host reports the user's mouse on every shown icon.
    void activate(QSystemTrayIcon::ActivationReason reason)
    {
        const QList<QSystemTrayIcon *> icons = shown;
        for (QSystemTrayIcon *icon : icons)
            Q_EMIT icon->activated(reason);
    }

    // What the host shows of an icon's tip: an XEmbed icon's tip is shown by Qt, as rich text when it
    // looks like markup; a StatusNotifier host shows its tooltip title as plain text.
    QString shownTip(const QSystemTrayIcon *icon) const
    {
        const QString tip = icon->toolTip();
        return m_host == Host::StatusNotifier ? tip : ::shownTip(tip);
    }

    QList<QSystemTrayIcon *> shown;
    bool hasArea = true;

protected:
    bool available() const override { return hasArea; }
    Host host() const override { return m_host; }
    void showIcon(QSystemTrayIcon &icon) override { shown.append(&icon); }
    void hideIcon(QSystemTrayIcon &icon) override { shown.removeAll(&icon); }

private:
    Host m_host;
};
