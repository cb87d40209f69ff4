#pragma once

#include "VCardCodec.h"

#include <QObject>
#include <QString>

#include <functional>

class QFileSystemWatcher;

// The local address book: the vCard file $XDG_DATA_HOME/quorin/addressbook.vcf.
//
// Every window of a process uses the same book (`shared`). Each change is written at once: under a lock
// file, the file is read again when another program changed it, the change is applied to what it holds,
// and the whole book is replaced atomically. A change seen on disk (watcher) is read and announced by
// `changed`, so no window keeps a stale copy.
class LocalAddressBook : public QObject
{
    Q_OBJECT
public:
    static QString defaultPath();
    // The one book of this process for the file.
    static LocalAddressBook &shared(const QString &path = defaultPath());

    explicit LocalAddressBook(const QString &path = defaultPath(), QObject *parent = nullptr);
    ~LocalAddressBook() override;

    // Reads the file. A missing file is an empty book. False, with error set, when the file cannot be
    // read; the contacts read before any problem are kept, and problems() lists what could not be
    // understood.
    bool load(QString *error = nullptr);
    // Reads the file again only when it differs from what was last read or written.
    bool refresh(QString *error = nullptr);
    // As refresh(), but a file of BackgroundBytes or more is read and parsed on a worker thread: Reading
    // then, and `refreshed` tells when it is over. A smaller or missing file is read at once (Done or
    // Failed, error set as refresh() sets it).
    enum class Refresh { Done, Failed, Reading };
    static constexpr qint64 BackgroundBytes = 512 * 1024; // about 2,000 cards, read in some 20 ms
    Refresh refreshInBackground(QString *error = nullptr);
    // A read begun by refreshInBackground has not landed yet.
    bool isReading() const { return m_reading; }
    // Writes the book as it is in memory (for building a book from scratch). Refused, with nothing
    // written, when another program changed the file since it was read.
    bool save(QString *error = nullptr);

    QString path() const { return m_path; }
    const QList<LocalContact> &contacts() const { return m_contacts; }
    QStringList problems() const { return m_problems; }
    int count() const { return int(m_contacts.size()); }
    bool isOpen() const { return m_open; }

    // In memory only; save() writes. Gives the contact a uid when it has none; returns its index.
    int add(LocalContact contact);
    bool update(int index, const LocalContact &contact);
    bool remove(int index);
    int indexOfUid(const QString &uid) const;
    int indexOfKey(const QString &key) const;

    // Changes written at once (lock, fresh read, atomic replace). addContact returns the new uid (empty
    // on failure). An updated contact that another program deleted meanwhile is added back.
    QString addContact(LocalContact contact, QString *error = nullptr);
    // The contact as edited (its `original` the bytes the editing started from) is merged with what the
    // file holds now: a field changed only here is written, one changed only elsewhere is kept; for one
    // changed on both sides `keepMine(label, theirs, mine)` decides (ours when unset). The card is found
    // by its key; else by its UID when that UID was and is on one card only; else (no UID, or a UID other
    // cards share) by its bytes, else among the cards without UID (or with that UID) by the fields the
    // user did not change: a card that is surely it (the only one that shares some of them, and its name
    // or all of them) is taken; otherwise `sameCard(theirs, mine)` is asked for each card that shares
    // some, best first, or, when none does, for each that shares any value of the card as it was (theirs:
    // a summary of the card the file holds, mine: of the card as it was). A new card is written only when
    // every answer is no (the best one is taken when unset). `writtenKey` gets the key of the card
    // written.
    using Chooser = std::function<bool(const QString &label, const QString &theirs, const QString &mine)>;
    using CardMatcher = std::function<bool(const QString &theirs, const QString &mine)>;
    bool updateContact(LocalContact contact, QString *error = nullptr, const Chooser &keepMine = {},
                       const CardMatcher &sameCard = {}, QString *writtenKey = nullptr);
    // Removes the one card with that key (nothing when another program removed it already).
    // updateContact and removeContact take their argument by value: a caller may pass one of contacts(),
    // which the re-read of the file replaces.
    bool removeContact(QString key, QString *error = nullptr);

Q_SIGNALS:
    // The contacts in memory changed (a change of ours, or the file changed on disk).
    void changed();
    // The latest read begun by refreshInBackground is over: taken (changed came first when it brought
    // something new), found the same, or dropped because a change of ours or a newer read came meanwhile.
    // `open` and `error` tell the book as it is now.
    void refreshed(bool open, const QString &error);

private:
    struct Parsed;
    struct BackgroundRead;
    static bool readFile(const QString &path, QByteArray *data, bool *exists, QString *error);
    bool readOwnFile(QByteArray *data, bool *exists, QString *error);
    void dropContent(); // no cards, and the file kept as it was at the next write
    static Parsed parseBook(const QByteArray &data);
    // On a worker thread: touches nothing of the book. `same` when the bytes are `last` (compared only
    // when `compare`).
    static BackgroundRead readInBackground(const QString &path, const QByteArray &last, bool lastExists,
                                           bool compare);
    void takeContent(const QByteArray &data, bool exists);
    void takeParsed(Parsed &&parsed, const QByteArray &data, bool exists);
    void land(quint64 generation, BackgroundRead &&read);
    // What was read or written changed: a read still on its way is older and is dropped when it lands.
    void overtake() { ++m_generation; }
    bool writeLocked(QString *error);
    // The change returns false to give up (nothing written, false returned).
    bool commit(const std::function<bool(QList<LocalContact> &)> &change, QString *error);
    void watch();

    QString m_path;
    QList<LocalContact> m_contacts;
    QStringList m_problems;
    QByteArray m_trailing; // text after the last card, kept as it came
    QByteArray m_lastBytes; // the file as last read or written
    bool m_lastExists = false;
    bool m_readOnce = false;
    bool m_open = true;
    bool m_keepOriginal = false;
    bool m_reading = false;
    quint64 m_generation = 0; // bumped by every change of the contents and every background read begun
    quint64 m_latestRead = 0; // the generation the latest background read began at
    QString m_readError; // why the file could not be read, while the book is not open
    QFileSystemWatcher *m_watcher = nullptr;
};
