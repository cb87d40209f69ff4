// The new-fax icon in the notification area: put up when a fax arrives or a list with unread faxes comes,
// taken down when faxes are marked read or the window closes. A click on it brings the window back. With
// no notification area yet (the panel starts later) it goes up when one appears.
#include "frmMain.h"

#include "ListIcons.h"
#include "ProgramInfo.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "TrayShell.h"

using namespace Qt::StringLiterals;

namespace {

NotifyIconData notifyData(const TrayIconRecord &record)
{
    NotifyIconData data;
    data.hWnd = record.window;
    data.uID = record.iconId;
    data.uFlags = record.flags;
    data.uCallbackMessage = record.callbackMessage;
    data.hIcon = record.icon;
    data.szTip = record.tip.left(NotifyIconData::TipLength);
    return data;
}

} // namespace

void frmMain::showNewFaxIcon()
{
    m_newFaxIconWanted = true; // a notification area that comes later gets it then
    if (m_newFaxIcon)
        return;
    InitTrayIcon(ListIcons::faxIcon(u"user"_s), this);
    TrayIconData.tip = LoadResString(2093);
    m_newFaxIcon = TrayShell::current()->notifyIcon(TrayShell::NIM_ADD, notifyData(TrayIconData));
}

void frmMain::removeNewFaxIcon()
{
    m_newFaxIconWanted = false;
    if (!m_newFaxIcon)
        return;
    m_newFaxIcon = false;
    TrayShell::current()->notifyIcon(TrayShell::NIM_DELETE, notifyData(TrayIconData));
}

bool frmMain::event(QEvent *event)
{
    if (event->type() == TrayNotifyEvent::eventType()) {
        const auto *notify = static_cast<TrayNotifyEvent *>(event);
        if (notify->message() == TrayMouse::LButtonUp || notify->message() == TrayMouse::LButtonDblClk) {
            if (isMinimized())
                showNormal();
            show();
            raise();
            activateWindow();
        }
        return true;
    }
    if (event->type() == TrayCreatedEvent::eventType()) {
        if (m_newFaxIconWanted)
            showNewFaxIcon();
        return true;
    }
    return QMainWindow::event(event);
}
