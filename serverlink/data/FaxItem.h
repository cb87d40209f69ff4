#pragma once

#include "Collection.h"

#include <QString>

// One fax of a server list. Plain values; the control fills them, hosts read and may set them.
class FaxItem
{
public:
    void setIdFax(QString v) { m_IdFax = std::move(v); }
    QString IdFax() const { return m_IdFax; }
    void setStatus(QString v) { m_status = std::move(v); }
    QString status() const { return m_status; }
    void setIcon(QString v) { m_Icon = std::move(v); }
    QString Icon() const { return m_Icon; }
    void setRemoteID(QString v) { m_RemoteID = std::move(v); }
    QString RemoteID() const { return m_RemoteID; }
    void setToCompany(QString v) { m_ToCompany = std::move(v); }
    QString ToCompany() const { return m_ToCompany; }
    void setDestFax(QString v) { m_DestFax = std::move(v); }
    QString DestFax() const { return m_DestFax; }
    void setDateFax(QString v) { m_DateFax = std::move(v); }
    QString DateFax() const { return m_DateFax; }
    void setPageSent(int v) { m_PageSent = v; }
    int PageSent() const { return m_PageSent; }
    void setSubject(QString v) { m_Subject = std::move(v); }
    QString Subject() const { return m_Subject; }
    void setDateOrder(QString v) { m_DateOrder = std::move(v); }
    QString DateOrder() const { return m_DateOrder; }
    void setRead(bool v) { m_Read = v; }
    bool Read() const { return m_Read; }
    void setDestName(QString v) { m_DestName = std::move(v); }
    QString DestName() const { return m_DestName; }
    void setSentDate(QString v) { m_SentDate = std::move(v); }
    QString SentDate() const { return m_SentDate; }
    void setRetries(int v) { m_Retries = v; }
    int Retries() const { return m_Retries; }
    void setTotalPages(int v) { m_TotalPages = v; }
    int TotalPages() const { return m_TotalPages; }
    void setDuration(int v) { m_Duration = v; }
    int Duration() const { return m_Duration; }
    void setSpeed(int v) { m_Speed = v; }
    int Speed() const { return m_Speed; }
    void setSelected(bool v) { m_Selected = v; }
    bool Selected() const { return m_Selected; }
    void setPending(bool v) { m_Pending = v; }
    bool Pending() const { return m_Pending; }
    void setRetryCount(int v) { m_RetryCount = v; }
    int RetryCount() const { return m_RetryCount; }

private:
    QString m_IdFax, m_status, m_Icon, m_RemoteID, m_ToCompany, m_DestFax, m_DateFax;
    int m_PageSent = 0;
    QString m_Subject, m_DateOrder;
    bool m_Read = false;
    QString m_DestName, m_SentDate;
    int m_Retries = 0, m_TotalPages = 0, m_Duration = 0, m_Speed = 0;
    bool m_Selected = false, m_Pending = false;
    int m_RetryCount = 0;
};

// The faxes of the last list answer, keyed by IdFax. Add(item) refuses a key already present.
class CollFaxItem : public Collection<FaxItem>
{
public:
    bool Add(Owned item)
    {
        const QString key = item ? item->IdFax() : QString();
        return Collection<FaxItem>::Add(std::move(item), key);
    }
    // key: the item's IdFax, its hash taken.
    void appendUnsettled(Owned &&item, FoldedKey &&key)
    {
        Collection<FaxItem>::appendUnsettled(std::move(item), std::move(key));
    }
};
