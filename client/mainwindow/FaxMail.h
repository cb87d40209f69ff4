#pragma once

#include "MailHandover.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

// The fax client's mail hand-over: the session (what the main window knew as its session and message
// controls) and the mails it composes: one fax of the list, a scanned page, the notices after a forward.
// The main window owns one and keeps its isMail from StartMail's result.
class FaxMail
{
public:
    explicit FaxMail(QWidget *owner = nullptr) : m_owner(owner) {}

    // Contacts picked in the local address book (name, address); the main window opens the book there.
    // Unset: no pick, the user fills the recipients in the mail client.
    using RecipientPicker = std::function<QList<MailHandover::Recipient>(QWidget *owner)>;
    void setRecipientPicker(RecipientPicker picker) { m_picker = std::move(picker); }

    // Opens the session when "AbilitaMail" is on. Returns the new isMail: false when the option is off
    // or the session could not be opened (the user is told).
    bool StartMail();
    void SignOff() { m_session.SignOff(); }
    int SessionID() const { return m_session.SessionID(); }
    bool isMail() const { return m_isMail; }
    void setIsMail(bool on) { m_isMail = on; }

    // Sends one fax by mail: key is the list key of the fax, whose image is faxFile and whose text is
    // faxText, or "-1" for a scanned document in fileName. Nothing when "AbilitaMail" is off.
    void SpedisciMail(const QString &key, const QString &fileName, const QString &faxFile,
                      const QString &faxText);
    void AutoSendMail() {}
    void SpedisciMail2() {}

    // The mails after a forward: one to usersMails (message only), one to usersMailsAttach with the fax
    // image attached. Both lists read ";" address ";" address. False when no session could be had.
    bool SendForwardMails(const QString &usersMails, const QString &usersMailsAttach, const QString &text,
                          const QString &attachment);

    MailHandover &session() { return m_session; }

    // The recipients of a ";"-separated list of addresses ("SMTP:" in front of each).
    static QList<MailHandover::Recipient> recipientsOf(const QString &list);

private:
    bool ensureSession();

    QPointer<QWidget> m_owner;
    MailHandover m_session;
    RecipientPicker m_picker;
    bool m_isMail = false;
};
