#pragma once

#include "TrayShell.h"

#include <QIcon>
#include <QObject>
#include <QString>

class QWidget;

// Owns exactly one icon in the notification area: keeps its record, hands it to the shell to add, change
// or remove the icon, and remembers whether the icon is shown. A refused shell call never fails the caller:
// it raises NIError with the shell's error code. What the icon shows is the caller's business.
class CSystrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit CSystrayIcon(QObject *parent = nullptr);
    // An icon still shown is removed.
    ~CSystrayIcon() override;

    // Fills the record (icon id 1, all three parts) without a shell call: the icon appears with ShowIcon.
    // May be called again; it forgets a shown icon without removing it.
    void Initialize(QWidget *hWnd, const QIcon &hIcon, const QString &sTip, int uCallbackMessage);
    // Adds the icon when it is not shown; false (and no call) when it already is.
    bool ShowIcon();
    // Removes the icon when it is shown; false (and no call) when it is not.
    bool HideIcon();
    // Sends the record as it stands to a shown icon; false (and no call) when hidden.
    bool Update();

    // Each assignment is sent at once (only that part) while UpdateOnChange is on.
    void setIconHandle(const QIcon &icon);
    QIcon IconHandle() const { return m_data.hIcon; }
    void setTipText(const QString &tip);
    QString TipText() const { return m_data.szTip; }
    void setCallbackMessage(int message);
    int CallbackMessage() const { return m_data.uCallbackMessage; }
    void setUpdateOnChange(bool bUpdate) { m_updateOnChange = bUpdate; }
    bool Visible() const { return m_visible; }
    void setVisible(bool bVisible);

    // The record as the shell sees it (tests).
    const NotifyIconData &record() const { return m_data; }

Q_SIGNALS:
    void NIError(int ErrorNumber);

private:
    bool call(TrayShell::Message message);
    void sendPart(int flag);

    NotifyIconData m_data;
    bool m_visible = false;
    bool m_updateOnChange = false;
};
