// The local address book file. Cards that were read must write and read back unchanged, and writing
// them again must give the same bytes.
#include "FuzzSupport.h"
#include "VCardBook.h"

namespace {

QString describe(const QList<LocalContact> &cards)
{
    QString out;
    for (const LocalContact &c : cards) {
        out += u"uid=["_s + c.uid + u"] fn=["_s + c.displayName + u"] n=["_s + c.surname + u";"_s +
               c.firstName + u"] org=["_s + c.company + u"] email=["_s + c.email + u"] fax=["_s +
               c.businessFax + u"] home=["_s + c.homeFax + u"] tel=["_s + c.phone + u"] other=["_s +
               c.otherLines.join(u"|"_s) + u"]\n"_s;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList problems;
    const QList<LocalContact> cards = VCard::parse(bytes, &problems);
    const QByteArray written = VCard::serialize(cards);
    QStringList again;
    const QList<LocalContact> back = VCard::parse(written, &again);
    Fuzz::check(again.isEmpty(), "written cards had problems", again.join(u'\n'));
    Fuzz::check(back == cards, "cards changed through a write and read",
                describe(cards) + u"---\n"_s + describe(back));
    Fuzz::check(VCard::serialize(back) == written, "writing the same cards twice differs");

    // Values escape and unescape to themselves.
    const QString value = QString::fromUtf8(bytes);
    Fuzz::check(VCard::unescapeValue(VCard::escapeValue(value)) == value, "a value changed through escaping");
    return 0;
}
