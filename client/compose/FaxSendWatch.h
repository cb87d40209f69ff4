#pragma once

#include "Recipients.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QuorinSock;
class QWidget;

// What the send dialog held when it handed a fax over: enough to open the dialog again as it was.
struct FaxDraft
{
    QString itemOpen;  // the listed fax sent on, first document
    QStringList files; // the other documents, as listed
    bool cover = false;
    QString coverFile;
    QString to, company, faxNumber;
    bool pickedFromBook = false;
    PickedList picked;
    QString from, sendCompany, voice, fax;
    QString subject, note;
    bool hiRes = false;
    QString date, time;         // as typed
    QString sendDate, sendTime; // as sent ("dd-MM-yyyy", "HH:mm:ss")
    QString recipients;         // who the fax is for, as the user is told ("Rossi (021), 022")
};

// Follows the faxes the send dialogs handed to one server link until the link confirms or loses them.
// A fax the link reports as not sent (link lost, document unreadable) is told to the user, naming the
// recipients and the reason, with the offer to open the send dialog again as it was. One per link:
//
//   FaxSendWatch::of(sock)->track(key, draft, dialog, mainWindow);
//   if (FaxSendWatch::of(sock)->uploading()) ... ask before quitting
class FaxSendWatch : public QObject
{
    Q_OBJECT
public:
    // The watch of this link, made on first use (a child of the link).
    static FaxSendWatch *of(QuorinSock *sock);

    void track(const QString &key, const FaxDraft &draft, QWidget *dialog, QWidget *mainWindow);

    // Faxes handed over and not yet confirmed, all of them or those of one dialog.
    bool uploading() const { return !m_pending.isEmpty(); }
    bool uploadingFrom(const QWidget *dialog) const;
    // Their recipients, for a question ("Rossi (021); 022").
    QString recipients(const QWidget *dialog = nullptr) const;

    // Stops every fax still uploading: the link is dropped (the protocol cannot take back a fax under
    // way; without its end the server files nothing) and each fax is reported as not sent with `reason`.
    // With `quiet` (the program is ending) the report goes to the log only; otherwise the link logs in
    // again so the fax can be sent again.
    void stopAll(const QString &reason, bool quiet);

    // Asks before a send window or the program closes while a fax (of that window, or any) uploads.
    // True when it may close: nothing uploads, or the user insisted and the faxes were stopped.
    enum class Closing { SendWindow, Program };
    bool confirmClose(QWidget *parent, const QWidget *dialog, Closing what);

    // The reason told to the user for a link error about a fax.
    static QString reasonFor(int number, const QString &description, const QString &file);

Q_SIGNALS:
    // A fax the link did not deliver, after the user was told (tests, logs).
    void notSent(const QString &key, const QString &recipients, const QString &reason);

private:
    explicit FaxSendWatch(QuorinSock *sock);
    void onError(int number, const QString &description, const QString &source);
    void report(const QString &key, const QString &reason);
    void reopen(const FaxDraft &draft, QWidget *mainWindow);

    struct Pending
    {
        FaxDraft draft;
        QPointer<QWidget> dialog;
        QPointer<QWidget> mainWindow;
    };
    QPointer<QuorinSock> m_sock;
    QHash<QString, Pending> m_pending;
    QStringList m_order;  // keys in the order handed over
    QString m_stopReason; // while stopAll drops the link
    bool m_quiet = false;
};
