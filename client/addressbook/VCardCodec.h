#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// One contact of the local address book.
struct LocalContact
{
    QString uid;
    // Which card of the book this is: the UID where no other card has it, else the UID with the card's
    // bytes. Two cards of a book never share it; given at each read. Not part of the comparison.
    QString key;
    QString displayName; // FN
    QString firstName;   // N, given name
    QString surname;     // N, family name
    QString company;     // ORG, first unit
    QString email;       // first EMAIL
    QString businessFax; // TEL with type fax (not home)
    QString homeFax;     // TEL with types fax and home
    QString phone;       // first other TEL
    // Properties we do not edit (photos, notes, further numbers, ...), each as it came, folding intact.
    QStringList otherLines;
    // How the edited properties came when that differs from how we write them: the property with its
    // group and parameters ("FN", "N", "ORG", "EMAIL", "TEL.fax", "TEL.homefax", "TEL.phone"), the parts
    // of N and ORG we do not show ("N.rest", "ORG.rest"), numbers written as URIs ("TEL.fax.uri", ...),
    // and "VERSION" for a vCard 4.0.
    QMap<QString, QString> kept;
    // The card's bytes as read (BEGIN to END, line breaks included); a card whose content still equals
    // what these bytes give is written back as them. Not part of the comparison.
    QByteArray original;
    // What the file holds between the card before and this one when it is no card (blank lines,
    // comments, a byte-order mark, stray text): written back before the card as it came. Not part of
    // the comparison.
    QByteArray leading;
    // A digest of the content as read from `original` (0 when not read from bytes): a card whose content
    // still gives it is untouched without reading its bytes again. Not part of the comparison.
    quint64 readDigest = 0;

    // FN, else given and family name, else company, else e-mail.
    QString shownName() const;
    bool operator==(const LocalContact &o) const
    {
        return uid == o.uid && displayName == o.displayName && firstName == o.firstName &&
               surname == o.surname && company == o.company && email == o.email &&
               businessFax == o.businessFax && homeFax == o.homeFax && phone == o.phone &&
               otherLines == o.otherLines && kept == o.kept;
    }
};

// vCard text: reading is lenient (2.1 type parameters, encodings and values, 4.0 "tel:" numbers, LF line
// ends, Windows-1252 bytes, UTF-16 files, a byte-order mark at the start of any line), writing is strict
// 3.0 (4.0 for a card that came as 4.0): CRLF, escaped values, lines folded at 75 octets, TYPE= and
// ENCODING=b parameters, no quoted-printable, CHARSET or control character; properties we do not edit
// are written back as they came, in that form.
namespace VCard {

// Cards in file order, each read on its own: a line as its CHARSET, else UTF-8, else Windows-1252 (the
// card is then named among the problems, also when the bytes do not fit the CHARSET it names).
// Problems (lines outside a card, a card without END, a line without ":", a UTF-16 file) go to
// `problems`, one text each; a bad line inside a card is kept among its otherLines, text outside a
// card in the next card's `leading`, or in `trailing` after the last card. Texts we edit are put in NFC.
QList<LocalContact> parse(const QByteArray &data, QStringList *problems = nullptr, QByteArray *trailing = nullptr);
// A card whose content is what its original bytes give goes back as those bytes (encoding, folding,
// no UID or N added); any other card is written as 3.0 (4.0 when it came as 4.0), UTF-8. Each card
// goes after its `leading`; `trailing` ends the text.
QByteArray serialize(const QList<LocalContact> &contacts, const QByteArray &trailing = {});
bool untouched(const LocalContact &contact);

QString escapeValue(const QString &value);
QString unescapeValue(QStringView value);

} // namespace VCard
