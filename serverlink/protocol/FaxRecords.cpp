#include "FaxRecords.h"

#include "TextValues.h"

#include <QDate>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace Proto {

namespace {

// Days from 1 January 1970 to 1 January 2006.
constexpr qint64 EpochDays = 13149;

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// "HH:mm" of the minute count into out (5 characters).
void writeTimeOfDay(qint64 n, char16_t *out)
{
    qint64 m = n % 1440;
    if (m <= 0)
        m += 1440;
    const int hours = int(m / 60) % 24;
    const int minutes = int(m % 60);
    out[0] = char16_t(u'0' + hours / 10);
    out[1] = char16_t(u'0' + hours % 10);
    out[2] = u':';
    out[3] = char16_t(u'0' + minutes / 10);
    out[4] = char16_t(u'0' + minutes % 10);
}

// "dd/MM/yyyy" of a day counted from 1 January 2006 into out (10 characters), proleptic Gregorian;
// false outside years 100-9999.
bool writeDay(qint64 days, char16_t *out)
{
    // Far outside the years taken; keeps the arithmetic below small.
    if (days < -800000 || days > 3000000)
        return false;
    // Civil date of a day count (days since 1 March of year 0, in 400-year eras).
    const qint64 z = days + EpochDays + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int mo = int(mp < 10 ? mp + 3 : mp - 9);
    const int y = int(yoe + era * 400 + (mo <= 2 ? 1 : 0));
    if (y < 100 || y > 9999)
        return false;
    const char16_t text[10] = {
        char16_t(u'0' + d / 10),   char16_t(u'0' + d % 10),       u'/',
        char16_t(u'0' + mo / 10),  char16_t(u'0' + mo % 10),      u'/',
        char16_t(u'0' + y / 1000), char16_t(u'0' + y / 100 % 10), char16_t(u'0' + y / 10 % 10),
        char16_t(u'0' + y % 10)};
    std::copy(std::begin(text), std::end(text), out);
    return true;
}

// The day text last made: the faxes of a list come many to a day.
struct LastDay
{
    qint64 days = std::numeric_limits<qint64>::min();
    bool ok = false;
    char16_t text[10] = {};
};

// The day of the minute count into out (10 characters); false outside years 100-9999.
bool writeDate(qint64 minutes, char16_t *out, LastDay *last)
{
    const qint64 days = floorDiv(minutes, 1440);
    if (!last)
        return writeDay(days, out);
    if (days != last->days) {
        last->days = days;
        last->ok = writeDay(days, last->text);
    }
    std::copy(std::begin(last->text), std::end(last->text), out);
    return last->ok;
}

QString fieldText(QByteArrayView field)
{
    return Proto::text(field);
}

// Within one list answer the same company, number and station id come back fax after fax:
// decode a value met lately once and share it. Each value has one place, picked by its hash, which
// keeps the last value seen there: a lookup is one comparison, whatever the number of distinct values.
// The texts it gives share the kept one; their references are added to it in one step (settle()), which
// must come before any of them goes.
class TextInterner
{
public:
    TextInterner() : m_slots(Slots) {}
    TextInterner(const TextInterner &) = delete;
    TextInterner &operator=(const TextInterner &) = delete;
    ~TextInterner() { settle(); }
    // The text kept for these bytes; false when none is.
    bool find(QByteArrayView field, QString &text)
    {
        Slot &slot = m_slots[slotOf(field)];
        if (slot.bytes.size() != field.size() ||
            std::memcmp(slot.bytes.data(), field.data(), size_t(field.size())) != 0)
            return false;
        QStringPrivate &kept = slot.text.data_ptr();
        if (kept.d_ptr()) {
            ++slot.lent;
            text = QString(QStringPrivate(kept.d_ptr(), kept.data(), kept.size));
        } else {
            text = slot.text;
        }
        return true;
    }
    void keep(QByteArrayView field, const QString &text)
    {
        Slot &slot = m_slots[slotOf(field)];
        settle(slot);
        slot.bytes = field;
        slot.text = text;
    }
    void settle()
    {
        for (Slot &slot : m_slots)
            settle(slot);
    }

private:
    static constexpr size_t Slots = 4096;
    struct Slot
    {
        QByteArrayView bytes; // into the answer being parsed
        QString text;
        int lent = 0; // texts given out and not yet counted
    };
    static void settle(Slot &slot)
    {
        if (slot.lent != 0) {
            slot.text.data_ptr().d_ptr()->ref_.fetchAndAddRelaxed(slot.lent);
            slot.lent = 0;
        }
    }
    static size_t slotOf(QByteArrayView field)
    {
        // Eight bytes a step, each step mixed by a multiply; the top bits pick the place.
        const char *p = field.data();
        qsizetype left = field.size();
        quint64 h = quint64(left) * 0x9E3779B97F4A7C15ull;
        for (; left >= 8; p += 8, left -= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            h = (h ^ word) * 0xff51afd7ed558ccdull;
            h ^= h >> 29;
        }
        quint64 tail = 0;
        for (qsizetype i = 0; i < left; ++i)
            tail |= quint64(static_cast<unsigned char>(p[i])) << (8 * i);
        h = (h ^ tail) * 0xff51afd7ed558ccdull;
        return size_t(h >> 52) & (Slots - 1);
    }
    std::vector<Slot> m_slots;
};

class TextArena;
struct LastDay;
bool fillFaxItem(FaxItem &item, QByteArrayView record, typeOfList kind, const ErrorSink &onError,
                 TextArena &arena, TextInterner *interner, FoldedKey *key, LastDay *lastDay);

// Up to 9 plain digits, the way the server writes counts and minutes: read without the general reader
// (which takes the same value for them). False for anything else.
template <typename Int> bool plainNumber(QByteArrayView field, Int &n)
{
    if (field.isEmpty() || field.size() > 9)
        return false;
    Int v = 0;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    n = v;
    return true;
}

void setWhenNumeric(QByteArrayView field, void (FaxItem::*setter)(int), FaxItem &item)
{
    qint32 v = 0;
    int err = 0;
    if (plainNumber(field, v) || (TextValues::isNumeric(field) && TextValues::toWhole(field, v, err)))
        (item.*setter)(v);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Date, or date and time, as the server writes them: d/M/yyyy (also "-" or "."), then H:mm[:ss]
// with ":" or ".".
bool isDateText(QByteArrayView field)
{
    const QString text = QString::fromLatin1(field).trimmed();
    if (text.isEmpty())
        return false;
    const qsizetype blank = text.indexOf(u' ');
    const QString datePart = blank < 0 ? text : text.left(blank);
    const QString timePart = blank < 0 ? QString() : text.mid(blank + 1).trimmed();
    bool dateOk = false;
    for (const QString &format : {u"d/M/yyyy"_s, u"d-M-yyyy"_s, u"d.M.yyyy"_s, u"d/M/yy"_s, u"d-M-yy"_s}) {
        if (QDate::fromString(datePart, format).isValid()) {
            dateOk = true;
            break;
        }
    }
    if (!dateOk)
        return false;
    if (timePart.isEmpty())
        return true;
    QString t = timePart;
    t.replace(u'.', u':');
    for (const QString &format : {u"H:mm"_s, u"H:mm:ss"_s, u"H:m"_s, u"H:m:s"_s}) {
        if (QTime::fromString(t, format).isValid())
            return true;
    }
    return false;
}

} // namespace

typeOfList ListFromName(QByteArrayView keyword)
{
    if (keyword == "INOLTRO")
        return Forwardlist;
    if (keyword == "PERSONALI")
        return PersonalList;
    if (keyword == "SPEDITI")
        return SentList;
    if (keyword == "CANCELLATI")
        return DeletedList;
    return NullList;
}

typeOfList ListFromName(QStringView keyword)
{
    return ListFromName(QByteArrayView(keyword.toLatin1()));
}

QString statusText(QByteArrayView code)
{
    static const QString texts[] = {
        u"complete"_s,
        u"no command acknowledgement from modem"_s,
        u"unsupported faxmodem"_s,
        u"error initializing modem"_s,
        u"bad fdis settings"_s,
        u"error setting local id"_s,
        u"error dialing"_s,
        u"error connecting to remote fax"_s,
        u"bad fcsi string"_s,
        // A to Z
        u"error receiving negotiated fdis"_s,
        u"internal state error"_s,
        u"line busy"_s,
        u"no dialtone"_s,
        u"didn't connect"_s,
        u"user cancelled"_s,
        u"bad or missing fpts"_s,
        u"bad or missing fhng"_s,
        u"fdcs not found"_s,
        u"general modem error"_s,
        u"invalid fax files"_s,
        u"incompatible dll/server releases"_s,
        u"modem command timeout"_s,
        u"no response to eop command repeated 3 times"_s,
        u"no response to mps command repeated 3 times"_s,
        u"unable to train with remote system"_s,
        u"error opening/initializing port"_s,
        u"no answer"_s,
        u"sending"_s,
        u"errore di formato."_s,
        u"file non valido o non trovato."_s,
        u"errore generico in spedizione."_s,
        u"attesa invio"_s,
        u"Posta Elettronica"_s,
        u"Adobe Acrobat\u00AE"_s,
        u"Ms Word\u00AE"_s,
        // a, b
        u"Ms Excel\u00AE"_s,
        u"Browser Internet"_s,
    };
    const QByteArrayView c = code.trimmed();
    if (c.size() != 1)
        return {};
    const char ch = c.front();
    if (ch >= '1' && ch <= '9')
        return texts[ch - '1'];
    if (ch >= 'A' && ch <= 'Z')
        return texts[9 + (ch - 'A')];
    if (ch == 'a' || ch == 'b')
        return texts[35 + (ch - 'a')];
    return {};
}

QString iconName(QByteArrayView code)
{
    static const QString names[] = {u"inoltra"_s, u"inoltrato"_s, u"inoltratopr"_s, u"inoltrapr"_s, u"user"_s,
                                    u"userpr"_s,  u"group"_s,     u"grouppr"_s,     u"empty"_s};
    if (code.isEmpty())
        return names[0];
    if (code.size() == 1 && code[0] >= '1' && code[0] <= '8')
        return names[code[0] - '0'];
    return {};
}

namespace {

// The date text of field 6 into out (up to 16 characters), its length into length (0: no text).
// plain: the field's number when it is plain digits after the letter, read already.
bool writeDateFax(QByteArrayView field, char16_t *out, qsizetype &length, const qint64 *plain,
                  LastDay *last = nullptr)
{
    length = 0;
    if (field.isEmpty())
        return true;
    const char letter = field.front();
    if (letter == 'D') {
        writeTimeOfDay(plain ? *plain : TextValues::leadingWhole(field.sliced(1)), out);
        length = 5;
        return true;
    }
    const QByteArrayView number = letter == 'O' ? field.sliced(1) : field;
    qint64 n = 0;
    int err = 0;
    if (plain)
        n = *plain;
    else if (!plainNumber(number, n) && !TextValues::toWhole64(number, n, err))
        return false;
    if (!writeDate(n, out, last))
        return false;
    if (letter == 'O') {
        length = 10;
        return true;
    }
    out[10] = u' ';
    writeTimeOfDay(n, out + 11);
    length = 16;
    return true;
}

constexpr qsizetype DateOrderLength = 20;

// The sort key of field 6 into out (20 characters); plain as for writeDateFax.
bool writeDateOrder(QByteArrayView field, char16_t *out, const qint64 *plain)
{
    if (field.size() <= 1) {
        std::fill_n(out, DateOrderLength, u' ');
        return true;
    }
    const QByteArrayView number = (field.front() == 'O' || field.front() == 'D') ? field.sliced(1) : field;
    qint32 n = 0;
    int err = 0;
    if (plain)
        n = qint32(*plain);
    else if (!plainNumber(number, n) && !TextValues::toWhole(number, n, err))
        return false;
    // n + 10^12 has 12 or 13 digits for any 32-bit n; right-aligned in 20 characters.
    if (n >= 0 && n < 1000000000) {
        // "1000" and n in 9 digits, after 7 blanks.
        std::fill_n(out, 7, u' ');
        out[7] = u'1';
        std::fill_n(out + 8, 3, u'0');
        quint32 u = quint32(n);
        for (qsizetype i = DateOrderLength - 1; i >= 11; --i) {
            out[i] = char16_t(u'0' + u % 10);
            u /= 10;
        }
        return true;
    }
    qint64 v = qint64(n) + 1000000000000LL;
    qsizetype i = DateOrderLength;
    do {
        out[--i] = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v > 0);
    while (i > 0)
        out[--i] = u' ';
    return true;
}

} // namespace

bool decodeDateFax(QByteArrayView field, QString &dateFax)
{
    char16_t text[16];
    qsizetype length = 0;
    dateFax.clear();
    if (!writeDateFax(field, text, length, nullptr))
        return false;
    if (length > 0)
        dateFax = QString(reinterpret_cast<const QChar *>(text), length);
    return true;
}

bool decodeDateOrder(QByteArrayView field, QString &dateOrder)
{
    char16_t text[DateOrderLength];
    if (!writeDateOrder(field, text, nullptr))
        return false;
    dateOrder = QString(reinterpret_cast<const QChar *>(text), DateOrderLength);
    return true;
}

namespace {

// The texts of records in few allocations: each is a QString of its own over a piece of a shared block,
// ended by a 0 as every QString is, so a list costs one allocation per block instead of one per text.
// A text changed later is copied first as any shared QString; a block goes with the last of its texts.
// The references of the texts given out are added to their block in one step (settle(), also when the
// block is full and when the arena goes), which must come before any of those texts goes.
class TextArena
{
public:
    // Blocks of at least blockUnits characters; 0: each block just fits what reserve() asks.
    explicit TextArena(qsizetype blockUnits) : m_blockUnits(blockUnits) {}
    TextArena(const TextArena &) = delete;
    TextArena &operator=(const TextArena &) = delete;
    ~TextArena() { settle(); }
    // Room for units more characters (the texts and their 0s) in the current block.
    void reserve(qsizetype units)
    {
        if (m_block.isNull() || m_used + units > m_block.size()) {
            settle();
            m_block = QString(qMax(units, m_blockUnits), Qt::Uninitialized);
            m_used = 0;
        }
    }
    // Room for the next text.
    char16_t *next() { return m_block.data_ptr().data() + m_used; }
    // The next length characters (written through next()) as a text of their own; null when empty.
    QString take(qsizetype length)
    {
        if (length == 0)
            return {};
        QStringPrivate &block = m_block.data_ptr();
        char16_t *begin = block.data() + m_used;
        begin[length] = u'\0';
        m_used += length + 1;
        ++m_unsettled;
        return QString(QStringPrivate(block.d_ptr(), begin, length));
    }
    // One more holder of a text taken from the current block.
    QString share(const QString &taken)
    {
        QStringPrivate &block = m_block.data_ptr();
        ++m_unsettled;
        return QString(QStringPrivate(
            block.d_ptr(), const_cast<char16_t *>(reinterpret_cast<const char16_t *>(taken.constData())),
            taken.size()));
    }
    void settle()
    {
        if (m_unsettled != 0) {
            m_block.data_ptr().d_ptr()->ref_.fetchAndAddRelaxed(int(m_unsettled));
            m_unsettled = 0;
        }
    }

private:
    QString m_block;
    qsizetype m_used = 0;
    qsizetype m_blockUnits;
    qsizetype m_unsettled = 0;
};

bool isAscii(QByteArrayView field)
{
    const char *p = field.data();
    qsizetype left = field.size();
    quint64 any = 0;
    for (; left >= 8; p += 8, left -= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        any |= word;
    }
    for (; left > 0; ++p, --left)
        any |= static_cast<unsigned char>(*p);
    return (any & 0x8080808080808080ull) == 0;
}

// ASCII bytes as characters (the same as the code page gives them).
void widen(QByteArrayView field, char16_t *out)
{
    const char *p = field.data();
    qsizetype left = field.size();
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; left >= 8; p += 8, out += 8, left -= 8) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(bytes, zero));
    }
#endif
    for (; left > 0; --left)
        *out++ = char16_t(static_cast<unsigned char>(*p++));
}

// Fills a blank item; false (item left blank) after the error went to the sink. With key, also the
// item's key (its IdFax).
bool fillFaxItem(FaxItem &item, QByteArrayView record, typeOfList kind, const ErrorSink &onError,
                 TextArena &texts, TextInterner *interner, FoldedKey *key, LastDay *lastDay)
{
    constexpr qsizetype Fields = 13; // the most a record is read for; later fields are left alone
    // Left unset: splitFields() writes the fields it counts.
    union Views {
        Views() {}
        QByteArrayView at[Fields];
    } views;
    QByteArrayView *const f = views.at;
    const qsizetype count = splitFields(record, ListSeparator, f, Fields);
    int error = 0;
    auto fail = [&](int number) {
        reportError(onError, number, u"CreaFaxItem : "_s + fieldText(record));
        return false;
    };
    const qsizetype needed = kind == SentList ? 13 : 10;

    // Every field is checked, in the order of the record, before anything is written.
    if (count < 7)
        return fail(ErrorCode::OutOfRange);
    // Field 6 is mostly plain digits after an optional letter: read once for both texts.
    qint64 minutes = 0;
    const bool plainDate =
        !f[6].isEmpty() &&
        plainNumber((f[6].front() == 'O' || f[6].front() == 'D') ? f[6].sliced(1) : f[6], minutes);
    char16_t dateFax[16];
    qsizetype dateFaxLength = 0;
    if (!writeDateFax(f[6], dateFax, dateFaxLength, plainDate ? &minutes : nullptr, lastDay))
        return fail(ErrorCode::TypeMismatch);
    if (count < 10)
        return fail(ErrorCode::OutOfRange);
    char16_t dateOrder[DateOrderLength];
    if (!writeDateOrder(f[6], dateOrder, plainDate ? &minutes : nullptr))
        return fail(ErrorCode::TypeMismatch);
    qint32 retries = 0, retryCount = 0;
    if (kind == SentList) {
        if (count < needed)
            return fail(ErrorCode::OutOfRange);
        if (!f[10].isEmpty() && !plainNumber(f[10], retries) && !TextValues::toWhole(f[10], retries, error))
            return fail(error);
        if (!f[11].isEmpty() && !plainNumber(f[11], retryCount) &&
            !TextValues::toWhole(f[11], retryCount, error))
            return fail(error);
        if (f[12].isEmpty() || !isDigit(f[12].front()))
            return fail(ErrorCode::TypeMismatch);
        item.setRetries(retries);
        item.setRetryCount(retryCount);
        item.setPending(f[12].front() == '0');
    }

    // The number, the date texts, the subject and the sender's texts not met lately share one block;
    // bytes above 127 take the code page.
    struct Piece
    {
        QByteArrayView bytes;
        QString text;
        bool inBlock = false;
        bool decoded = false; // not kept by the interner: to be kept
    };
    Piece pieces[] = {{f[0], {}, false, false},
                      {f[8], {}, false, false},
                      {f[3], {}, false, false},
                      {f[4], {}, false, false},
                      {f[5], {}, false, false}};
    enum { Id, Subject, Remote, Company, Number };
    qsizetype units = dateFaxLength + 1 + DateOrderLength + 1;
    for (int i = 0; i < int(std::size(pieces)); ++i) {
        Piece &p = pieces[i];
        if (p.bytes.isEmpty() || (i >= Remote && interner && interner->find(p.bytes, p.text)))
            continue;
        p.decoded = true;
        if (isAscii(p.bytes)) {
            p.inBlock = true;
            units += p.bytes.size() + 1;
        } else {
            p.text = fieldText(p.bytes);
        }
    }
    texts.reserve(units);
    std::copy_n(dateFax, dateFaxLength, texts.next());
    item.setDateFax(texts.take(dateFaxLength));
    std::copy_n(dateOrder, DateOrderLength, texts.next());
    item.setDateOrder(texts.take(DateOrderLength));
    for (int i = 0; i < int(std::size(pieces)); ++i) {
        Piece &p = pieces[i];
        if (p.inBlock) {
            widen(p.bytes, texts.next());
            p.text = texts.take(p.bytes.size());
        }
        if (i >= Remote && interner && p.decoded)
            interner->keep(p.bytes, p.text);
    }
    if (key) {
        if (pieces[Id].inBlock)
            *key = FoldedKey(texts.share(pieces[Id].text), FoldedKey::foldedHashAscii(pieces[Id].bytes));
        else
            *key = FoldedKey(pieces[Id].text);
    }
    item.setIdFax(std::move(pieces[Id].text));
    item.setSubject(std::move(pieces[Subject].text));
    item.setRemoteID(std::move(pieces[Remote].text));
    item.setToCompany(std::move(pieces[Company].text));
    item.setDestFax(std::move(pieces[Number].text));
    item.setStatus(statusText(f[1]));
    item.setIcon(iconName(f[2]));
    setWhenNumeric(f[7], &FaxItem::setPageSent, item);
    item.setRead(startsWithV(f[9]));
    return true;
}

} // namespace

std::unique_ptr<FaxItem> CreaFaxItem(QByteArrayView record, typeOfList kind, const ErrorSink &onError)
{
    auto item = std::make_unique<FaxItem>();
    TextArena texts(0);
    if (!fillFaxItem(*item, record, kind, onError, texts, nullptr, nullptr, nullptr))
        return nullptr;
    return item;
}

std::unique_ptr<CollFaxItem> CaricaCollFaxItem(QByteArrayView data, typeOfList kind, const ErrorSink &onError)
{
    auto items = std::make_unique<CollFaxItem>();
    RecordReader reader(data);
    QByteArrayView record;
    if (!reader.next(record))
        return items;
    qint64 count = 0;
    int error = 0;
    if (!TextValues::toWhole64(record, count, error)) {
        reportError(onError, error, u"CaricaCollFaxItem : "_s + fieldText(record));
        return items;
    }
    // The count is only a hint; the records decide. Each record takes at least 13 bytes.
    items->reserve(qBound<qint64>(0, count, data.size() / 13));
    CollFaxItem::Owned item;
    FoldedKey key;
    // Declared after the item and the key: the texts' references are settled before those go.
    TextInterner interner;
    // About 16 KiB a block: a text kept after its list keeps no more than that.
    TextArena texts(8192);
    LastDay lastDay;
    while (reader.next(record)) {
        // Each fax record is led by "¦"; a failing one is reported and left out (its item, still blank,
        // takes the next record).
        if (!item)
            item = items->make();
        if (fillFaxItem(*item, record.isEmpty() ? record : record.sliced(1), kind, onError, texts, &interner,
                        &key, &lastDay))
            items->appendUnsettled(std::move(item), std::move(key));
    }
    texts.settle();
    interner.settle();
    // A fax whose number came earlier in the answer is left out, as Add leaves it.
    items->settleKeys();
    return items;
}

FaxDataResult CaricaDatiFax(QByteArrayView data, QStringView activeListKeyword, const ErrorSink &onError)
{
    FaxDataResult result;
    result.items = std::make_unique<CollFaxItem>();
    const QByteArray active = Proto::bytes(activeListKeyword);
    RecordReader reader(data);
    QByteArrayView record;
    for (;;) {
        const QByteArrayView inHand = reader.rest();
        if (!reader.next(record))
            break;
        const FieldViews f = splitFields(record, ListSeparator);
        if (f.size() < 8)
            continue;
        if (!result.listKindSet) {
            result.listKindSet = true;
            result.listKind = ListFromName(f[0]);
        }
        if (f[0] != QByteArrayView(active))
            continue;
        if (f.size() < 13) {
            // Only 8 to 12 fields: the missing ones cannot be read; report and go on with the next.
            reportError(onError, ErrorCode::OutOfRange, u"CaricaDatiFax: "_s + fieldText(inHand));
            result.ok = false;
            continue;
        }
        auto item = std::make_unique<FaxItem>();
        item->setDestName(fieldText(f[1]));
        item->setToCompany(fieldText(f[2]));
        item->setDestFax(fieldText(f[3]));
        if (isDateText(f[4])) {
            QByteArray sent = f[4].toByteArray();
            sent.replace('.', ':');
            item->setSentDate(fieldText(sent));
        }
        setWhenNumeric(f[5], &FaxItem::setPageSent, *item);
        item->setSubject(fieldText(f[6]));
        setWhenNumeric(f[7], &FaxItem::setRetries, *item);
        setWhenNumeric(f[8], &FaxItem::setTotalPages, *item);
        setWhenNumeric(f[9], &FaxItem::setDuration, *item);
        item->setStatus(fieldText(f[10]));
        setWhenNumeric(f[11], &FaxItem::setSpeed, *item);
        item->setIdFax(fieldText(f[12]));
        result.items->Add(std::move(item));
    }
    return result;
}

} // namespace Proto
