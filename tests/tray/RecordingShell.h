#pragma once

#include "TrayShell.h"

#include <QList>

// A notification area for tests: records every call and keeps what a user would see.
class RecordingShell : public TrayShell
{
public:
    struct Call
    {
        Message message;
        int flags;
        QIcon icon;
        QString tip;
    };

    RecordingShell() { TrayShell::install(this); }
    ~RecordingShell() override { TrayShell::install(nullptr); }

    bool notifyIcon(Message message, const NotifyIconData &data) override
    {
        calls.append({message, data.uFlags, data.hIcon, data.szTip});
        if (failCode != 0)
            return false;
        switch (message) {
        case NIM_ADD:
            if (shown)
                return false;
            shown = true;
            shownData = data;
            return true;
        case NIM_MODIFY:
            if (!shown)
                return false;
            if (data.uFlags & NotifyIconData::NIF_ICON)
                shownData.hIcon = data.hIcon;
            if (data.uFlags & NotifyIconData::NIF_TIP)
                shownData.szTip = data.szTip;
            if (data.uFlags & NotifyIconData::NIF_MESSAGE)
                shownData.uCallbackMessage = data.uCallbackMessage;
            return true;
        case NIM_DELETE:
            if (!shown)
                return false;
            shown = false;
            return true;
        }
        return false;
    }
    int lastError() const override { return failCode; }

    // The user's mouse over the shown icon.
    void click(int mouseMessage) { TrayShell::notify(shownData, mouseMessage, QPoint(20, 20)); }
    QIcon icon() const { return shownData.hIcon; }
    QString tip() const { return shownData.szTip; }
    bool showsIcon(const QIcon &picture) const
    {
        return shown && shownData.hIcon.cacheKey() == picture.cacheKey();
    }

    QList<Call> calls;
    NotifyIconData shownData;
    bool shown = false;
    int failCode = 0; // not 0: every call fails with it
};
