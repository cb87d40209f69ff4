#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

class QTreeWidget;
class faxOut;

// One contact chosen in an address book: what the send windows need of it.
struct PickedRecipient
{
    QString name;
    QString fax; // or the value the book collected (e-mail for a mail pick)
    QString company;
    bool operator==(const PickedRecipient &) const = default;
};
using PickedList = QList<PickedRecipient>;

// One resolved entry of the number box; all three empty when the entry cannot be used.
struct RecipientRow
{
    QString fax;
    QString name;
    QString company;
    bool operator==(const RecipientRow &) const = default;
};

// What a send window puts on a fax besides its documents, timing and program name, as typed.
struct FaxContent
{
    QString fromName;
    QString fromCompany;
    QString fromVoice;
    QString fromFax;
    QString subject;
    QString note;
    QString cover; // empty for no cover page
    bool fine = false;
};

// The usable rows of a table as the server takes them: each list joined with ";".
struct RecipientLists
{
    QString names;
    QString companies;
    QString numbers; // empty when no row has a number
};

// The recipient routines of the send windows (fax client and print-to-fax sender).
namespace Recipients {

// The names of the pick appended to the box text, each after "; " unless the text is still empty.
QString ProposeNumbers(const QString &boxText, const PickedList &picked);

// Resolves the box text (entries split at ";", a picked name holding ";" staying whole) into rows and
// returns how many entries are unusable; `refused` gets one text per unusable entry naming it. A single
// entry typed without any pick takes the name and company boxes; otherwise an entry is a picked name
// (exact, blanks at both ends ignored) with a numeric fax, or a number. Texts are compared and taken
// in NFC.
int ProcessNumbers(const QString &boxText, bool pickedFromBook, const PickedList &picked, const QString &to,
                   const QString &company, QList<RecipientRow> &table, QStringList *refused = nullptr);
// "Trovati n numeri fax a cui sarà impossibile spedire.", one line per refused entry (the first ten, then
// "… e altri N": the box shows the whole list in its detail area), "Annullare la spedizione?".
QString UnusableQuestion(int unusable, const QStringList &refused);

// The characters of the text the server cannot take (no Windows-1252 byte and no near letter there),
// each once, in order; empty when all can be sent.
QString UnsendableCharacters(QStringView text);
// "Il campo <field> contiene caratteri che non possono essere inviati al server: ..." or empty.
QString UnsendableMessage(const QString &field, QStringView text);
// One line per field (label, text) whose letters will reach the server as their nearest Windows-1252
// letters ("Il campo «Da» sarà inviato come «Lodz» (era «Łódź»)."); empty when none changes.
QString BestFitChanges(const QList<std::pair<QString, QString>> &fields);

// What the server would misread in a field's text: a separator of the link ("<#>" and the like), or
// characters it cannot take. Empty when the text can be sent as it is.
QString FieldProblem(const QString &field, QStringView text);

// The whole text reads as one number (blanks at both ends allowed), in the system's or the C locale.
bool IsNumeric(const QString &text);

// "dd-mm-yyyy" of a date text in the system's short form (or d/m/y, d-m-y, d.m.y in the system's
// day-month order, or ISO); empty with ok false when it is not a date.
QString TrasformaData(const QString &text, bool *ok = nullptr);
// "hh:mm:ss" of a time text (h:mm, h:mm:ss, the system's short form); empty with ok false otherwise.
QString TrasformaOra(const QString &text, bool *ok = nullptr);

// Book text on one line, every control character visible in the usual fonts: a line break (CR LF, CR or
// LF) as "↵", a tab as "→", any other (BEL, ESC, DEL, a C1 control) as U+FFFD.
QString ShownText(const QString &text);
// Book text as a fax's recipient fields take it: every control character a space.
QString FlatText(const QString &text);
// The role of a recipient list's columns that holds a value as FlatText gives it, when the row shows
// it as ShownText.
inline constexpr int FlatTextRole = Qt::UserRole + 1;

// The chosen contacts of the shared book's recipient list: text, first and second sub-item (their
// FlatTextRole where set, else their text with control characters as spaces).
PickedList ReadSelectedList(const QTreeWidget *list);

// The rows with a number, joined; a ";" inside a name or company becomes ",".
RecipientLists JoinUsable(const QList<RecipientRow> &table);

// Sender, recipients, subject, note, cover and resolution onto the fax.
void FillFax(faxOut &fax, const FaxContent &content, const RecipientLists &to);

} // namespace Recipients
