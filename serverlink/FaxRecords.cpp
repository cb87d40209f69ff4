#include "FaxRecords.h"

#include "TextValues.h"

#include <QDate>
#include <QHash>

using namespace Qt::StringLiterals;

namespace Proto {

namespace {

const QDate Epoch(2006, 1, 1);

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

QString timeOfDay(qint64 n)
{
    qint64 m = n % 1440;
    if (m <= 0)
        m += 1440;
    const qint64 hours = m / 60;
    const qint64 minutes = m % 60;
    const QString hh = hours == 24 ? u"00"_s : QString::number(hours).rightJustified(2, u'0');
    return hh + u':' + QString::number(minutes).rightJustified(2, u'0');
}

bool dateOf(qint64 minutes, QString &out)
{
    const QDate date = Epoch.addDays(floorDiv(minutes, 1440));
    if (!date.isValid() || date.year() < 100 || date.year() > 9999)
        return false;
    out = date.toString(u"dd/MM/yyyy"_s);
    return true;
}

QString fieldText(QByteArrayView field)
{
    return Proto::text(field);
}

void setWhenNumeric(QByteArrayView field, void (FaxItem::*setter)(int), FaxItem &item)
{
    qint32 v = 0;
    int err = 0;
    if (TextValues::isNumeric(field) && TextValues::toWhole(field, v, err))
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
    static const QHash<QByteArray, QString> texts = {
        {"1", u"complete"_s},
        {"2", u"no command acknowledgement from modem"_s},
        {"3", u"unsupported faxmodem"_s},
        {"4", u"error initializing modem"_s},
        {"5", u"bad fdis settings"_s},
        {"6", u"error setting local id"_s},
        {"7", u"error dialing"_s},
        {"8", u"error connecting to remote fax"_s},
        {"9", u"bad fcsi string"_s},
        {"A", u"error receiving negotiated fdis"_s},
        {"B", u"internal state error"_s},
        {"C", u"line busy"_s},
        {"D", u"no dialtone"_s},
        {"E", u"didn't connect"_s},
        {"F", u"user cancelled"_s},
        {"G", u"bad or missing fpts"_s},
        {"H", u"bad or missing fhng"_s},
        {"I", u"fdcs not found"_s},
        {"J", u"general modem error"_s},
        {"K", u"invalid fax files"_s},
        {"L", u"incompatible dll/server releases"_s},
        {"M", u"modem command timeout"_s},
        {"N", u"no response to eop command repeated 3 times"_s},
        {"O", u"no response to mps command repeated 3 times"_s},
        {"P", u"unable to train with remote system"_s},
        {"Q", u"error opening/initializing port"_s},
        {"R", u"no answer"_s},
        {"S", u"sending"_s},
        {"T", u"errore di formato."_s},
        {"U", u"file non valido o non trovato."_s},
        {"V", u"errore generico in spedizione."_s},
        {"W", u"attesa invio"_s},
        {"X", u"Posta Elettronica"_s},
        {"Y", u"Adobe Acrobat\u00AE"_s},
        {"Z", u"Ms Word\u00AE"_s},
        {"a", u"Ms Excel\u00AE"_s},
        {"b", u"Browser Internet"_s},
    };
    return texts.value(code.trimmed().toByteArray());
}

QString iconName(QByteArrayView code)
{
    static const char *const names[] = {"inoltra", "inoltrato", "inoltratopr", "inoltrapr", "user",
                                        "userpr",  "group",     "grouppr",     "empty"};
    if (code.isEmpty())
        return QString::fromLatin1(names[0]);
    if (code.size() == 1 && code[0] >= '1' && code[0] <= '8')
        return QString::fromLatin1(names[code[0] - '0']);
    return {};
}

bool decodeDateFax(QByteArrayView field, QString &dateFax)
{
    dateFax.clear();
    if (field.isEmpty())
        return true;
    const char letter = field.front();
    if (letter == 'D') {
        dateFax = timeOfDay(TextValues::leadingWhole(field.sliced(1)));
        return true;
    }
    const QByteArrayView number = letter == 'O' ? field.sliced(1) : field;
    qint64 n = 0;
    int err = 0;
    if (!TextValues::toWhole64(number, n, err))
        return false;
    QString date;
    if (!dateOf(n, date))
        return false;
    dateFax = letter == 'O' ? date : date + u' ' + timeOfDay(n);
    return true;
}

bool decodeDateOrder(QByteArrayView field, QString &dateOrder)
{
    if (field.size() <= 1) {
        dateOrder = QString(20, u' ');
        return true;
    }
    const QByteArrayView number = (field.front() == 'O' || field.front() == 'D') ? field.sliced(1) : field;
    qint32 n = 0;
    int err = 0;
    if (!TextValues::toWhole(number, n, err))
        return false;
    dateOrder = QString::number(qint64(n) + 1000000000000LL).rightJustified(20, u' ');
    return true;
}

std::unique_ptr<FaxItem> CreaFaxItem(QByteArrayView record, typeOfList kind, const ErrorSink &onError)
{
    const QList<QByteArrayView> f = splitView(record, ListSeparator);
    int error = 0;
    auto fail = [&](int number) {
        reportError(onError, number, u"CreaFaxItem : "_s + fieldText(record));
        return nullptr;
    };
    const qsizetype needed = kind == SentList ? 13 : 10;

    auto item = std::make_unique<FaxItem>();
    if (f.size() < 7)
        return fail(ErrorCode::OutOfRange);
    item->setIdFax(fieldText(f[0]));
    item->setStatus(statusText(f[1]));
    item->setIcon(iconName(f[2]));
    item->setRemoteID(fieldText(f[3]));
    item->setToCompany(fieldText(f[4]));
    item->setDestFax(fieldText(f[5]));
    QString dateFax;
    if (!decodeDateFax(f[6], dateFax))
        return fail(ErrorCode::TypeMismatch);
    item->setDateFax(dateFax);
    if (f.size() < 10)
        return fail(ErrorCode::OutOfRange);
    setWhenNumeric(f[7], &FaxItem::setPageSent, *item);
    item->setSubject(fieldText(f[8]));
    QString dateOrder;
    if (!decodeDateOrder(f[6], dateOrder))
        return fail(ErrorCode::TypeMismatch);
    item->setDateOrder(dateOrder);
    item->setRead(startsWithV(f[9]));

    if (kind == SentList) {
        if (f.size() < needed)
            return fail(ErrorCode::OutOfRange);
        qint32 v = 0;
        if (!f[10].isEmpty() && !TextValues::toWhole(f[10], v, error))
            return fail(error);
        item->setRetries(f[10].isEmpty() ? 0 : v);
        v = 0;
        if (!f[11].isEmpty() && !TextValues::toWhole(f[11], v, error))
            return fail(error);
        item->setRetryCount(f[11].isEmpty() ? 0 : v);
        if (f[12].isEmpty() || !isDigit(f[12].front()))
            return fail(ErrorCode::TypeMismatch);
        item->setPending(f[12].front() == '0');
    }
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
    while (reader.next(record)) {
        // Each fax record is led by "¦"; a failing one is reported and left out.
        auto item = CreaFaxItem(record.isEmpty() ? record : record.sliced(1), kind, onError);
        if (item)
            items->Add(std::move(item));
    }
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
        const QList<QByteArrayView> f = splitView(record, ListSeparator);
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
