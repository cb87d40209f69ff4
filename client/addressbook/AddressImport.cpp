#include "AddressImport.h"

#include "Cp1252.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <initializer_list>

using namespace Qt::StringLiterals;

namespace AddressImport {
namespace {

const QString Blank = u" "_s;

// Field n (1-based) of the record, empty when the record is shorter.
QString field(const QStringList &fields, int n)
{
    return fields.value(n - 1);
}

// The first field of the list that is not empty, and which one it was (0 when none).
QString firstOf(const QStringList &fields, std::initializer_list<int> numbers, int *taken = nullptr,
                int skip = 0)
{
    for (int n : numbers) {
        if (n == skip)
            continue;
        const QString v = field(fields, n);
        if (!v.isEmpty()) {
            if (taken)
                *taken = n;
            return v;
        }
    }
    if (taken)
        *taken = 0;
    return Blank;
}

struct Record
{
    QString text;
    int line = 0;
};

// Records of the text, cut the way splitRecord reads fields: a line break inside a quoted field
// belongs to the field. A quote still open at the end is reported in `unclosed` (the line of its record,
// 0 when none) and that record is left out.
QList<Record> records(const QString &text, QChar separator, int firstLine = 1, int *unclosed = nullptr)
{
    QList<Record> out;
    Record current;
    current.line = firstLine;
    int line = firstLine;
    if (unclosed)
        *unclosed = 0;
    bool quoted = false;
    bool fieldHasText = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool lineBreak = c == u'\n' || c == u'\r';
        const bool crlf = c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"')
                    current.text += text[i++];
                else
                    quoted = false;
                current.text += c;
            } else if (lineBreak) {
                current.text += u'\n';
                ++line;
                if (crlf)
                    ++i;
            } else {
                current.text += c;
            }
            continue;
        }
        if (lineBreak) {
            if (crlf)
                ++i;
            ++line;
            out.append(current);
            current = Record();
            current.line = line;
            fieldHasText = false;
            continue;
        }
        if (c == u'"' && !fieldHasText)
            quoted = true;
        if (c == separator)
            fieldHasText = false;
        else if (!c.isSpace())
            fieldHasText = true;
        current.text += c;
    }
    if (quoted) {
        if (unclosed)
            *unclosed = current.line;
        return out;
    }
    if (!current.text.isEmpty())
        out.append(current);
    return out;
}

} // namespace

QString decodeText(const QByteArray &data, QString *encoding)
{
    auto found = [&](const QString &name) {
        if (encoding)
            *encoding = name;
    };
    const auto utf16 = [&](QStringConverter::Encoding e, qsizetype skip, const QString &name) {
        found(name);
        QStringDecoder d(e, QStringDecoder::Flag::Stateless);
        return QString(d.decode(QByteArrayView(data).sliced(skip)));
    };
    if (data.startsWith("\xFF\xFE"))
        return utf16(QStringConverter::Utf16LE, 2, u"UTF-16LE"_s);
    if (data.startsWith("\xFE\xFF"))
        return utf16(QStringConverter::Utf16BE, 2, u"UTF-16BE"_s);
    // No BOM: ASCII text in UTF-16 has a zero byte beside every letter.
    if (data.size() >= 4 && data.size() % 2 == 0) {
        qsizetype evenZero = 0, oddZero = 0;
        const qsizetype probe = std::min<qsizetype>(data.size(), 4096);
        for (qsizetype i = 0; i < probe; ++i)
            if (data[i] == '\0')
                ++(i % 2 ? oddZero : evenZero);
        if (oddZero > probe / 4 && evenZero == 0)
            return utf16(QStringConverter::Utf16LE, 0, u"UTF-16LE"_s);
        if (evenZero > probe / 4 && oddZero == 0)
            return utf16(QStringConverter::Utf16BE, 0, u"UTF-16BE"_s);
    }
    // Outlook writes its exports in the Windows code page; a UTF-8 export with a stray byte keeps its
    // letters (the byte alone is read as Windows-1252).
    bool letters = false;
    if (Cp1252::firstNonUtf8(data, &letters) >= 0 && !letters) {
        found(u"Windows-1252"_s);
        return Cp1252::toUnicode(data);
    }
    found(u"UTF-8"_s);
    QString text = Cp1252::fromUtf8OrCp1252(data);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

namespace {

bool hasColumn(const QStringList &header, std::initializer_list<const char *> names)
{
    return std::any_of(header.cbegin(), header.cend(), [&](const QString &f) {
        const QString t = f.trimmed();
        return std::any_of(names.begin(), names.end(), [&](const char *name) {
            return t.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0;
        });
    });
}

// What a header's column holds, by its name as the mail programs and spreadsheets write it (English and
// Italian; letter case, accents, punctuation and blanks do not count).
enum class Kind {
    Empty,   // no name
    Unknown, // a name we cannot place
    Ignored, // a column no contact field reads (display name, notes, country, web page, ...)
    First,
    Last,
    Email,
    Email2,
    WorkStreet,
    WorkStreet2,
    HomeStreet,
    HomeStreet2,
    WorkCity,
    HomeCity,
    WorkZip,
    HomeZip,
    WorkState,
    HomeState,
    WorkPhone,
    HomePhone,
    Mobile,
    WorkFax,
    HomeFax,
    Company,
};

// "Città (uff.)" -> "citta uff", "HomePhone" -> "home phone": lower case, no accents, words between
// blanks.
QString normalName(const QString &name)
{
    QString n;
    QChar before;
    for (const QChar c : name.normalized(QString::NormalizationForm_D)) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        if (c.isUpper() && before.isLower())
            n += u' ';
        n += c.isLetterOrNumber() ? c.toLower() : QChar(u' ');
        before = c;
    }
    return n.simplified();
}

Kind kindOf(const QString &header)
{
    const QString n = normalName(header);
    if (n.isEmpty())
        return Kind::Empty;
    const QStringList words = n.split(u' ');
    const QString spaced = u' ' + n + u' ';
    // A phrase among the words, or one word as it stands.
    auto word = [&](std::initializer_list<const char *> list) {
        return std::any_of(list.begin(), list.end(), [&](const char *w) {
            const QLatin1StringView v(w);
            return v.contains(u' ') ? spaced.contains(QString(u' ' + v + u' ')) : words.contains(v);
        });
    };
    // Inside a word ("PHONEWORK", "Telefono2", "e-mail").
    auto within = [&](std::initializer_list<const char *> list) {
        return std::any_of(list.begin(), list.end(), [&](const char *w) {
            return std::any_of(words.cbegin(), words.cend(),
                               [&](const QString &x) { return x.contains(QLatin1StringView(w)); });
        });
    };
    auto prefix = [&](std::initializer_list<const char *> list) {
        return std::any_of(list.begin(), list.end(), [&](const char *w) {
            return std::any_of(words.cbegin(), words.cend(),
                               [&](const QString &x) { return x.startsWith(QLatin1StringView(w)); });
        });
    };
    const bool home = within({"home", "casa", "abitazione", "privat", "personal", "domicilio", "residenza"});
    const bool second = word({"secondary", "secondaria", "secondario", "altro", "altra", "other"}) ||
                        std::any_of(words.cbegin(), words.cend(), [](const QString &x) { return x.endsWith(u'2'); });
    // Columns no field reads: looked at first, so "E-mail Display Name" or "Home Country" are none of
    // the fields their other words name.
    if (within({"display", "visualizzat", "nickname", "soprannome", "middle", "screen", "schermo", "country",
                "nazion", "title", "titolo", "qualifica", "department", "reparto", "dipartimento", "note",
                "web", "url", "birth", "nascita", "compleanno", "anniversar", "custom", "personalizzat",
                "pager", "cercapersone", "categor", "suffix", "suffisso", "prefix", "location", "assistant",
                "assistente", "manager", "spouse", "coniuge", "children", "figli", "hobby", "account",
                "billing", "mileage", "priority", "priorita", "sensitivity", "riservatezza", "language",
                "lingua", "initials", "iniziali", "keywords", "photo", "foto"}) ||
        word({"secondo nome", "paese", "posizione", "ruolo", "sito", "gruppo", "group", "nome completo", "full name",
              "file as", "salva come", "sesso", "gender"}) ||
        n == u"name" || n == u"ufficio" || n == u"office")
        return Kind::Ignored;
    if (within({"mail"}) || word({"posta elettronica"}))
        return second ? Kind::Email2 : Kind::Email;
    if (within({"fax"}))
        return home ? Kind::HomeFax : Kind::WorkFax;
    if (within({"mobile", "cellular", "cellphone"}) || prefix({"cell"}) || word({"portatile"}))
        return Kind::Mobile;
    if (within({"phone"}) || prefix({"tel"}))
        return home || second ? Kind::HomePhone : Kind::WorkPhone;
    if (within({"zip", "postal", "postcode"}) || word({"cap", "codice postale", "post code"}))
        return home ? Kind::HomeZip : Kind::WorkZip;
    if (within({"city", "citta", "localita", "town"}) || word({"comune"}))
        return home ? Kind::HomeCity : Kind::WorkCity;
    if (within({"state", "provinc", "region"}) || word({"prov", "stato", "county"}))
        return home ? Kind::HomeState : Kind::WorkState;
    if (within({"street", "address", "indirizzo", "strada"}) || word({"via", "addr"}))
        return home ? (second ? Kind::HomeStreet2 : Kind::HomeStreet)
                    : (second ? Kind::WorkStreet2 : Kind::WorkStreet);
    if (within({"company", "organi", "societa", "azienda", "ditta", "impresa"}) || word({"org", "ente"}))
        return Kind::Company;
    if (within({"firstname", "forename"}) || word({"nome", "first", "first name", "given name", "nome proprio"}))
        return Kind::First;
    if (within({"cognome", "lastname", "surname"}) || word({"last", "last name", "family name"}))
        return Kind::Last;
    return Kind::Unknown;
}

// The field number of the layout that reads a kind of column; 0 when it reads none.
int slotOf(Kind kind, Layout layout)
{
    struct Slots
    {
        Kind kind;
        int outlook, express, thunderbird;
    };
    static const Slots slots[] = {
        {Kind::First, 1, 1, 1},        {Kind::Last, 2, 2, 2},           {Kind::Email, 4, 4, 5},
        {Kind::Email2, 0, 0, 6},       {Kind::HomeStreet, 5, 5, 12},    {Kind::HomeStreet2, 0, 0, 13},
        {Kind::HomeCity, 6, 6, 14},    {Kind::HomeZip, 7, 7, 16},       {Kind::HomeState, 8, 8, 15},
        {Kind::HomePhone, 10, 9, 8},   {Kind::HomeFax, 11, 10, 0},      {Kind::WorkStreet, 12, 11, 18},
        {Kind::WorkCity, 13, 12, 20},  {Kind::WorkZip, 14, 13, 22},     {Kind::WorkState, 15, 14, 21},
        {Kind::WorkPhone, 17, 15, 7},  {Kind::WorkFax, 18, 16, 9},      {Kind::Mobile, 0, 0, 11},
        {Kind::Company, 19, 17, 26},
    };
    for (const Slots &s : slots)
        if (s.kind == kind)
            return layout == Layout::MicrosoftOutlook ? s.outlook
                   : layout == Layout::OutlookExpress ? s.express
                                                      : s.thunderbird;
    return 0;
}

// Where a kind of column may go when its own field is taken or the layout has none: the near fields, a
// fax never into anything but a fax.
QList<Kind> placesOf(Kind kind)
{
    switch (kind) {
    case Kind::WorkFax:
        return {Kind::WorkFax, Kind::HomeFax};
    case Kind::HomeFax:
        return {Kind::HomeFax, Kind::WorkFax};
    case Kind::Email2:
        return {Kind::Email2, Kind::Email};
    case Kind::Mobile:
        return {Kind::Mobile, Kind::HomePhone, Kind::WorkPhone};
    case Kind::WorkPhone:
        return {Kind::WorkPhone, Kind::HomePhone, Kind::Mobile};
    case Kind::HomePhone:
        return {Kind::HomePhone, Kind::WorkPhone, Kind::Mobile};
    case Kind::WorkStreet:
        return {Kind::WorkStreet, Kind::HomeStreet};
    case Kind::HomeStreet:
        return {Kind::HomeStreet, Kind::WorkStreet};
    case Kind::WorkCity:
        return {Kind::WorkCity, Kind::HomeCity};
    case Kind::HomeCity:
        return {Kind::HomeCity, Kind::WorkCity};
    case Kind::WorkZip:
        return {Kind::WorkZip, Kind::HomeZip};
    case Kind::HomeZip:
        return {Kind::HomeZip, Kind::WorkZip};
    case Kind::WorkState:
        return {Kind::WorkState, Kind::HomeState};
    case Kind::HomeState:
        return {Kind::HomeState, Kind::WorkState};
    default:
        return {kind};
    }
}

// Kinds whose column may stay unread when the layout has no field left for it: a second e-mail, a further
// phone, a second address line. Any other column that finds no field cannot be placed.
bool mayStayUnread(Kind kind)
{
    return kind == Kind::Email2 || kind == Kind::Mobile || kind == Kind::WorkPhone || kind == Kind::HomePhone ||
           kind == Kind::WorkStreet2 || kind == Kind::HomeStreet2;
}

struct Placement
{
    QList<int> columnOf;   // per field number of the layout (index 0 for field 1): the header column, or -1
    QStringList unplaced;  // the header's names that no field takes
    QList<int> unnamed;    // header columns without a name (their values cannot be placed)
};

// Each column of the header placed by its name into the field of the layout that reads it.
Placement placeColumns(const QStringList &header, Layout layout)
{
    Placement p;
    p.columnOf = QList<int>(layoutFieldCount(layout), -1);
    QList<Kind> kinds;
    for (const QString &name : header)
        kinds.append(kindOf(name));
    // Each column into its own field first; then what is left into the near fields still free.
    QList<bool> placed(header.size(), false);
    for (int pass = 0; pass < 2; ++pass) {
        for (qsizetype j = 0; j < header.size(); ++j) {
            if (placed[j] || kinds[j] == Kind::Empty || kinds[j] == Kind::Ignored || kinds[j] == Kind::Unknown)
                continue;
            const QList<Kind> places = pass == 0 ? QList<Kind>{kinds[j]} : placesOf(kinds[j]);
            for (const Kind place : places) {
                const int slot = slotOf(place, layout);
                if (slot > 0 && p.columnOf[slot - 1] < 0) {
                    p.columnOf[slot - 1] = int(j);
                    placed[j] = true;
                    break;
                }
            }
        }
    }
    for (qsizetype j = 0; j < header.size(); ++j) {
        if (kinds[j] == Kind::Empty)
            p.unnamed.append(int(j));
        else if (!placed[j] && kinds[j] != Kind::Ignored && (kinds[j] == Kind::Unknown || !mayStayUnread(kinds[j])))
            p.unplaced.append(header[j].trimmed());
    }
    return p;
}

} // namespace

Source guessSource(const QStringList &header)
{
    const int n = int(header.size());
    const bool google =
        hasColumn(header, {"Given Name", "Family Name", "Group Membership", "Labels", "Nome proprio"}) ||
        std::any_of(header.cbegin(), header.cend(), [](const QString &f) {
            return f.trimmed().endsWith(u" - Value"_s, Qt::CaseInsensitive);
        });
    if (google)
        return Source::Google;
    if (hasColumn(header, {"Primary Email", "Posta elettronica principale"}))
        return hasColumn(header, {"Screen Name", "Nome schermo", "Nome su schermo"}) || n == 37
                   ? Source::Thunderbird37
                   : Source::Thunderbird;
    // Outlook's names: its 20-column export (whatever its third column is called) or the full one.
    const bool outlook = hasColumn(header, {"Middle Name", "Secondo nome"}) ||
                         (hasColumn(header, {"E-mail Address", "Indirizzo posta elettronica"}) &&
                          hasColumn(header, {"Business Fax", "Fax (uff.)", "Fax ufficio"}));
    if (outlook)
        return n <= 20 ? Source::Outlook : Source::OutlookFull;
    if (n > 36)
        return Source::OutlookFull;
    return Source::Unknown;
}

QString guessLayout(const QStringList &header)
{
    const int n = int(header.size());
    QString name;
    switch (guessSource(header)) {
    case Source::Outlook:
        name = u"Microsoft Outlook"_s;
        break;
    case Source::Thunderbird:
    case Source::Thunderbird37:
        name = u"Mozilla Thunderbird"_s;
        break;
    case Source::OutlookFull:
    case Source::Google:
        return {}; // no layout of the list
    case Source::Unknown:
        if (n <= layoutFieldCount(Layout::OutlookExpress))
            name = u"Outlook Express"_s;
        else if (n <= layoutFieldCount(Layout::MicrosoftOutlook))
            name = u"Microsoft Outlook"_s;
        else if (n <= layoutFieldCount(Layout::MozillaThunderbird))
            name = u"Mozilla Thunderbird"_s;
        else
            return {};
        break;
    }
    return u"%1 (%2 colonne)"_s.arg(name).arg(n);
}

QStringList layoutNames()
{
    return {u"Microsoft Outlook"_s, u"Outlook Express"_s, u"Mozilla Thunderbird"_s};
}

std::optional<Layout> layoutFromName(const QString &name)
{
    const QStringList names = layoutNames();
    const qsizetype i = names.indexOf(name);
    if (i < 0)
        return std::nullopt;
    return Layout(i);
}

int layoutFieldCount(Layout layout)
{
    switch (layout) {
    case Layout::MicrosoftOutlook:
        return 20;
    case Layout::OutlookExpress:
        return 19;
    case Layout::MozillaThunderbird:
        return 36;
    }
    return 0;
}

QStringList splitRecord(QStringView record, QChar separator)
{
    QStringList fields;
    QString current;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < record.size(); ++i) {
        const QChar c = record[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < record.size() && record[i + 1] == u'"') {
                    current += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                current += c;
            }
        } else if (c == u'"' && current.trimmed().isEmpty() && !wasQuoted) {
            current.clear(); // blanks before an opening quote are not part of the value
            quoted = true;
            wasQuoted = true;
        } else if (c == separator) {
            fields.append(current);
            current.clear();
            wasQuoted = false;
        } else {
            current += c;
        }
    }
    // A separator at the very end leaves no further field.
    if (!current.isEmpty() || wasQuoted || (fields.isEmpty() && record.isEmpty()))
        fields.append(current);
    return fields;
}

QStringList contactValues(const QStringList &f, Layout layout)
{
    QStringList v(ColumnCount, Blank);
    v[Nome] = field(f, 1);
    v[Cognome] = field(f, 2);
    int phoneFrom = 0;
    switch (layout) {
    case Layout::MicrosoftOutlook:
        v[Via] = firstOf(f, {12, 5});
        v[Cap] = firstOf(f, {14, 7});
        v[Localita] = firstOf(f, {13, 6});
        v[Provincia] = firstOf(f, {15, 8});
        v[Telefono] = firstOf(f, {17, 10}, &phoneFrom);
        v[Telefono2] = firstOf(f, {10}, nullptr, phoneFrom); // not the same number twice
        v[Fax] = firstOf(f, {18, 11});
        v[Azienda] = firstOf(f, {19});
        v[Email] = firstOf(f, {4});
        break;
    case Layout::OutlookExpress:
        v[Via] = firstOf(f, {11, 5});
        v[Cap] = firstOf(f, {13, 7});
        v[Localita] = firstOf(f, {12, 6});
        v[Provincia] = firstOf(f, {14, 8});
        v[Telefono] = firstOf(f, {15, 9}, &phoneFrom);
        v[Telefono2] = phoneFrom == 15 ? firstOf(f, {9}) : Blank;
        v[Fax] = firstOf(f, {16, 10});
        v[Azienda] = firstOf(f, {17});
        v[Email] = firstOf(f, {4});
        break;
    case Layout::MozillaThunderbird:
        v[Via] = firstOf(f, {18, 12, 13});
        v[Cap] = firstOf(f, {22, 16});
        v[Localita] = firstOf(f, {20, 14});
        v[Provincia] = firstOf(f, {21, 15});
        v[Telefono] = firstOf(f, {7, 8, 11}, &phoneFrom);
        v[Telefono2] = firstOf(f, {8, 11}, nullptr, phoneFrom);
        v[Fax] = firstOf(f, {9});
        v[Azienda] = firstOf(f, {26});
        v[Email] = firstOf(f, {5, 6});
        break;
    }
    return v;
}

Result parse(const QByteArray &data, Layout layout)
{
    Result result;
    const QString text = decodeText(data, &result.encoding);
    if (text.contains(QChar(0))) {
        result.fileRefused = true;
        result.errors.append(u"Il file contiene caratteri nulli: non è un testo in una codifica riconosciuta "
                             u"(UTF-8, UTF-16, Windows-1252)."_s);
        return result;
    }
    const QString header = text.section(u'\n', 0, 0);
    for (const QChar c : header) {
        if (c == u';' || c == u',') {
            result.separator = c;
            break;
        }
    }
    if (header.trimmed().isEmpty()) {
        result.fileRefused = true;
        result.errors.append(u"Il file non contiene una riga di intestazione."_s);
        return result;
    }
    if (result.separator.isNull()) {
        result.fileRefused = true;
        result.errors.append(u"Separatore ( ; oppure , ) non trovato nella prima riga del file."_s);
        return result;
    }
    QString headerLine = header;
    if (headerLine.endsWith(u'\r'))
        headerLine.chop(1);
    const QStringList headerFields = splitRecord(headerLine, result.separator);
    // A header that names another program's columns refuses the file once, naming what it looks like.
    const Source source = guessSource(headerFields);
    const bool thunderbird = source == Source::Thunderbird || source == Source::Thunderbird37;
    // Columns are read by their names, so only another program's own export is refused here: Outlook's
    // names (Outlook Express writes the same) under Thunderbird, Thunderbird's under the other two, and
    // Google's, whose columns hold a label and a value each.
    const bool matches = source == Source::Unknown || source == Source::OutlookFull ||
                         (layout == Layout::MozillaThunderbird && thunderbird) ||
                         (layout != Layout::MozillaThunderbird && source == Source::Outlook);
    const QString chosen = layoutNames().value(int(layout));
    if (!matches) {
        result.fileRefused = true;
        const QString seems = guessLayout(headerFields);
        if (seems.isEmpty())
            result.errors.append(
                u"Il file (%1 colonne) non è in nessuno dei formati della lista (\"Microsoft Outlook\", "
                u"\"Outlook Express\", \"Mozilla Thunderbird\"): nessun contatto importato come \"%2\". "
                u"Esportare la rubrica in uno di questi formati."_s.arg(headerFields.size())
                    .arg(chosen));
        else
            result.errors.append(
                u"Il file sembra un'esportazione di %1, non di \"%2\": nessun contatto importato. "
                u"Scegliere il programma giusto nella lista o esportare la rubrica nel formato "
                u"\"%2\"."_s.arg(seems, chosen));
        return result;
    }
    // Every column is read from where its name says, never by position into another field: a header
    // whose columns cannot all be placed refuses the file, naming them, before anything is read.
    const Placement placement = placeColumns(headerFields, layout);
    auto quotedNames = [](const QStringList &names) -> QString {
        QStringList q;
        for (const QString &n : names.mid(0, 10))
            q.append(u"«"_s + n + u"»"_s);
        return q.join(u", "_s) + (names.size() > 10 ? u" e altre %1"_s.arg(names.size() - 10) : QString());
    };
    if (!placement.unplaced.isEmpty()) {
        result.fileRefused = true;
        const bool one = placement.unplaced.size() == 1;
        result.errors.append(
            u"Nell'intestazione %1 %2 a nessun campo dei contatti: nessun contatto importato. Dare a ogni "
            u"colonna il nome del campo che contiene (per esempio «Nome», «Cognome», «Fax», «E-mail», «Via», "
            u"«Città», «CAP», «Provincia», «Telefono», «Società») o esportare la rubrica nel formato \"%3\"."_s
                .arg(one ? u"la colonna"_s : u"le colonne"_s,
                     quotedNames(placement.unplaced) + (one ? u" non corrisponde"_s : u" non corrispondono"_s),
                     chosen));
        return result;
    }
    // A quote never closed refuses its own line only: the reading starts again on the next line.
    QList<Record> recs;
    QStringView rest = text;
    int firstLine = 1;
    for (;;) {
        int unclosed = 0;
        recs += records(rest.toString(), result.separator, firstLine, &unclosed);
        if (unclosed == 0)
            break;
        result.errors.append(u"Riga %1: virgolette aperte e mai chiuse; la riga non è stata importata."_s.arg(unclosed));
        // Skip to the line after the one that opened the quote.
        qsizetype pos = 0;
        for (int l = firstLine; l <= unclosed && pos >= 0; ++l) {
            pos = rest.indexOf(u'\n', pos);
            if (pos >= 0)
                ++pos;
        }
        if (pos < 0)
            break;
        rest = rest.mid(pos);
        firstLine = unclosed + 1;
    }
    QList<int> unnamedFilled;
    for (qsizetype i = 0; i < recs.size(); ++i) {
        const Record &rec = recs[i];
        if (rec.line == 1 || rec.text.trimmed().isEmpty())
            continue; // the header
        QStringList fields = splitRecord(rec.text, result.separator);
        for (QString &f : fields)
            f = f.normalized(QString::NormalizationForm_C);
        // Values beyond the header's columns, or under a column without a name, have no field to go to.
        const bool beyond = std::any_of(fields.cbegin() + std::min(fields.size(), headerFields.size()),
                                        fields.cend(), [](const QString &f) { return !f.trimmed().isEmpty(); });
        if (beyond) {
            result.errors.append(u"Riga %1: %2 campi, l'intestazione ne nomina %3; la riga non è stata "
                                 u"importata."_s.arg(rec.line)
                                     .arg(fields.size())
                                     .arg(headerFields.size()));
            continue;
        }
        for (int j : placement.unnamed)
            if (!fields.value(j).trimmed().isEmpty() && !unnamedFilled.contains(j))
                unnamedFilled.append(j);
        QStringList ordered;
        for (int j : placement.columnOf)
            ordered.append(j < 0 ? QString() : fields.value(j));
        result.rows.append({contactValues(ordered, layout), rec.line});
    }
    if (!unnamedFilled.isEmpty()) {
        std::sort(unnamedFilled.begin(), unnamedFilled.end());
        QStringList which;
        for (int j : std::as_const(unnamedFilled))
            which.append(QString::number(j + 1));
        result.rows.clear();
        result.errors.clear();
        result.fileRefused = true;
        result.errors.append(
            u"Nell'intestazione %1 %2 senza nome, ma alcune righe vi hanno dei valori: nessun contatto "
            u"importato. Dare a ogni colonna il nome del campo che contiene (per esempio «Fax» o «E-mail»)."_s
                .arg(which.size() == 1 ? u"la colonna"_s : u"le colonne"_s,
                     which.size() == 1 ? which.first() + u" è"_s : which.join(u", "_s) + u" sono"_s));
        return result;
    }
    if (result.rows.isEmpty() && result.errors.isEmpty()) {
        result.fileRefused = true;
        result.errors.append(u"Il file non contiene contatti da importare: c'è solo la riga di intestazione."_s);
    }
    return result;
}

Result readFile(const QString &path, Layout layout)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Result r;
        r.fileRefused = true;
        const QFileInfo info(path);
        r.errors.append(u"Impossibile aprire il file %1: %2."_s.arg(
            path, !info.exists()       ? u"il file non esiste"_s
                  : info.isDir()       ? u"è una cartella"_s
                  : !info.isReadable() ? u"mancano i permessi per leggerlo"_s
                                       : u"errore del sistema (%1)"_s.arg(file.errorString())));
        return r;
    }
    return parse(file.readAll(), layout);
}

} // namespace AddressImport
