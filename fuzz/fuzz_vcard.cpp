// The local address book file. Cards that were read must write and read back unchanged, and writing
// them again must give the same bytes.
#include "FuzzSupport.h"
#include "VCardCodec.h"

#include <algorithm>

namespace {

// Control characters shown as \xNN, so a NUL does not end the report.
QString shown(const QString &text)
{
    QString out;
    for (const QChar c : text)
        out += c.unicode() < 0x20 ? u"\\x"_s + QString::number(c.unicode(), 16).rightJustified(2, u'0')
                                  : QString(c);
    return out;
}

QString describe(const QList<LocalContact> &cards)
{
    QString out;
    for (const LocalContact &c : cards) {
        out += u"uid=["_s + c.uid + u"] fn=["_s + c.displayName + u"] n=["_s + c.surname + u";"_s +
               c.firstName + u"] org=["_s + c.company + u"] email=["_s + c.email + u"] fax=["_s +
               c.businessFax + u"] home=["_s + c.homeFax + u"] tel=["_s + c.phone + u"] other=["_s +
               c.otherLines.join(u"|"_s) + u"]\n"_s;
    }
    return shown(out).replace(u"\\x0a"_s, u"\n"_s);
}

// A tab and line breaks stay; the other control characters are never written.
QString &dropControls(QString &text)
{
    text.removeIf([](QChar c) { return (c.unicode() < 0x20 && c != u'\t' && c != u'\n') || c.unicode() == 0x7F; });
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList problems;
    QByteArray trailing;
    const QList<LocalContact> cards = VCard::parse(bytes, &problems, &trailing);
    const QByteArray written = VCard::serialize(cards, trailing);
    QStringList again;
    QByteArray trailingAgain;
    const QList<LocalContact> back = VCard::parse(written, &again, &trailingAgain);
    // Bad lines inside a card are kept and written back as they came, so they may be reported again;
    // a write must add no problem of its own.
    Fuzz::check(again.size() <= problems.size(), "written cards had new problems", again.join(u'\n'));
    // A card written as its own bytes reads back as it was. Any other gets the FN a vCard 3.0 must have,
    // made from its shown name, a line break of any kind inside a value (a tel: URI too) written as "\n",
    // and no control character (none may stand in a value).
    QList<LocalContact> expected = cards;
    for (LocalContact &c : expected) {
        if (VCard::untouched(c))
            continue;
        if (c.displayName.trimmed().isEmpty())
            c.displayName = c.shownName();
        for (QString *field : {&c.uid, &c.displayName, &c.firstName, &c.surname, &c.company, &c.email,
                               &c.businessFax, &c.homeFax, &c.phone})
            field->replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
        for (auto it = c.kept.begin(); it != c.kept.end(); ++it) { // numbers that came as tel: URIs
            if (it.key().endsWith(u".uri"_s))
                dropControls(it->replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n'));
        }
    }
    Fuzz::check(back == expected, "cards changed through a write and read",
                describe(expected) + u"---\n"_s + describe(back));
    Fuzz::check(VCard::serialize(back, trailingAgain) == written, "writing the same cards twice differs");
    // Text outside the cards is written where it was: cards written as their bytes give the file back
    // (a last card without a line end gets one).
    const QString told = problems.join(u'\n');
    if (std::all_of(cards.cbegin(), cards.cend(),
                    [](const LocalContact &c) { return VCard::untouched(c); }) &&
        !told.contains(u"END:VCARD"_s) && !told.contains(u"UTF-16"_s) &&
        (cards.isEmpty() || !trailing.isEmpty() || bytes.endsWith('\n') || bytes.endsWith('\r')))
        Fuzz::check(written == bytes, "text outside the cards was not kept in place");

    const QString value = QString::fromUtf8(bytes);
    // Values escape and unescape to themselves, line breaks of any kind becoming one "\n", control
    // characters left out.
    QString plain = value;
    dropControls(plain.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n'));
    Fuzz::check(VCard::unescapeValue(VCard::escapeValue(value)) == plain, "a value changed through escaping");
    return 0;
}
