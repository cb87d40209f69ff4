#include "VCardBook.h"

#include "AppPaths.h"
#include "Cp1252.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QUuid>

using namespace Qt::StringLiterals;

QString LocalContact::shownName() const
{
    if (!displayName.trimmed().isEmpty())
        return displayName;
    const QString joined = QString(firstName + u' ' + surname).trimmed();
    if (!joined.isEmpty())
        return joined;
    return company.isEmpty() ? email : company;
}

namespace VCard {
namespace {

QString decodeText(const QByteArray &data)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (utf8.hasError())
        return Cp1252::toUnicode(data); // an old export: every byte still has its character
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// Physical lines joined where a line starts with a blank or a tab.
QStringList unfold(const QString &text)
{
    QStringList lines;
    const QStringList raw = text.split(u'\n');
    for (QString line : raw) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const bool continued = line.startsWith(u' ') || line.startsWith(u'\t');
        // Blank lines between a line and its continuation are dropped: kept apart, the continuation would
        // be written back as a line of its own and join the line before it at the next reading.
        while (continued && lines.size() > 1 && lines.last().isEmpty())
            lines.removeLast();
        if (!lines.isEmpty() && continued)
            lines.last() += line.mid(1);
        else
            lines.append(line);
    }
    return lines;
}

// Splits at `sep` where it is not escaped by a backslash; pieces stay escaped.
QStringList splitEscaped(QStringView value, QChar sep)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            current += c;
            current += value[++i];
        } else if (c == sep) {
            parts.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.append(current);
    return parts;
}

struct Property
{
    QString name;      // upper case, group dropped
    QStringList types; // lower case: TYPE= values and bare 2.1 parameters
    QString rawValue;  // still escaped
    bool ok = false;
};

Property parseLine(const QString &line)
{
    Property p;
    // The value starts at the first ":" outside a quoted parameter value.
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'"')
            quoted = !quoted;
        else if (line[i] == u':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon < 0)
        return p;
    const QStringList head = line.left(colon).split(u';');
    QString name = head.first();
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot >= 0)
        name = name.mid(dot + 1);
    p.name = name.trimmed().toUpper();
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QString param = head[i].trimmed();
        const qsizetype eq = param.indexOf(u'=');
        if (eq < 0) {
            p.types.append(param.toLower());
        } else if (param.left(eq).compare(u"TYPE", Qt::CaseInsensitive) == 0) {
            QString v = param.mid(eq + 1);
            v.remove(u'"');
            for (const QString &t : v.split(u','))
                p.types.append(t.trimmed().toLower());
        } else {
            p.types.append(param.toLower()); // "encoding=...", "charset=...": kept for the checks below
        }
    }
    p.rawValue = line.mid(colon + 1);
    p.ok = !p.name.isEmpty();
    return p;
}

QByteArray foldLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    int limit = 75;
    while (bytes.size() - start > limit) {
        qsizetype cut = start + limit;
        while (cut > start && (quint8(bytes[cut]) & 0xC0) == 0x80) // never inside a UTF-8 sequence
            --cut;
        out += bytes.mid(start, cut - start) + "\r\n ";
        start = cut;
        limit = 74; // the leading blank counts
    }
    out += bytes.mid(start) + "\r\n";
    return out;
}

} // namespace

QString escapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' || c == u',' || c == u';') {
            out += u'\\';
            out += c;
        } else if (c == u'\r') {
            if (i + 1 < value.size() && value[i + 1] == u'\n')
                ++i;
            out += u"\\n"_s;
        } else if (c == u'\n') {
            out += u"\\n"_s;
        } else {
            out += c;
        }
    }
    return out;
}

QString unescapeValue(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar n = value[++i];
            out += (n == u'n' || n == u'N') ? QChar(u'\n') : n;
        } else {
            out += c;
        }
    }
    return out;
}

QList<LocalContact> parse(const QByteArray &data, QStringList *problems)
{
    QList<LocalContact> cards;
    auto problem = [&](const QString &text) {
        if (problems)
            problems->append(text);
    };
    const QStringList lines = unfold(decodeText(data));
    bool inCard = false;
    LocalContact card;
    int lineNo = 0;
    for (const QString &line : lines) {
        ++lineNo;
        if (line.trimmed().isEmpty())
            continue;
        const Property p = parseLine(line);
        if (p.ok && p.name == u"BEGIN" && p.rawValue.trimmed().compare(u"VCARD", Qt::CaseInsensitive) == 0) {
            if (inCard) {
                problem(u"Riga %1: scheda senza END:VCARD"_s.arg(lineNo));
                cards.append(card);
            }
            card = LocalContact();
            inCard = true;
            continue;
        }
        if (!inCard) {
            problem(u"Riga %1: testo fuori da una scheda"_s.arg(lineNo));
            continue;
        }
        if (p.ok && p.name == u"END") {
            cards.append(card);
            inCard = false;
            continue;
        }
        if (!p.ok) {
            problem(u"Riga %1: riga non valida"_s.arg(lineNo));
            card.otherLines.append(line);
            continue;
        }
        const bool encoded = std::any_of(p.types.cbegin(), p.types.cend(), [](const QString &t) {
            return t.startsWith(u"encoding=") || t == u"quoted-printable" || t == u"base64" || t == u"b";
        });
        if (p.name == u"VERSION") {
            continue;
        } else if (p.name == u"UID" && card.uid.isEmpty()) {
            card.uid = unescapeValue(p.rawValue);
        } else if (p.name == u"FN" && card.displayName.trimmed().isEmpty() && !encoded) {
            card.displayName = unescapeValue(p.rawValue);
        } else if (p.name == u"N" && card.surname.isEmpty() && card.firstName.isEmpty() && !encoded) {
            const QStringList parts = splitEscaped(p.rawValue, u';');
            card.surname = unescapeValue(parts.value(0));
            card.firstName = unescapeValue(parts.value(1));
        } else if (p.name == u"ORG" && card.company.isEmpty() && !encoded) {
            card.company = unescapeValue(splitEscaped(p.rawValue, u';').value(0));
        } else if (p.name == u"EMAIL" && card.email.isEmpty() && !encoded) {
            card.email = unescapeValue(p.rawValue);
        } else if (p.name == u"TEL" && !encoded) {
            const bool fax = p.types.contains(u"fax"_s);
            const bool home = p.types.contains(u"home"_s);
            QString *slot = fax ? (home ? &card.homeFax : &card.businessFax) : &card.phone;
            if (slot->isEmpty())
                *slot = unescapeValue(p.rawValue);
            else
                card.otherLines.append(line);
        } else {
            card.otherLines.append(line);
        }
    }
    if (inCard) {
        problem(u"Scheda senza END:VCARD alla fine del file"_s);
        cards.append(card);
    }
    return cards;
}

QByteArray serialize(const QList<LocalContact> &contacts)
{
    QByteArray out;
    for (const LocalContact &c : contacts) {
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        if (!c.uid.isEmpty())
            out += foldLine(u"UID:"_s + escapeValue(c.uid));
        out += foldLine(u"FN:"_s + escapeValue(c.shownName()));
        out += foldLine(u"N:"_s + escapeValue(c.surname) + u';' + escapeValue(c.firstName) + u";;;"_s);
        if (!c.company.isEmpty())
            out += foldLine(u"ORG:"_s + escapeValue(c.company));
        if (!c.email.isEmpty())
            out += foldLine(u"EMAIL;TYPE=INTERNET:"_s + escapeValue(c.email));
        if (!c.businessFax.isEmpty())
            out += foldLine(u"TEL;TYPE=WORK,FAX:"_s + escapeValue(c.businessFax));
        if (!c.homeFax.isEmpty())
            out += foldLine(u"TEL;TYPE=HOME,FAX:"_s + escapeValue(c.homeFax));
        if (!c.phone.isEmpty())
            out += foldLine(u"TEL;TYPE=WORK,VOICE:"_s + escapeValue(c.phone));
        for (const QString &line : c.otherLines)
            out += foldLine(line);
        out += "END:VCARD\r\n";
    }
    return out;
}

} // namespace VCard

QString LocalAddressBook::defaultPath()
{
    return AppPaths::dataDir() + u"/addressbook.vcf"_s;
}

LocalAddressBook::LocalAddressBook(const QString &path) : m_path(path) {}

bool LocalAddressBook::load(QString *error)
{
    m_contacts.clear();
    m_problems.clear();
    m_keepOriginal = false;
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = u"Impossibile leggere la rubrica %1: %2"_s.arg(m_path, file.errorString());
        m_keepOriginal = true;
        return false;
    }
    m_contacts = VCard::parse(file.readAll(), &m_problems);
    m_keepOriginal = !m_problems.isEmpty();
    return true;
}

bool LocalAddressBook::save(QString *error)
{
    if (m_keepOriginal && QFile::exists(m_path)) {
        const QString backup = m_path + u".bak"_s;
        QFile::remove(backup);
        if (!QFile::copy(m_path, backup)) {
            if (error)
                *error = u"Impossibile conservare una copia della rubrica in %1"_s.arg(backup);
            return false;
        }
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = u"Impossibile scrivere la rubrica %1: %2"_s.arg(m_path, file.errorString());
        return false;
    }
    file.write(VCard::serialize(m_contacts));
    if (!file.commit()) {
        if (error)
            *error = u"Impossibile scrivere la rubrica %1: %2"_s.arg(m_path, file.errorString());
        return false;
    }
    m_keepOriginal = false;
    return true;
}

int LocalAddressBook::add(LocalContact contact)
{
    if (contact.uid.isEmpty())
        contact.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_contacts.append(contact);
    return int(m_contacts.size()) - 1;
}

bool LocalAddressBook::update(int index, const LocalContact &contact)
{
    if (index < 0 || index >= m_contacts.size())
        return false;
    LocalContact c = contact;
    if (c.uid.isEmpty())
        c.uid = m_contacts[index].uid;
    m_contacts[index] = c;
    return true;
}

bool LocalAddressBook::remove(int index)
{
    if (index < 0 || index >= m_contacts.size())
        return false;
    m_contacts.removeAt(index);
    return true;
}

int LocalAddressBook::indexOfUid(const QString &uid) const
{
    for (int i = 0; i < m_contacts.size(); ++i)
        if (m_contacts[i].uid == uid)
            return i;
    return -1;
}
