#pragma once

#include "FakeFaxServer.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <optional>

// A small mailbox that a FakeFaxServer serves as a responder: the four fixed folders with a few user
// folders, faxes in every list with real multi-page fax images, forward users and groups, and a shared
// address book. Changes the client asks for (marks, moves, trash, contacts, new folders) are kept for the
// life of the process. The fax client, the demo and window tests talk to it.
class SampleMailbox : public QObject
{
    Q_OBJECT
public:
    struct Fax
    {
        QString id;   // leading letter and number, as the server keys faxes
        QString list; // "INOLTRO", "PERSONALI", "SPEDITI", "CANCELLATI"
        int folder = 1;
        QString status; // status code
        QString icon;   // icon code
        QString remoteId, company, faxNumber, subject, destName;
        int minutes = 0; // since 1 January 2006
        int pages = 1;
        bool read = false;
        bool printed = false;
        QString image; // path of its fax image
    };
    struct Folder
    {
        int parent = 1;
        int id = 5;
        QString name;
        bool shared = false;
    };
    struct Contact
    {
        QStringList fields; // the eleven texts
        int id = 0;
        bool isPublic = false;
    };

    explicit SampleMailbox(QObject *parent = nullptr);

    // False when the fax images could not be made.
    bool isValid() const { return m_valid; }
    void attach(FakeFaxServer *server);

    // Version texts announced after login: the link library, Quorin, Sendora, QuorinLive, a further product.
    void setVersions(const QStringList &versions) { m_versions = versions; }

    QList<Fax> faxes() const { return m_faxes; }
    QList<Folder> folders() const { return m_folders; }
    QList<Contact> contacts() const { return m_contacts; }

private:
    void respond(FakeFaxServer &server, const FakeFaxServer::Frame &frame);
    QByteArray listAnswer(const QString &list, int folder) const;
    QByteArray infoAnswer(const QString &list, const QString &keys) const;
    QByteArray treeAnswer(int root) const;
    QByteArray forwardAnswer(bool users, const QString &key) const;
    QByteArray bookAnswer() const;
    void sendImage(FakeFaxServer &server, const QString &key);
    // The sent fax filed for the upload of key: its announced recipient, company, number and subject,
    // and the pages of its documents; none when key was not announced as a new fax.
    std::optional<Fax> sentFax(const FakeFaxServer &server, const QString &key);
    Fax *findFax(const QString &key);
    static QStringList keysOf(const QString &list);

    QTemporaryDir m_images;
    QList<Fax> m_faxes;
    QList<Folder> m_folders;
    QList<Contact> m_contacts;
    QStringList m_versions;
    QString m_user;
    int m_nextFolder = 20;
    int m_nextContact = 100;
    int m_nextSent = 900;
    bool m_valid = false;
};
