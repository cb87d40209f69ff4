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

// The column names of each program's own export, in the order its layout reads them.
const char *const ThunderbirdNames[] = {
    "First Name",     "Last Name",    "Display Name", "Nickname",     "Primary Email", "Secondary Email",
    "Work Phone",     "Home Phone",   "Fax Number",   "Pager Number", "Mobile Number", "Home Address",
    "Home Address 2", "Home City",    "Home State",   "Home ZipCode", "Home Country",  "Work Address",
    "Work Address 2", "Work City",    "Work State",   "Work ZipCode", "Work Country",  "Job Title",
    "Department",     "Organization", "Web Page 1",   "Web Page 2",   "Birth Year",    "Birth Month",
    "Birth Day",      "Custom 1",     "Custom 2",     "Custom 3",     "Custom 4",      "Notes"};
const char *const OutlookNames[] = {"First Name",
                                    "Last Name",
                                    "Name",
                                    "E-mail Address",
                                    "Home Street",
                                    "Home City",
                                    "Home Postal Code",
                                    "Home State",
                                    "Home Country",
                                    "Home Phone",
                                    "Home Fax",
                                    "Business Street",
                                    "Business City",
                                    "Business Postal Code",
                                    "Business State",
                                    "Business Country",
                                    "Business Phone",
                                    "Business Fax",
                                    "Company",
                                    "Job Title"};

// Where each field of the layout stands in the header, found by the program's own column names (a
// column of another name keeps its place when no named column takes it); empty when every known name
// already stands where the layout reads it, so the file is read by position.
QList<int> orderByNames(const QStringList &header, Source source)
{
    QList<const char *> names;
    if (source == Source::Thunderbird || source == Source::Thunderbird37)
        names = QList<const char *>(std::begin(ThunderbirdNames), std::end(ThunderbirdNames));
    else if (source == Source::Outlook)
        names = QList<const char *>(std::begin(OutlookNames), std::end(OutlookNames));
    if (names.isEmpty())
        return {};
    QList<int> order(names.size(), -1);
    QList<bool> named(header.size(), false);
    // Thunderbird's "Screen Name" column is no field of the layout: the ones after it move by one.
    qsizetype screen = -1;
    for (qsizetype j = 0; j < header.size() && screen < 0; ++j)
        if (header[j].trimmed().compare(u"Screen Name"_s, Qt::CaseInsensitive) == 0)
            screen = j;
    bool moved = false;
    for (qsizetype j = 0; j < header.size(); ++j) {
        const QString h = header[j].trimmed();
        if (j == screen) {
            named[j] = true;
            continue;
        }
        for (qsizetype t = 0; t < names.size(); ++t) {
            const bool middle =
                t == 2 && source == Source::Outlook && h.compare(u"Middle Name"_s, Qt::CaseInsensitive) == 0;
            if (!middle && h.compare(QLatin1StringView(names[t]), Qt::CaseInsensitive) != 0)
                continue;
            named[j] = true;
            if (order[t] < 0)
                order[t] = int(j);
            moved = moved || t != (screen >= 0 && j > screen ? j - 1 : j);
            break;
        }
    }
    if (!moved)
        return {};
    for (qsizetype j = 0; j < header.size() && j < order.size(); ++j)
        if (!named[j] && order[j] < 0)
            order[j] = int(j);
    return order;
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
    int maxFields = layoutFieldCount(layout);
    QString headerLine = header;
    if (headerLine.endsWith(u'\r'))
        headerLine.chop(1);
    const QStringList headerFields = splitRecord(headerLine, result.separator);
    // A header that names another program's columns refuses the file once, naming what it looks like.
    const Source source = guessSource(headerFields);
    const bool thunderbird = source == Source::Thunderbird || source == Source::Thunderbird37;
    const bool matches = source == Source::Unknown || (layout == Layout::MozillaThunderbird && thunderbird) ||
                         (layout == Layout::MicrosoftOutlook && source == Source::Outlook);
    // Thunderbird's current export has "Screen Name" as its 7th column: dropped, the rest is the
    // older layout.
    const bool screenName = layout == Layout::MozillaThunderbird && source == Source::Thunderbird37;
    if (screenName)
        maxFields += 1;
    // Names of the program's own columns in another order (a hand-made or re-sorted export): each value
    // is read from the column its name says, never by position into another field.
    const QList<int> byNames = matches ? orderByNames(headerFields, source) : QList<int>();
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
    if (headerFields.size() > maxFields) {
        result.fileRefused = true;
        result.errors.append(
            u"Il file ha %1 colonne; il formato \"%2\" ne prevede al massimo %3: nessun contatto "
            u"importato. Esportare la rubrica nel formato scelto o scegliere il programma giusto."_s
                .arg(headerFields.size())
                .arg(chosen)
                .arg(maxFields));
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
    for (qsizetype i = 0; i < recs.size(); ++i) {
        const Record &rec = recs[i];
        if (rec.line == 1 || rec.text.trimmed().isEmpty())
            continue; // the header
        QStringList fields = splitRecord(rec.text, result.separator);
        for (QString &f : fields)
            f = f.normalized(QString::NormalizationForm_C);
        if (fields.size() > maxFields) {
            result.errors.append(u"Riga %1: %2 campi, il formato ne prevede al massimo %3."_s.arg(rec.line)
                                     .arg(fields.size())
                                     .arg(maxFields));
            continue;
        }
        if (!byNames.isEmpty()) {
            QStringList ordered;
            for (int j : byNames)
                ordered.append(j < 0 ? QString() : fields.value(j));
            fields = ordered;
        } else if (screenName && fields.size() >= 7) {
            fields.removeAt(6);
        }
        result.rows.append({contactValues(fields, layout), rec.line});
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
