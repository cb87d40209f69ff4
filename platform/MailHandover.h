#pragma once

#include <QList>
#include <QString>

// Hands a message to the desktop's mail client through xdg-email: recipients, subject, body and one
// attached file; the mail client shows the message to the user, who sends it from there.
// A "session" is open when xdg-email is found on PATH. The attachment is copied to a file of its own in
// the private temporary folder first, so a later download into the original file cannot change what the
// mail client attaches.
class MailHandover
{
public:
    struct Recipient
    {
        QString address; // "SMTP:" in front is dropped
        QString displayName;
    };

    struct Message
    {
        QList<Recipient> recipients;
        QString subject;
        QString body;
        QString attachment; // empty: none
    };

    // Opens the session: true when xdg-email is found. Otherwise false with error set.
    bool SignOn(QString *error = nullptr);
    void SignOff() { m_sessionId = 0; }
    // 0 when no session is open.
    int SessionID() const { return m_sessionId; }

    // Starts the mail client with the message (never waits for it). False with error set when no session
    // is open, the attachment cannot be copied, the program does not start, or every recipient was left
    // out. Recipients that are not plain addresses are left out; a message box names them.
    bool Send(const Message &message, QString *error = nullptr);

    // A plain address: not empty, no quotes, commas, semicolons, blanks, angle brackets or control
    // characters (the mail client may put the address inside a quoted command of its own).
    static bool isPlainAddress(const QString &address);
    // The recipients' addresses (without "SMTP:") that are not plain addresses.
    static QStringList refusedAddresses(const Message &message);
    // The arguments Send gives xdg-email for a message whose attachment is already at attachmentCopy;
    // addresses that are not plain are never among them.
    static QStringList arguments(const Message &message, const QString &attachmentCopy);
    // Copies file into a new folder of its own under the private temporary folder, keeping its name.
    // Empty with error set on failure.
    static QString copyAttachment(const QString &file, QString *error = nullptr);

private:
    int m_sessionId = 0;
};
