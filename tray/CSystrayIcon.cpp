#include "CSystrayIcon.h"

namespace {

constexpr int AllParts = NotifyIconData::NIF_MESSAGE | NotifyIconData::NIF_ICON | NotifyIconData::NIF_TIP;

QString tipOf(const QString &text)
{
    return text.left(NotifyIconData::TipLength);
}

} // namespace

CSystrayIcon::CSystrayIcon(QObject *parent) : QObject(parent) {}

CSystrayIcon::~CSystrayIcon()
{
    HideIcon();
}

void CSystrayIcon::Initialize(QWidget *hWnd, const QIcon &hIcon, const QString &sTip, int uCallbackMessage)
{
    m_data.hIcon = hIcon;
    m_data.hWnd = hWnd;
    m_data.szTip = tipOf(sTip);
    m_data.uFlags = AllParts;
    m_data.uCallbackMessage = uCallbackMessage;
    m_data.uID = 1;
    m_visible = false;
    m_updateOnChange = true;
}

bool CSystrayIcon::call(TrayShell::Message message)
{
    TrayShell *shell = TrayShell::current();
    if (shell->notifyIcon(message, m_data))
        return true;
    Q_EMIT NIError(shell->lastError());
    return false;
}

bool CSystrayIcon::ShowIcon()
{
    if (m_visible)
        return false;
    const bool ok = call(TrayShell::NIM_ADD);
    if (ok)
        m_visible = true;
    return ok;
}

bool CSystrayIcon::HideIcon()
{
    if (!m_visible)
        return false;
    const bool ok = call(TrayShell::NIM_DELETE);
    if (ok)
        m_visible = false;
    return ok;
}

bool CSystrayIcon::Update()
{
    if (!m_visible)
        return false;
    return call(TrayShell::NIM_MODIFY);
}

void CSystrayIcon::sendPart(int flag)
{
    if (!m_updateOnChange)
        return;
    m_data.uFlags = flag;
    Update();
    m_data.uFlags = AllParts;
}

void CSystrayIcon::setIconHandle(const QIcon &icon)
{
    m_data.hIcon = icon;
    sendPart(NotifyIconData::NIF_ICON);
}

void CSystrayIcon::setTipText(const QString &tip)
{
    m_data.szTip = tipOf(tip);
    sendPart(NotifyIconData::NIF_TIP);
}

void CSystrayIcon::setCallbackMessage(int message)
{
    m_data.uCallbackMessage = message;
    sendPart(NotifyIconData::NIF_MESSAGE);
}

void CSystrayIcon::setVisible(bool bVisible)
{
    if (bVisible)
        ShowIcon();
    else
        HideIcon();
}
