#include "Recipients.h"

#include "Cp1252.h"
#include "Protocol.h"
#include "ServerDates.h"
#include "TextGuard.h"
#include "faxOut.h"

#include <QDate>

#include <algorithm>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace Recipients {

namespace {

// Typed, pasted, imported or read text in composed form: "e" plus a combining accent is "é".
QString nfc(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C);
}

} // namespace

QString ProposeNumbers(const QString &boxText, const PickedList &picked)
{
    QString text = boxText;
    for (const PickedRecipient &p : picked) {
        if (!text.isEmpty())
            text += u"; "_s;
        text += p.name;
    }
    return text;
}

QString UnsendableCharacters(QStringView text)
{
    // Letters with a near Windows-1252 letter are sent as that letter; only what has none is refused.
    return Cp1252::check(nfc(text.toString())).refused;
}

QString BestFitChanges(const QList<std::pair<QString, QString>> &fields)
{
    QStringList changes;
    for (const auto &[field, text] : fields) {
        // The link's own verdict, so a form warns of exactly what the request will carry.
        const Proto::TextVerdict v = Proto::checkUserText(field, nfc(text));
        if (v.ok() && !v.change.isEmpty())
            changes.append(v.change);
    }
    return changes.join(u"\r\n"_s);
}

QString UnsendableMessage(const QString &field, QStringView text)
{
    const QString bad = UnsendableCharacters(text);
    if (bad.isEmpty())
        return {};
    return u"Il campo %1 contiene caratteri che non possono essere inviati al server: %2"_s.arg(field, bad);
}

QString FieldProblem(const QString &field, QStringView view)
{
    // The link's own verdict, on the text as it will go out (composed, fitted): "≤#≥" becomes "<#>".
    using namespace Proto;
    const QString text = nfc(view.toString());
    const TextVerdict v = checkUserText(field, text);
    if (v.ok())
        return {};
    for (const QString &sep : {FieldSeparatorText, RecordSeparatorText, FaxFieldSeparatorText, QuerySeparatorText,
                               AnswerSeparatorText, TerminatorText, QString(ListSeparatorText)}) {
        if (v.wire.contains(sep))
            return u"Il campo %1 contiene \"%2\", che il server usa per separare i dati: toglierlo e riprovare."_s
                .arg(field, sep);
    }
    const QString bad = UnsendableMessage(field, text);
    return bad.isEmpty() ? v.problem : bad;
}

bool IsNumeric(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    // Digits with a leading sign and the separators a number may carry; no letters, so "inf", "nan" and
    // exponents are not fax numbers.
    const QString group = QLocale().groupSeparator();
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        const bool sign = i == 0 && (c == u'+' || c == u'-');
        if (!sign && !(c >= u'0' && c <= u'9') && c != u'.' && c != u',' && !group.contains(c))
            return false;
    }
    if (!std::any_of(t.cbegin(), t.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    bool ok = false;
    QLocale().toDouble(t, &ok);
    if (!ok)
        QLocale::c().toDouble(t, &ok);
    return ok;
}

namespace {

// The entries of the box: split at ";", except that a picked name holding ";" stays one entry.
QStringList splitEntries(const QString &box, const PickedList &picked)
{
    QStringList withSemicolon;
    for (const PickedRecipient &p : picked) {
        const QString name = nfc(p.name.trimmed());
        if (name.contains(u';') && !withSemicolon.contains(name))
            withSemicolon.append(name);
    }
    std::sort(withSemicolon.begin(), withSemicolon.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    QStringList entries;
    qsizetype pos = 0;
    for (;;) {
        qsizetype first = pos;
        while (first < box.size() && box[first].isSpace())
            ++first;
        qsizetype end = -1;
        for (const QString &name : std::as_const(withSemicolon)) {
            if (!QStringView(box).mid(first).startsWith(name))
                continue;
            qsizetype after = first + name.size();
            while (after < box.size() && box[after].isSpace())
                ++after;
            if (after == box.size() || box[after] == u';') {
                end = after;
                break;
            }
        }
        if (end < 0) {
            end = box.indexOf(u';', pos);
            if (end < 0)
                end = box.size();
        }
        entries.append(box.mid(pos, end - pos));
        if (end >= box.size())
            return entries;
        pos = end + 1;
    }
}

} // namespace

int ProcessNumbers(const QString &boxText, bool pickedFromBook, const PickedList &picked, const QString &to,
                   const QString &company, QList<RecipientRow> &table, QStringList *refused)
{
    const QString box = nfc(boxText);
    const QStringList entries = splitEntries(box, picked);
    table = QList<RecipientRow>(entries.size());
    int unusable = 0;
    const auto refuse = [&](const QString &what) {
        ++unusable;
        if (refused)
            refused->append(what);
    };
    if (entries.size() == 1 && !pickedFromBook) {
        const QString trimmed = box.trimmed();
        if (IsNumeric(trimmed))
            table[0] = {trimmed, nfc(to), nfc(company)};
        else
            refuse(u"«%1»"_s.arg(trimmed));
        return unusable;
    }
    // Each picked row answers one entry: two contacts picked with the same name resolve to their own numbers.
    QList<bool> used(picked.size(), false);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString entry = entries[i].trimmed();
        const PickedRecipient *found = nullptr;
        qsizetype firstMatch = -1;
        for (qsizetype k = 0; k < picked.size(); ++k) {
            if (nfc(picked[k].name.trimmed()) != entry)
                continue;
            if (firstMatch < 0)
                firstMatch = k;
            if (!used[k]) {
                used[k] = true;
                found = &picked[k];
                break;
            }
        }
        if (!found && firstMatch >= 0)
            found = &picked[firstMatch]; // the name typed once more than it was picked

        if (found) {
            if (IsNumeric(found->fax))
                table[i] = {nfc(found->fax), nfc(found->name), nfc(found->company)};
            else if (found->fax.trimmed().isEmpty())
                refuse(u"%1 (nessun numero fax)"_s.arg(entry));
            else
                refuse(u"«%1» (%2)"_s.arg(found->fax, entry));
        } else if (IsNumeric(entry)) {
            table[i] = {entry, QString(), QString()};
        } else {
            refuse(u"«%1»"_s.arg(entry));
        }
    }
    return unusable;
}

QString UnusableQuestion(int unusable, const QStringList &refused)
{
    QString text =
        u"Trovati "_s + QString::number(unusable) + u" numeri fax a cui sarà impossibile spedire."_s;
    // A long list names the first numbers and how many more: the question stays on screen.
    constexpr qsizetype shown = 10;
    for (const QString &r : refused.first(std::min(shown, refused.size())))
        text += u"\r\n"_s + r;
    if (refused.size() > shown)
        text += u"\r\n\u2026 e altri %1"_s.arg(refused.size() - shown);
    return text + u"\r\n"_s + u"Annullare la spedizione?"_s;
}

namespace {

QDate readDate(const QString &text)
{
    const QString t = text.trimmed();
    QDate d = ReadShortDate(t);
    if (d.isValid())
        return d;
    // Numbers in the system's day-month order; a two-digit year is 20yy, never 19yy.
    static const QRegularExpression parts(u"^(\\d{1,4})[/.-](\\d{1,2})[/.-](\\d{1,4})$"_s);
    const QRegularExpressionMatch m = parts.match(t);
    if (m.hasMatch()) {
        int a = m.captured(1).toInt(), b = m.captured(2).toInt(), c = m.captured(3).toInt();
        if (m.captured(1).size() == 4)
            return QDate(a, b, c);
        if (m.captured(3).size() <= 2)
            c += 2000;
        return IsDayFirstDate() ? QDate(c, b, a) : QDate(c, a, b);
    }
    d = DateLocale().toDate(t, QLocale::LongFormat);
    return d;
}

} // namespace

QString TrasformaData(const QString &text, bool *ok)
{
    const QDate d = readDate(text);
    if (ok)
        *ok = d.isValid();
    if (!d.isValid())
        return {};
    return QDate(d).toString(u"dd-MM-"_s) + QString::number(d.year());
}

QString TrasformaOra(const QString &text, bool *ok)
{
    const QString t = text.trimmed();
    QTime time;
    for (const QString &format : {u"H:mm:ss"_s, u"H:mm"_s, u"H.mm.ss"_s, u"H.mm"_s}) {
        time = QTime::fromString(t, format);
        if (time.isValid())
            break;
    }
    if (!time.isValid())
        time = QLocale().toTime(t, QLocale::ShortFormat);
    if (!time.isValid())
        time = QLocale().toTime(t, QLocale::LongFormat);
    if (ok)
        *ok = time.isValid();
    if (!time.isValid())
        return {};
    return time.toString(u"HH:mm:ss"_s);
}

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0);
}

} // namespace

QString ShownText(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QChar(0x21B5); // ↵
        } else if (c == u'\t') {
            out += QChar(0x2192); // →
        } else if (isControl(c)) {
            out += QChar(0xFFFD);
        } else {
            out += c;
        }
    }
    return out;
}

QString FlatText(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString out = text;
    for (QChar &c : out)
        if (isControl(c))
            c = u' ';
    return out;
}

PickedList ReadSelectedList(const QTreeWidget *list)
{
    PickedList picked;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        auto value = [item](int column) {
            const QVariant flat = item->data(column, FlatTextRole);
            return flat.isValid() ? flat.toString() : FlatText(item->text(column));
        };
        picked.append({value(0), value(1), value(2)});
    }
    return picked;
}

RecipientLists JoinUsable(const QList<RecipientRow> &table)
{
    // A name holding ";" would split into two recipients on the server.
    // A control character would end or break the field there: a space, as a pick gives it.
    auto recipientText = [](const QString &text) { return FlatText(text).replace(u';', u','); };
    QStringList names, companies, numbers;
    for (const RecipientRow &row : table) {
        if (row.fax.isEmpty())
            continue;
        names.append(recipientText(nfc(row.name)));
        companies.append(recipientText(nfc(row.company)));
        numbers.append(FlatText(nfc(row.fax)));
    }
    return {names.join(u';'), companies.join(u';'), numbers.join(u';')};
}

void FillFax(faxOut &fax, const FaxContent &content, const RecipientLists &to)
{
    fax.setSendRes(content.fine ? u"1"_s : u"0"_s);
    fax.setFromLine(nfc(content.fromName));
    fax.setFromComp(nfc(content.fromCompany));
    fax.setFromPhon(nfc(content.fromVoice));
    fax.setFromFax(nfc(content.fromFax));
    fax.setDestName(nfc(to.names));
    fax.setToCompany(nfc(to.companies));
    fax.setDestFax(nfc(to.numbers));
    fax.setSubject(nfc(content.subject));
    fax.setF_Extra(nfc(content.note));
    fax.setCoverPage(content.cover);
}

} // namespace Recipients
