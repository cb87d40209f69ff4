#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Reading of the address-book exports (CSV/TXT) of three mail programs. No widgets: the import window
// shows what this gives back.
namespace AddressImport {

enum class Layout { MicrosoftOutlook, OutlookExpress, MozillaThunderbird };

// "Microsoft Outlook", "Outlook Express", "Mozilla Thunderbird" (the entries of the source list).
QStringList layoutNames();
std::optional<Layout> layoutFromName(const QString &name);
// Highest field number a line of that layout may have (20, 19, 36).
int layoutFieldCount(Layout layout);

// Contact values in the order of the import list's columns and of SendNewContact.
enum Column {
    Nome,
    Cognome,
    Via,
    Cap,
    Localita,
    Provincia,
    Telefono,
    Telefono2,
    Fax,
    Azienda,
    Email,
    ColumnCount
};

struct Row
{
    QStringList values; // ColumnCount texts; a missing value is a single blank
    int line = 0;       // 1-based line of the file where the record starts
};

struct Result
{
    QList<Row> rows;
    QStringList errors; // one text per refused line, or the reason the file was refused
    QChar separator;
    bool fileRefused = false; // nothing could be read (no separator in the first line, unreadable file)
    QString encoding;         // "UTF-8", "UTF-16LE", "UTF-16BE" or "Windows-1252"
};

// Fields of one record: the separator splits, empty fields keep their place, a field in double quotes
// may hold separators, line breaks and doubled quotes ("") and loses its enclosing quotes.
QStringList splitRecord(QStringView record, QChar separator);

// The text of an export: UTF-8 (with or without BOM), UTF-16 LE or BE (BOM, or the zero bytes of ASCII
// text), else Windows-1252; a stray byte in UTF-8 is read alone as Windows-1252. `encoding` gets the name
// of what was found.
QString decodeText(const QByteArray &data, QString *encoding = nullptr);

// The program a header's column names point to; Unknown for a header of other names (hand-made,
// translated), which is read as the chosen layout.
enum class Source { Unknown, Outlook, OutlookFull, Thunderbird, Thunderbird37, Google };
// Outlook's names give Outlook with up to 20 columns, its full export with more.
Source guessSource(const QStringList &headerFields);
// The layout of the list the header's names and column count say the file is, e.g. "Microsoft Outlook
// (20 colonne)"; empty when it is none of them (Google, Outlook's full export, over 36 columns).
QString guessLayout(const QStringList &headerFields);

// The first line is the header and names no contact; empty lines are skipped. A line with more fields
// than the layout knows is refused with an error and the reading goes on; a header with more columns
// than the layout knows, or naming another program's columns, refuses the file once, naming the layout
// it seems to be. Thunderbird's export with "Screen Name" (37 columns) is read as Mozilla Thunderbird.
// The chosen program's own column names in another order are read by their names.
// Values are put in NFC. A quote that is never
// closed refuses its line (named) and the reading goes on with the next line. A file with no contact
// row says so.
Result parse(const QByteArray &data, Layout layout);
Result readFile(const QString &path, Layout layout);

// The contact values of one record's fields (field 1 at index 0).
QStringList contactValues(const QStringList &fields, Layout layout);

} // namespace AddressImport
