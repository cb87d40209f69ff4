#include "VCardBook.h"

#include "AppPaths.h"
#include "WriteFailure.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QHash>
#include <QLockFile>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cerrno>
#include <optional>

using namespace Qt::StringLiterals;

QString LocalAddressBook::defaultPath()
{
    return AppPaths::dataDir() + u"/addressbook.vcf"_s;
}

LocalAddressBook &LocalAddressBook::shared(const QString &path)
{
    static QHash<QString, LocalAddressBook *> books;
    const QString key = QFileInfo(path).absoluteFilePath();
    LocalAddressBook *&book = books[key];
    if (!book)
        book = new LocalAddressBook(key, qApp); // lives as long as the program
    return *book;
}

LocalAddressBook::LocalAddressBook(const QString &path, QObject *parent) : QObject(parent), m_path(path) {}

LocalAddressBook::~LocalAddressBook() = default;

bool LocalAddressBook::readFile(const QString &path, QByteArray *data, bool *exists, QString *error)
{
    QFile file(path);
    *exists = file.exists();
    data->clear();
    if (!*exists)
        return true;
    // A pipe or a device in its place would keep open() or readAll() waiting for good.
    if (const QFileInfo info(path); !info.isFile() && !info.isDir()) {
        if (error)
            *error = u"Impossibile leggere la rubrica %1: al suo posto c'è un file speciale (una coda o un "
                     u"dispositivo)."_s.arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(path);
        if (error)
            *error = u"Impossibile leggere la rubrica %1: %2."_s.arg(
                path, info.isDir()         ? u"al suo posto c'è una cartella"_s
                      : !info.isReadable() ? u"mancano i permessi per leggerla"_s
                                           : u"errore del sistema (%1)"_s.arg(file.errorString()));
        return false;
    }
    *data = file.readAll();
    return true;
}

namespace {

// Cards from other programs may have no UID; ours is derived from the card, so the same card keeps the
// same uid at every read and a change of ours finds it again after the file was read anew.
void giveUids(QList<LocalContact> &contacts)
{
    QHash<QString, int> seen;
    for (LocalContact &c : contacts) {
        if (!c.uid.isEmpty())
            continue;
        LocalContact alone = c;
        alone.leading.clear(); // text around the card is no part of it
        const QByteArray digest =
            QCryptographicHash::hash(VCard::serialize({alone}), QCryptographicHash::Sha1).toHex().left(20);
        const QString base = u"quorin-"_s + QString::fromLatin1(digest);
        const int n = seen[base]++;
        c.uid = n == 0 ? base : base + u'-' + QString::number(n);
    }
}

// The digest of a card's bytes, as its key carries it when other cards share its UID.
QString cardDigest(const LocalContact &c)
{
    LocalContact alone = c;
    alone.leading.clear();
    const QByteArray bytes = c.original.isEmpty() ? VCard::serialize({alone}) : c.original;
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

// Each card's key: its UID where no other card has it; where cards share one, the UID with a digest of
// the card's bytes (and its place among cards of the same bytes), so the same card keeps its key at
// every read and no two cards have the same.
void giveKeys(QList<LocalContact> &contacts)
{
    giveUids(contacts);
    QHash<QString, int> holders;
    holders.reserve(contacts.size());
    for (const LocalContact &c : std::as_const(contacts))
        ++holders[c.uid];
    QHash<QString, int> seen;
    for (LocalContact &c : contacts) {
        if (holders.value(c.uid) == 1) {
            c.key = c.uid;
            continue;
        }
        const QString base = c.uid + u'\n' + cardDigest(c);
        const int n = seen[base]++;
        c.key = n == 0 ? base : base + u'\n' + QString::number(n);
    }
}

} // namespace

struct LocalAddressBook::Parsed
{
    QList<LocalContact> contacts;
    QStringList problems;
    QByteArray trailing;
};

struct LocalAddressBook::BackgroundRead
{
    bool ok = false;
    QString error;
    bool exists = false;
    bool same = false; // the bytes last read or written: nothing parsed
    QByteArray data;
    Parsed parsed;
};

// Pure: parse and giveKeys use no state beyond their arguments, so this runs on any thread.
LocalAddressBook::Parsed LocalAddressBook::parseBook(const QByteArray &data)
{
    Parsed p;
    p.contacts = VCard::parse(data, &p.problems, &p.trailing);
    giveKeys(p.contacts);
    return p;
}

void LocalAddressBook::takeContent(const QByteArray &data, bool exists)
{
    takeParsed(parseBook(data), data, exists);
}

void LocalAddressBook::takeParsed(Parsed &&parsed, const QByteArray &data, bool exists)
{
    overtake();
    m_problems = std::move(parsed.problems);
    m_contacts = std::move(parsed.contacts);
    m_trailing = std::move(parsed.trailing);
    m_keepOriginal = !m_problems.isEmpty();
    m_lastBytes = data;
    m_lastExists = exists;
    m_readOnce = true;
    m_open = true;
}

LocalAddressBook::BackgroundRead
LocalAddressBook::readInBackground(const QString &path, const QByteArray &last, bool lastExists, bool compare)
{
    BackgroundRead r;
    r.ok = readFile(path, &r.data, &r.exists, &r.error);
    r.same = r.ok && compare && r.exists == lastExists && r.data == last;
    if (r.ok && !r.same)
        r.parsed = parseBook(r.data);
    return r;
}

void LocalAddressBook::watch()
{
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        const auto seen = [this] {
            refreshInBackground();
            watch(); // an atomic replace drops the old file from the watch
        };
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, seen);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, seen);
        m_watcher->addPath(QFileInfo(m_path).absolutePath());
    }
    if (QFile::exists(m_path) && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
}

// The book's file read; a failure keeps why (for a `refreshed` to come) and drops any read on its way.
bool LocalAddressBook::readOwnFile(QByteArray *data, bool *exists, QString *error)
{
    if (readFile(m_path, data, exists, &m_readError))
        return true;
    if (error)
        *error = m_readError;
    overtake();
    return false;
}

void LocalAddressBook::dropContent()
{
    m_contacts.clear();
    m_problems.clear();
    m_trailing.clear();
    m_keepOriginal = true;
}

bool LocalAddressBook::load(QString *error)
{
    QByteArray data;
    bool exists = false;
    if (!readOwnFile(&data, &exists, error)) {
        dropContent();
        m_open = false;
        m_readOnce = false;
        Q_EMIT changed();
        return false;
    }
    takeContent(data, exists);
    watch();
    Q_EMIT changed();
    return true;
}

bool LocalAddressBook::refresh(QString *error)
{
    if (!m_readOnce)
        return load(error);
    QByteArray data;
    bool exists = false;
    if (!readOwnFile(&data, &exists, error)) {
        m_open = false;
        Q_EMIT changed();
        return false;
    }
    if (m_open && exists == m_lastExists && data == m_lastBytes) {
        overtake(); // what a background read still on its way read is older than this
        return true;
    }
    takeContent(data, exists);
    Q_EMIT changed();
    return true;
}

LocalAddressBook::Refresh LocalAddressBook::refreshInBackground(QString *error)
{
    const QFileInfo info(m_path);
    if (!info.isFile() || info.size() < BackgroundBytes)
        return refresh(error) ? Refresh::Done : Refresh::Failed;
    // A newer read drops any still on its way: it may have read the file before the change that led here.
    overtake();
    const quint64 generation = m_generation;
    m_latestRead = generation;
    m_reading = true;
    watch(); // a change while it reads starts a newer read
    auto *watcher = new QFutureWatcher<BackgroundRead>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        land(generation, watcher->future().takeResult());
    });
    watcher->setFuture(QtConcurrent::run(&LocalAddressBook::readInBackground, m_path, m_lastBytes,
                                         m_lastExists, m_readOnce && m_open));
    return Refresh::Reading;
}

void LocalAddressBook::land(quint64 generation, BackgroundRead &&read)
{
    if (generation != m_latestRead)
        return; // a newer read is on its way and tells
    m_reading = false;
    if (generation != m_generation) { // a change of ours came meanwhile: what it read is newer
        Q_EMIT refreshed(m_open, m_open ? QString() : m_readError);
        return;
    }
    if (!read.ok) {
        m_readError = read.error;
        if (!m_readOnce) // as load() leaves an unreadable book
            dropContent();
        overtake();
        m_open = false;
        Q_EMIT changed();
    } else if (!read.same) {
        takeParsed(std::move(read.parsed), read.data, read.exists);
        Q_EMIT changed();
    }
    Q_EMIT refreshed(m_open, m_open ? QString() : m_readError);
}

namespace {

// Holds the book's lock file while a change is read, applied and written.
class BookLock
{
public:
    explicit BookLock(const QString &path) : m_lock(path + u".lock"_s) { m_lock.setStaleLockTime(30000); }
    bool acquire(QString *error)
    {
        errno = 0;
        if (m_lock.tryLock(5000))
            return true;
        const int err = errno;
        if (!error)
            return false;
        if (m_lock.error() == QLockFile::LockFailedError)
            *error = u"La rubrica %1 è in uso da un altro programma: riprovare tra poco."_s.arg(m_lock.fileName());
        else // the lock file beside the book cannot be made: the folder cannot be written
            *error = u"Impossibile scrivere nella cartella della rubrica (%1): %2. La rubrica non è stata "
                     u"cambiata."_s.arg(QFileInfo(m_lock.fileName()).absolutePath(),
                                        WriteFailure::reason(m_lock.fileName(), err, 512));
        return false;
    }

private:
    QLockFile m_lock;
};

} // namespace

bool LocalAddressBook::writeLocked(QString *error)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Each card is written on its own (as the whole book would be) and only what changed is read back: an
    // untouched card is what its bytes give already.
    QByteArray bytes;
    bytes.reserve(m_lastBytes.size() + 4096);
    QByteArray trailing = m_trailing;
    QList<LocalContact> written;
    written.reserve(m_contacts.size());
    bool apart = true; // every changed card read back as one card of its own
    for (const LocalContact &c : std::as_const(m_contacts)) {
        if (VCard::untouched(c)) {
            bytes += c.leading + c.original;
            written.append(c);
            continue;
        }
        LocalContact alone = c;
        alone.leading.clear();
        const QByteArray card = VCard::serialize({alone});
        bytes += c.leading + card;
        QByteArray after;
        QList<LocalContact> back = VCard::parse(card, nullptr, &after);
        apart = apart && back.size() == 1 && after.isEmpty();
        if (!back.isEmpty()) {
            back.first().leading = c.leading;
            written.append(back.first());
        }
    }
    bytes += m_trailing;
    if (!apart) { // read as a whole, as another program would read it
        trailing.clear();
        written = VCard::parse(bytes, nullptr, &trailing);
    }
    // A file read with problems (cards read as Windows-1252 among them), or a write that would hold fewer
    // cards than meant, keeps the file as it was before the write.
    const bool keep = m_keepOriginal || written.size() < m_contacts.size();
    if (keep && QFile::exists(m_path) && !(m_lastExists && bytes == m_lastBytes)) {
        const QString backup = m_path + u".bak"_s;
        QFile::remove(backup);
        QFile from(m_path);
        errno = 0;
        if (!from.copy(backup)) {
            const int err = errno;
            if (error)
                *error = u"Impossibile conservare una copia della rubrica in %1: %2."_s.arg(
                    backup, WriteFailure::reason(backup, err, from.size()));
            return false;
        }
    }
    const QFileInfo existing(m_path);
    QString why;
    if (existing.exists() && !existing.isWritable())
        why = WriteFailure::reason(m_path, EACCES);
    if (!why.isEmpty() || !WriteFailure::save(m_path, bytes, &why)) {
        if (error)
            *error = u"Impossibile scrivere la rubrica %1: %2. La rubrica non è stata cambiata."_s.arg(m_path, why);
        return false;
    }
    overtake();
    m_keepOriginal = false;
    // What we wrote is what the cards now came as: an edited card is untouched until edited again.
    m_contacts = written;
    m_trailing = trailing;
    giveKeys(m_contacts);
    m_lastBytes = bytes;
    m_lastExists = true;
    m_readOnce = true;
    m_open = true;
    watch();
    return true;
}

bool LocalAddressBook::save(QString *error)
{
    BookLock lock(m_path);
    if (!lock.acquire(error))
        return false;
    QByteArray data;
    bool exists = false;
    if (m_readOnce && readFile(m_path, &data, &exists, nullptr) &&
        (exists != m_lastExists || data != m_lastBytes)) {
        if (error)
            *error = u"La rubrica %1 è stata cambiata da un altro programma: riaprirla."_s.arg(m_path);
        return false;
    }
    return writeLocked(error);
}

bool LocalAddressBook::commit(const std::function<bool(QList<LocalContact> &)> &change, QString *error)
{
    BookLock lock(m_path);
    if (!lock.acquire(error))
        return false;
    // What the file holds now is what the change applies to.
    QByteArray data;
    bool exists = false;
    if (!readOwnFile(&data, &exists, error)) {
        m_open = false;
        return false;
    }
    const bool fresh = !m_readOnce || exists != m_lastExists || data != m_lastBytes;
    if (fresh)
        takeContent(data, exists);
    const QList<LocalContact> before = m_contacts;
    const QByteArray trailingBefore = m_trailing;
    if (!change(m_contacts)) { // given up before writing: nothing changes
        m_contacts = before;
        m_trailing = trailingBefore;
        if (fresh)
            Q_EMIT changed();
        return false;
    }
    const bool written = writeLocked(error);
    if (!written) { // the file still holds what it held
        m_contacts = before;
        m_trailing = trailingBefore;
    }
    if (fresh || written)
        Q_EMIT changed();
    return written;
}

QString LocalAddressBook::addContact(LocalContact contact, QString *error)
{
    if (contact.uid.isEmpty())
        contact.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString uid = contact.uid;
    return commit(
               [&](QList<LocalContact> &list) {
                   list.append(contact);
                   return true;
               },
               error)
               ? uid
               : QString();
}

namespace {

struct Field
{
    QString label;
    QString LocalContact::*member;
};

const Field EditedFields[] = {
    {u"Nome visualizzato"_s, &LocalContact::displayName},
    {u"Nome"_s, &LocalContact::firstName},
    {u"Cognome"_s, &LocalContact::surname},
    {u"Società"_s, &LocalContact::company},
    {u"Email"_s, &LocalContact::email},
    {u"Fax ufficio"_s, &LocalContact::businessFax},
    {u"Fax casa"_s, &LocalContact::homeFax},
    {u"Telefono"_s, &LocalContact::phone},
};

// The card as the contact's original bytes give it (what the editing started from).
std::optional<LocalContact> baseOf(const LocalContact &contact, bool *hadUid)
{
    if (contact.original.isEmpty())
        return std::nullopt;
    const QList<LocalContact> read = VCard::parse(contact.original);
    if (read.size() != 1)
        return std::nullopt;
    LocalContact base = read.first();
    *hadUid = !base.uid.isEmpty();
    if (base.uid.isEmpty())
        base.uid = contact.uid;
    base.original = contact.original;
    return base;
}

} // namespace

bool LocalAddressBook::updateContact(LocalContact contact, QString *error, const Chooser &keepMine,
                                     const CardMatcher &sameCard, QString *writtenKey)
{
    bool hadUid = true;
    const std::optional<LocalContact> base = baseOf(contact, &hadUid);
    // The UID was on this card only when it was read: it still tells the card while no other has it.
    const bool ownUid = contact.key.isEmpty() || contact.key == contact.uid;
    QHash<QString, bool> answers;     // label and their value -> keep ours
    QHash<QString, bool> sameAnswers; // key of a card the file holds -> it is the one edited
    // The card the file holds now: by key, else by a UID no other card has, else by its bytes; a card
    // without UID, or with a UID others share, then by the fields the user did not change. Null when none
    // is it; `cardAsks` gets the cards to ask about.
    const auto find = [&](QList<LocalContact> &list,
                          QList<const LocalContact *> &cardAsks) -> LocalContact * {
        if (!contact.key.isEmpty())
            for (LocalContact &c : list)
                if (c.key == contact.key)
                    return &c;
        if (ownUid) {
            LocalContact *only = nullptr;
            int holders = 0;
            for (LocalContact &c : list)
                if (c.uid == contact.uid && ++holders == 1)
                    only = &c;
            if (holders == 1)
                return only;
        }
        if (!base)
            return nullptr;
        for (LocalContact &c : list)
            if (c.original == contact.original)
                return &c;
        // The cards it may have become: those without UID, or those with its UID.
        const auto inPool = [&](const LocalContact &c) {
            bool cHadUid = true;
            return baseOf(c, &cHadUid) && (hadUid ? cHadUid && c.uid == contact.uid : !cHadUid);
        };
        struct Candidate
        {
            LocalContact *card;
            int agree, differ;
            bool name;
        };
        QList<Candidate> candidates;
        for (LocalContact &c : list) {
            if (!inPool(c))
                continue;
            Candidate k{&c, 0, 0, false};
            for (const Field &f : EditedFields) {
                const QString &was = (*base).*f.member;
                if (was.isEmpty() || contact.*f.member != was)
                    continue; // only what the user left as it was tells the card
                if (c.*f.member == was) {
                    ++k.agree;
                    k.name = k.name || f.member == &LocalContact::displayName;
                } else {
                    ++k.differ;
                }
            }
            for (const QString &line : base->otherLines)
                ++(c.otherLines.contains(line) ? k.agree : k.differ);
            if (k.agree > 0)
                candidates.append(k);
        }
        if (candidates.isEmpty() && sameCard) {
            // Nothing the user left as it was is found: a card that still shares any value of the card
            // as it was (or its UID) may be it, changed on every field the user did not touch. Asked,
            // never taken silently, never silently doubled.
            for (LocalContact &c : list) {
                if (!inPool(c))
                    continue;
                bool shares = hadUid;
                for (const Field &f : EditedFields) {
                    const QString &was = (*base).*f.member;
                    shares = shares || (!was.isEmpty() && c.*f.member == was);
                }
                for (const QString &line : base->otherLines)
                    shares = shares || c.otherLines.contains(line);
                if (shares && !sameAnswers.contains(c.key))
                    cardAsks.append(&c);
                else if (shares && sameAnswers.value(c.key) && cardAsks.isEmpty())
                    return &c;
            }
            return nullptr;
        }
        if (candidates.isEmpty())
            return nullptr;
        // The only card that shares anything, and shares its name or everything: surely it. So is the only
        // one that shares its name and everything (cards of one UID often share a surname).
        if (candidates.size() == 1 && (candidates[0].name || candidates[0].differ == 0))
            return candidates[0].card;
        const auto sure = [](const Candidate &k) { return k.name && k.differ == 0; };
        if (std::count_if(candidates.cbegin(), candidates.cend(), sure) == 1)
            return std::find_if(candidates.cbegin(), candidates.cend(), sure)->card;
        std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
            return a.agree - a.differ > b.agree - b.differ;
        });
        if (!sameCard)
            return candidates[0].card;
        for (const Candidate &k : std::as_const(candidates)) {
            if (!sameAnswers.contains(k.card->key))
                cardAsks.append(k.card);
            else if (sameAnswers.value(k.card->key) && cardAsks.isEmpty())
                return k.card;
        }
        return nullptr;
    };
    const auto summary = [](const LocalContact &c) {
        QStringList parts;
        for (const QString &v : {c.businessFax, c.homeFax, c.email, c.phone, c.company})
            if (!v.isEmpty())
                parts.append(v);
        return parts.isEmpty() ? c.shownName() : c.shownName() + u" ("_s + parts.join(u", "_s) + u')';
    };
    for (int round = 0; round < 8; ++round) {
        QList<std::pair<const Field *, QString>> asks;
        QList<std::pair<QString, QString>> cardAsks; // key and summary of each card to ask about
        qsizetype at = -1;                           // where the card written stands in the list
        const bool written = commit(
            [&](QList<LocalContact> &list) {
                QList<const LocalContact *> unsure;
                LocalContact *theirs = find(list, unsure);
                if (!theirs && !unsure.isEmpty()) {
                    for (const LocalContact *c : std::as_const(unsure))
                        cardAsks.append({c->key, summary(*c)});
                    return false; // asked outside the lock, then tried again on what the file holds then
                }
                if (!theirs) { // deleted elsewhere meanwhile: the edit is not thrown away
                    LocalContact added = contact;
                    added.leading.clear();
                    list.append(added);
                    at = list.size() - 1;
                    return true;
                }
                at = theirs - list.data();
                if (!base) {
                    const QByteArray leading = theirs->leading;
                    *theirs = contact;
                    theirs->leading = leading;
                    return true;
                }
                // What this dialog changed goes in; what only someone else changed stays.
                LocalContact merged = *theirs;
                for (const Field &f : EditedFields) {
                    const QString &mine = contact.*f.member;
                    const QString &was = (*base).*f.member;
                    const QString &now = theirs->*f.member;
                    if (mine == was || now == mine)
                        continue;
                    if (now == was) {
                        merged.*f.member = mine;
                        continue;
                    }
                    const QString key = f.label + u'\n' + now;
                    if (!answers.contains(key)) {
                        asks.append({&f, now});
                        continue;
                    }
                    if (answers.value(key))
                        merged.*f.member = mine;
                }
                if (!asks.isEmpty())
                    return false;
                *theirs = merged;
                return true;
            },
            error);
        if (asks.isEmpty() && cardAsks.isEmpty()) {
            if (written && writtenKey && at >= 0 && at < m_contacts.size())
                *writtenKey = m_contacts[at].key;
            return written;
        }
        for (const auto &[key, theirs] : std::as_const(cardAsks)) {
            const bool same = sameCard(theirs, summary(*base));
            sameAnswers.insert(key, same);
            if (same)
                break;
        }
        for (const auto &[f, now] : std::as_const(asks))
            answers.insert(f->label + u'\n' + now,
                           keepMine ? keepMine(f->label, now, contact.*f->member) : true);
    }
    if (error)
        *error = u"La rubrica %1 continua a cambiare: riprovare."_s.arg(m_path);
    return false;
}

namespace {

// A card leaves the list; the text before it that was no card stays where it was.
void dropCard(QList<LocalContact> &list, qsizetype index, QByteArray &trailing)
{
    const QByteArray leading = list[index].leading;
    list.removeAt(index);
    if (index < list.size())
        list[index].leading.prepend(leading);
    else
        trailing.prepend(leading);
}

} // namespace

bool LocalAddressBook::removeContact(QString key, QString *error)
{
    // A card sharing its UID is keyed by its UID and the digest of its bytes: when the other cards of that
    // UID come or go elsewhere its key changes, and the digest still finds it while it is unchanged. A card
    // of that UID with other bytes than any known may be the chosen one changed elsewhere: it stays.
    const QString uid = key.section(u'\n', 0, 0);
    const QString digest = key.section(u'\n', 1, 1);
    // The other cards of that UID as this book last read them: one still so is not the chosen card.
    QStringList others;
    if (indexOfKey(key) >= 0) {
        for (const LocalContact &c : std::as_const(m_contacts)) {
            if (c.uid == uid && c.key != key)
                others.append(cardDigest(c));
        }
    }
    bool changed = false;
    const bool written = commit(
        [&](QList<LocalContact> &list) {
            qsizetype at = -1;
            for (qsizetype i = 0; i < list.size() && at < 0; ++i) {
                if (list[i].key == key)
                    at = i;
            }
            for (qsizetype i = 0; i < list.size() && at < 0 && !digest.isEmpty(); ++i) {
                if (list[i].uid == uid && cardDigest(list[i]) == digest)
                    at = i;
            }
            if (at >= 0) {
                dropCard(list, at, m_trailing);
                return true;
            }
            changed = std::any_of(list.cbegin(), list.cend(), [&](const LocalContact &c) {
                return c.uid == uid && !others.contains(cardDigest(c));
            });
            return false; // removed elsewhere already: nothing to write
        },
        error);
    if (written)
        return true;
    if (changed && error && error->isEmpty())
        *error = u"Il contatto è stato modificato altrove nel frattempo e non è stato cancellato: "
                 u"controllare e riprovare."_s;
    return !changed && (!error || error->isEmpty()) && indexOfKey(key) < 0;
}

int LocalAddressBook::add(LocalContact contact)
{
    if (contact.uid.isEmpty())
        contact.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    overtake();
    m_contacts.append(contact);
    giveKeys(m_contacts);
    return int(m_contacts.size()) - 1;
}

bool LocalAddressBook::update(int index, const LocalContact &contact)
{
    if (index < 0 || index >= m_contacts.size())
        return false;
    LocalContact c = contact;
    if (c.uid.isEmpty())
        c.uid = m_contacts[index].uid;
    c.leading = m_contacts[index].leading;
    overtake();
    m_contacts[index] = c;
    giveKeys(m_contacts);
    return true;
}

bool LocalAddressBook::remove(int index)
{
    if (index < 0 || index >= m_contacts.size())
        return false;
    overtake();
    dropCard(m_contacts, index, m_trailing);
    return true;
}

int LocalAddressBook::indexOfUid(const QString &uid) const
{
    for (int i = 0; i < m_contacts.size(); ++i)
        if (m_contacts[i].uid == uid)
            return i;
    return -1;
}

int LocalAddressBook::indexOfKey(const QString &key) const
{
    for (int i = 0; i < m_contacts.size(); ++i)
        if (m_contacts[i].key == key)
            return i;
    return -1;
}
