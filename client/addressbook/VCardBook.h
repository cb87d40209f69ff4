#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One contact of the local address book.
struct LocalContact
{
    QString uid;
    QString displayName; // FN
    QString firstName;   // N, given name
    QString surname;     // N, family name
    QString company;     // ORG, first unit
    QString email;       // first EMAIL
    QString businessFax; // TEL with type fax (not home)
    QString homeFax;     // TEL with types fax and home
    QString phone;       // first other TEL
    // Properties we do not edit (photos, notes, further numbers, ...), unfolded, written back as they came.
    QStringList otherLines;

    // FN, else given and family name, else company, else e-mail.
    QString shownName() const;
    bool operator==(const LocalContact &) const = default;
};

// vCard 3.0 text: reading is lenient (2.1 type parameters, LF line ends, Windows-1252 bytes), writing is
// strict 3.0 (CRLF, escaped values, lines folded at 75 octets).
namespace VCard {

// Cards in file order. Problems (lines outside a card, a card without END, a line without ":") go to
// `problems`, one text each; a bad line inside a card is kept among its otherLines.
QList<LocalContact> parse(const QByteArray &data, QStringList *problems = nullptr);
QByteArray serialize(const QList<LocalContact> &contacts);

QString escapeValue(const QString &value);
QString unescapeValue(QStringView value);

} // namespace VCard

// The local address book: the vCard file $XDG_DATA_HOME/quorin/addressbook.vcf.
class LocalAddressBook
{
public:
    static QString defaultPath();

    explicit LocalAddressBook(const QString &path = defaultPath());

    // A missing file is an empty book. False, with error set, when the file cannot be read; the contacts
    // read before any problem are kept, and problems() lists what could not be understood.
    bool load(QString *error = nullptr);
    // Writes the whole book atomically. The first write after a load with problems keeps the original
    // file beside it as "addressbook.vcf.bak", so nothing the reader did not understand is lost.
    bool save(QString *error = nullptr);

    QString path() const { return m_path; }
    const QList<LocalContact> &contacts() const { return m_contacts; }
    QStringList problems() const { return m_problems; }
    int count() const { return int(m_contacts.size()); }

    // Gives the contact a uid when it has none; returns its index.
    int add(LocalContact contact);
    bool update(int index, const LocalContact &contact);
    bool remove(int index);
    int indexOfUid(const QString &uid) const;

private:
    QString m_path;
    QList<LocalContact> m_contacts;
    QStringList m_problems;
    bool m_keepOriginal = false;
};
