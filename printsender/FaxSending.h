#pragma once

#include <QList>
#include <QString>

#include <memory>

// One fax handed to the server link during this run: its key, its documents, and whether the link
// confirmed the upload. A fax whose upload the link gave up on is Failed: nothing more will come for it.
// Acknowledged: the server's TCP took every byte; the window still waits for the close that confirms
// the server read them (only then Sent).
class clsFaxSending
{
public:
    QString IdFax() const { return m_idFax; }
    void setIdFax(const QString &v) { m_idFax = v; }
    QString StrFiles() const { return m_strFiles; }
    void setStrFiles(const QString &v) { m_strFiles = v; }
    bool Sent() const { return m_sent; }
    void setSent(bool v) { m_sent = v; }
    bool Failed() const { return m_failed; }
    void setFailed(bool v) { m_failed = v; }
    bool Acknowledged() const { return m_acked; }
    void setAcknowledged(bool v) { m_acked = v; }
    // Handed over to be stored among the received faxes ("Salva nei Ricevuti"), not to be sent.
    bool Stored() const { return m_stored; }
    void setStored(bool v) { m_stored = v; }
    // Still waiting for the link: neither confirmed nor given up.
    bool Pending() const { return !m_sent && !m_failed; }

private:
    QString m_idFax;
    QString m_strFiles;
    bool m_sent = false;
    bool m_failed = false;
    bool m_acked = false;
    bool m_stored = false;
};

// The faxes handed over during a run, in order of addition, keyed by IdFax.
class collFaxSending
{
public:
    // Adds an entry (Sent false). Nullptr when the key is already present (the caller reports it);
    // an empty key adds an entry without a key.
    clsFaxSending *Add(const QString &IdFax, const QString &NomiFiles);
    // By key; nullptr when absent.
    clsFaxSending *item(const QString &key) const;
    // By position from 1; nullptr outside 1..Count.
    clsFaxSending *item(qsizetype index) const;
    qsizetype Count() const { return m_items.size(); }
    void Remove(const QString &key);
    void Remove(qsizetype index);

    // True when some entry is still waiting for the link.
    bool anyPending() const;

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    QList<std::shared_ptr<clsFaxSending>> m_items;
};
