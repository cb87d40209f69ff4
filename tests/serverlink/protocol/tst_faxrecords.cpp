#include "FaxRecords.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray wire(const QString &text)
{
    return Proto::bytes(text);
}

// A fax record as it stands after its leading "¦".
QByteArray record(const QStringList &fields)
{
    return wire(fields.join(u'¦'));
}

QStringList personal(const QString &id = u"P17"_s)
{
    return {id, u"1"_s, u""_s, u"REMOTE"_s, u"ACME"_s, u"0212345"_s, u"60"_s, u"3"_s, u"Offerta"_s, u"V"_s};
}

struct Errors
{
    QList<ParseError> list;
    ErrorSink sink()
    {
        return [this](const ParseError &e) { list.append(e); };
    }
};

} // namespace

class tst_FaxRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dateFax_data();
    void dateFax();
    void dateOrder_data();
    void dateOrder();
    void statusAndIcon_data();
    void statusAndIcon();
    void faxRecord_data();
    void faxRecord();
    void listAnswer_data();
    void listAnswer();
    void listAnswerBadCount();
    void largeListsOneAfterAnother();
    void listTexts_data();
    void listTexts();
    void listFromName();
    void properties_data();
    void properties();
};

void tst_FaxRecords::dateFax_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QString() << true << QString();
    QTest::newRow("last minute of a day") << u"D1439"_s << true << u"23:59"_s;
    QTest::newRow("minute 1440 is midnight") << u"D1440"_s << true << u"00:00"_s;
    QTest::newRow("D alone") << u"D"_s << true << u"00:00"_s;
    QTest::newRow("date only") << u"O1440"_s << true << u"02/01/2006"_s;
    QTest::newRow("date and time") << u"60"_s << true << u"01/01/2006 01:00"_s;
    QTest::newRow("epoch") << u"0"_s << true << u"01/01/2006 00:00"_s;
    QTest::newRow("before the epoch") << u"-1"_s << true << u"31/12/2005 23:59"_s;
    QTest::newRow("a year on") << u"O525600"_s << true << u"01/01/2007"_s;
    QTest::newRow("far future keeps four digits") << u"O4203427680"_s << true << u"30/01/9998"_s;
    QTest::newRow("last day of 9999") << u"O4204435680"_s << true << u"31/12/9999"_s;
    QTest::newRow("rounded") << u"D59.6"_s << true << u"01:00"_s;
    QTest::newRow("beyond year 9999") << u"O4204437120"_s << false << QString();
    QTest::newRow("letters") << u"Oabc"_s << false << QString();
    QTest::newRow("O alone") << u"O"_s << false << QString();
    QTest::newRow("other letter") << u"X60"_s << false << QString();
    QTest::newRow("blank before the number") << u"O 1440"_s << true << u"02/01/2006"_s;
    QTest::newRow("plus sign") << u"+60"_s << true << u"01/01/2006 01:00"_s;
    QTest::newRow("nine digits") << u"O525600000"_s << true << u"04/05/3005"_s;
    QTest::newRow("ten digits") << u"O1051200000"_s << true << u"03/09/4004"_s;
}

void tst_FaxRecords::dateFax()
{
    QFETCH(QString, field);
    QFETCH(bool, ok);
    QFETCH(QString, expected);
    QString got;
    QCOMPARE(Proto::decodeDateFax(wire(field), got), ok);
    if (ok)
        QCOMPARE(got, expected);
}

void tst_FaxRecords::dateOrder_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected");
    QTest::newRow("time field") << u"D5"_s << true << u"       1000000000005"_s;
    QTest::newRow("empty") << QString() << true << QString(20, u' ');
    QTest::newRow("one character") << u"5"_s << true << QString(20, u' ');
    QTest::newRow("date field") << u"O1440"_s << true << u"       1000000001440"_s;
    QTest::newRow("negative") << u"D-5"_s << true << u"        999999999995"_s;
    QTest::newRow("not a number") << u"Dx"_s << false << QString();
    QTest::newRow("plain") << u"9000000"_s << true << u"       1000009000000"_s;
    QTest::newRow("nine digits") << u"O999999999"_s << true << u"       1000999999999"_s;
    QTest::newRow("ten digits") << u"O1000000000"_s << true << u"       1001000000000"_s;
    QTest::newRow("largest") << u"O2147483647"_s << true << u"       1002147483647"_s;
    QTest::newRow("beyond 32 bits") << u"O2147483648"_s << false << QString();
    QTest::newRow("blank before") << u"D 5"_s << true << u"       1000000000005"_s;
    QTest::newRow("plus sign") << u"O+5"_s << true << u"       1000000000005"_s;
    QTest::newRow("leading zeros") << u"O0000000005"_s << true << u"       1000000000005"_s;
}

void tst_FaxRecords::dateOrder()
{
    QFETCH(QString, field);
    QFETCH(bool, ok);
    QFETCH(QString, expected);
    QString got;
    QCOMPARE(Proto::decodeDateOrder(wire(field), got), ok);
    if (ok) {
        QCOMPARE(got, expected);
        QCOMPARE(got.size(), 20);
    }
}

void tst_FaxRecords::statusAndIcon_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("icon");
    QTest::newRow("empty") << QString() << QString() << u"inoltra"_s;
    QTest::newRow("1") << u"1"_s << u"complete"_s << u"inoltrato"_s;
    QTest::newRow("1 with blanks") << u" 1 "_s << u"complete"_s << QString();
    QTest::newRow("4") << u"4"_s << u"error initializing modem"_s << u"user"_s;
    QTest::newRow("8") << u"8"_s << u"error connecting to remote fax"_s << u"empty"_s;
    QTest::newRow("9") << u"9"_s << u"bad fcsi string"_s << QString();
    QTest::newRow("C") << u"C"_s << u"line busy"_s << QString();
    QTest::newRow("W") << u"W"_s << u"attesa invio"_s << QString();
    QTest::newRow("Y") << u"Y"_s << u"Adobe Acrobat®"_s << QString();
    QTest::newRow("a") << u"a"_s << u"Ms Excel®"_s << QString();
    QTest::newRow("b") << u"b"_s << u"Browser Internet"_s << QString();
    QTest::newRow("c") << u"c"_s << QString() << QString();
    QTest::newRow("10") << u"10"_s << QString() << QString();
}

void tst_FaxRecords::statusAndIcon()
{
    QFETCH(QString, code);
    QFETCH(QString, status);
    QFETCH(QString, icon);
    QCOMPARE(Proto::statusText(wire(code)), status);
    QCOMPARE(Proto::iconName(wire(code)), icon);
}

void tst_FaxRecords::faxRecord_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("pageSent");
    QTest::addColumn<bool>("read");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("retryCount");
    QTest::addColumn<bool>("pending");

    QTest::newRow("personal, ten fields")
        << personal() << int(PersonalList) << true << 3 << true << 0 << 0 << false;
    QTest::newRow("sent, ten fields fails")
        << personal() << int(SentList) << false << 0 << false << 0 << 0 << false;
    QStringList sent = personal() + QStringList{u"2"_s, u"1"_s, u"0"_s};
    QTest::newRow("sent, pending") << sent << int(SentList) << true << 3 << true << 2 << 1 << true;
    sent[12] = u"1"_s;
    QTest::newRow("sent, not pending") << sent << int(SentList) << true << 3 << true << 2 << 1 << false;
    sent[12] = u"V"_s;
    QTest::newRow("sent, field 12 not a digit")
        << sent << int(SentList) << false << 0 << false << 0 << 0 << false;
    sent[12] = u"0"_s;
    sent[10] = QString();
    sent[11] = QString();
    QTest::newRow("sent, empty counters") << sent << int(SentList) << true << 3 << true << 0 << 0 << true;
    sent[10] = u"x"_s;
    QTest::newRow("sent, retries not a number")
        << sent << int(SentList) << false << 0 << false << 0 << 0 << false;
    QStringList extra = personal() + QStringList{u"x"_s, u"y"_s, u"z"_s};
    QTest::newRow("personal ignores fields 10-12")
        << extra << int(PersonalList) << true << 3 << true << 0 << 0 << false;
    QStringList p = personal();
    p[7] = u"tre"_s;
    QTest::newRow("pages not a number") << p << int(NullList) << true << 0 << true << 0 << 0 << false;
    p[9] = u"v"_s;
    QTest::newRow("read lower-case v") << p << int(NullList) << true << 0 << false << 0 << 0 << false;
    p[9] = u"Vero"_s;
    QTest::newRow("read first character V") << p << int(NullList) << true << 0 << true << 0 << 0 << false;
    p[6] = u"ieri"_s;
    QTest::newRow("bad date") << p << int(NullList) << false << 0 << false << 0 << 0 << false;
    QTest::newRow("six fields") << personal().mid(0, 6) << int(NullList) << false << 0 << false << 0 << 0
                                << false;
    QTest::newRow("nine fields") << personal().mid(0, 9) << int(NullList) << false << 0 << false << 0 << 0
                                 << false;
    QTest::newRow("empty record") << QStringList{QString()} << int(NullList) << false << 0 << false << 0 << 0
                                  << false;
}

void tst_FaxRecords::faxRecord()
{
    QFETCH(QStringList, fields);
    QFETCH(int, kind);
    QFETCH(bool, ok);
    Errors errors;
    const QByteArray rec = record(fields);
    const auto item = Proto::CreaFaxItem(rec, typeOfList(kind), errors.sink());
    QCOMPARE(bool(item), ok);
    if (!ok) {
        QCOMPARE(errors.list.size(), 1);
        QCOMPARE(errors.list.first().source, u"CreaFaxItem : "_s + Proto::text(rec));
        QVERIFY(errors.list.first().number != 0);
        QVERIFY(!errors.list.first().description.isEmpty());
        return;
    }
    QVERIFY(errors.list.isEmpty());
    QCOMPARE(item->IdFax(), fields[0]);
    QCOMPARE(item->RemoteID(), u"REMOTE"_s);
    QCOMPARE(item->ToCompany(), u"ACME"_s);
    QCOMPARE(item->DestFax(), u"0212345"_s);
    QCOMPARE(item->DateFax(), u"01/01/2006 01:00"_s);
    QCOMPARE(item->Subject(), u"Offerta"_s);
    QCOMPARE(item->status(), u"complete"_s);
    QCOMPARE(item->Icon(), u"inoltra"_s);
    QFETCH(int, pageSent);
    QFETCH(bool, read);
    QFETCH(int, retries);
    QFETCH(int, retryCount);
    QFETCH(bool, pending);
    QCOMPARE(item->PageSent(), pageSent);
    QCOMPARE(item->Read(), read);
    QCOMPARE(item->Retries(), retries);
    QCOMPARE(item->RetryCount(), retryCount);
    QCOMPARE(item->Pending(), pending);
    QVERIFY(item->DestName().isEmpty() && item->SentDate().isEmpty());
}

void tst_FaxRecords::listAnswer_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<int>("errors");

    const QString a = u"¦"_s + personal(u"P1"_s).join(u'¦') + u"<ÌÌ>"_s;
    const QString b = u"¦"_s + personal(u"P2"_s).join(u'¦') + u"<ÌÌ>"_s;
    QTest::newRow("count only") << u"0<ÌÌ>"_s << QStringList{} << 0;
    QTest::newRow("empty data") << QString() << QStringList{} << 0;
    QTest::newRow("two faxes") << u"2<ÌÌ>"_s + a + b << QStringList{u"P1"_s, u"P2"_s} << 0;
    QTest::newRow("broken record is skipped, not blank")
        << u"3<ÌÌ>"_s + a + u"¦P9¦1<ÌÌ>"_s + b << QStringList{u"P1"_s, u"P2"_s} << 1;
    QTest::newRow("empty record is skipped") << u"1<ÌÌ><ÌÌ>"_s + a << QStringList{u"P1"_s} << 1;
    QTest::newRow("unclosed last record is not loaded")
        << u"2<ÌÌ>"_s + a + b.chopped(4) << QStringList{u"P1"_s} << 0;
    QTest::newRow("repeated key keeps the first") << u"2<ÌÌ>"_s + a + a << QStringList{u"P1"_s} << 0;
    QTest::newRow("count not checked against records") << u"7<ÌÌ>"_s + a << QStringList{u"P1"_s} << 0;
    const QString lower = u"¦"_s + personal(u"p1"_s).join(u'¦') + u"<ÌÌ>"_s;
    const QString noId = u"¦"_s + personal(QString()).join(u'¦') + u"<ÌÌ>"_s;
    QTest::newRow("repeated key in other case after a broken record keeps the first")
        << u"4<ÌÌ>"_s + a + u"¦P2¦1<ÌÌ>"_s + lower + b << QStringList{u"P1"_s, u"P2"_s} << 1;
    QTest::newRow("faxes without a number are all kept")
        << u"3<ÌÌ>"_s + noId + a + noId << QStringList{QString(), u"P1"_s, QString()} << 0;
    const QString accented = u"¦"_s + personal(u"È1"_s).join(u'¦') + u"<ÌÌ>"_s;
    const QString accentedLower = u"¦"_s + personal(u"è1"_s).join(u'¦') + u"<ÌÌ>"_s;
    QTest::newRow("repeated code-page key in other case keeps the first")
        << u"3<ÌÌ>"_s + accented + a + accentedLower << QStringList{u"È1"_s, u"P1"_s} << 0;
    const QString longer =
        u"¦"_s + (personal(u"P3"_s) + QStringList{u"x"_s, u"y"_s, u"z"_s, u"w"_s}).join(u'¦') + u"<ÌÌ>"_s;
    QTest::newRow("fields past the thirteenth are left alone")
        << u"2<ÌÌ>"_s + longer + a << QStringList{u"P3"_s, u"P1"_s} << 0;
}

void tst_FaxRecords::listAnswer()
{
    QFETCH(QString, data);
    QFETCH(QStringList, ids);
    QFETCH(int, errors);
    Errors errs;
    const auto items = Proto::CaricaCollFaxItem(wire(data), PersonalList, errs.sink());
    QVERIFY(items);
    QStringList got;
    for (const FaxItem &item : *items)
        got << item.IdFax();
    QCOMPARE(got, ids);
    QCOMPARE(items->Count(), ids.size());
    QCOMPARE(errs.list.size(), errors);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        QCOMPARE(items->Item(i + 1)->IdFax(), ids[i]);
        if (!ids[i].isEmpty())
            QCOMPARE(items->Item(ids[i])->IdFax(), ids[i]);
    }
    // Many faxes of one answer: each is found under its number, and the texts outlive the collection.
    QByteArray many = "3000<\xCC\xCC>";
    for (int i = 0; i < 3000; ++i)
        many += "\xA6" + wire(personal(u"N"_s + QString::number(i)).join(u'\xA6')) + "<\xCC\xCC>";
    auto faxes = Proto::CaricaCollFaxItem(many, PersonalList, errs.sink());
    QCOMPARE(faxes->Count(), 3000);
    QVERIFY(faxes->Remove(u"n1500"_s));
    const QString kept = faxes->Item(u"N2999"_s)->IdFax();
    const QString subject = faxes->Item(3)->Subject();
    for (int i = 0; i < 3000; ++i)
        QCOMPARE(bool(faxes->Item(u"N"_s + QString::number(i))), i != 1500);
    // The company, number and station texts repeat fax after fax: a copy changed, or the list dropped,
    // leaves every other as it was.
    QString company = faxes->Item(7)->ToCompany();
    company[0] = u'X';
    const QString number = faxes->Item(2999)->DestFax();
    for (const FaxItem &fax : *faxes)
        QVERIFY(fax.ToCompany() == u"ACME"_s && fax.DestFax() == u"0212345"_s &&
                fax.RemoteID() == u"REMOTE"_s);
    faxes.reset();
    QCOMPARE(kept, u"N2999"_s);
    QCOMPARE(subject, u"Offerta"_s);
    QCOMPARE(company, u"XCME"_s);
    QCOMPARE(number, u"0212345"_s);

    // Faxes of one day, of another, of the first again, of a day past year 9999 (refused, twice).
    const QStringList dates = {u"60"_s,         u"1500"_s, u"O61"_s, u"4204437120"_s,
                               u"4204437121"_s, u"D30"_s,  u"1439"_s};
    QByteArray days = "7<\xCC\xCC>";
    for (int i = 0; i < dates.size(); ++i) {
        QStringList fields = personal(u"D"_s + QString::number(i));
        fields[6] = dates[i];
        days += "\xA6" + record(fields) + "<\xCC\xCC>";
    }
    Errors dayErrors;
    const auto dated = Proto::CaricaCollFaxItem(days, PersonalList, dayErrors.sink());
    QStringList shown;
    for (const FaxItem &fax : *dated)
        shown << fax.DateFax();
    QCOMPARE(shown, QStringList({u"01/01/2006 01:00"_s, u"02/01/2006 01:00"_s, u"01/01/2006"_s, u"00:30"_s,
                                 u"01/01/2006 23:59"_s}));
    QCOMPARE(dayErrors.list.size(), 2);
}

void tst_FaxRecords::listTexts_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("plain") << personal();
    QStringList f = personal(u"P€1"_s);
    f[8] = u"Città e più"_s;
    QTest::newRow("code-page letters") << f;
    f = personal(QString());
    f[8] = QString();
    QTest::newRow("no key, no subject") << f;
    f = personal();
    f[6] = QString();
    QTest::newRow("no date") << f;
    f[6] = u"O1440"_s;
    QTest::newRow("date only") << f;
    f[6] = u"D1439"_s;
    QTest::newRow("time only") << f;
    f[0] = QString(300, u'x');
    f[8] = QString(2000, u'y');
    QTest::newRow("long texts") << f;
}

// The texts of a fax of a list answer are what each field gives alone, and each stays its own: changing
// one, or dropping the list, leaves the others as they were.
void tst_FaxRecords::listTexts()
{
    QFETCH(QStringList, fields);
    const QByteArray rec = record(fields);
    const QByteArray answer = "1<\xCC\xCC>\xA6" + rec + "<\xCC\xCC>";
    auto items = Proto::CaricaCollFaxItem(answer, PersonalList, {});
    QCOMPARE(items->Count(), 1);
    const FaxItem &fax = *items->Item(1);
    QString dateFax, dateOrder;
    QVERIFY(Proto::decodeDateFax(wire(fields[6]), dateFax));
    QVERIFY(Proto::decodeDateOrder(wire(fields[6]), dateOrder));
    const QStringList expected = {fields[0], dateFax, dateOrder, fields[8]};
    const QStringList got = {fax.IdFax(), fax.DateFax(), fax.DateOrder(), fax.Subject()};
    QCOMPARE(got, expected);
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].isNull(), expected[i].isEmpty());
        if (!got[i].isNull())
            QCOMPARE(got[i].utf16()[got[i].size()], u'\0');
    }
    const auto single = Proto::CreaFaxItem(rec, PersonalList, {});
    QVERIFY(single);
    QCOMPARE(QStringList({single->IdFax(), single->DateFax(), single->DateOrder(), single->Subject()}), got);

    QString id = fax.IdFax();
    id += u"-1"_s;
    QString subject = fax.Subject();
    subject.prepend(u"Re: "_s);
    QString order = fax.DateOrder();
    order[0] = u'#';
    QCOMPARE(QStringList({fax.IdFax(), fax.DateFax(), fax.DateOrder(), fax.Subject()}), expected);
    QCOMPARE(items->Item(fields[0].isEmpty() ? u"-"_s : fields[0]) != nullptr, !fields[0].isEmpty());
    QString kept = fax.Subject();
    QString keptDate = fax.DateFax();
    items.reset();
    QCOMPARE(kept, fields[8]);
    QCOMPARE(keptDate, dateFax);
    kept.append(u"!"_s);
    QCOMPARE(kept, fields[8] + u"!"_s);
    QCOMPARE(id, fields[0] + u"-1"_s);
    QCOMPARE(subject, u"Re: "_s + fields[8]);
}

// Lists large enough for the big slabs, read while another is held and after one went: each holds its
// own faxes, and texts kept from a list gone stay as they were while its room serves the next.
void tst_FaxRecords::largeListsOneAfterAnother()
{
    const auto answer = [](int records, const QString &tag) {
        QByteArray data = QByteArray::number(records) + "<\xCC\xCC>";
        for (int i = 0; i < records; ++i) {
            QStringList f = personal(tag + QString::number(i));
            f[8] = tag + u" oggetto "_s + QString::number(i);
            f[6] = QString::number(i * 7);
            data += "\xA6" + record(f) + "<\xCC\xCC>";
        }
        return data;
    };
    const int records = 40000;
    auto first = Proto::CaricaCollFaxItem(answer(records, u"A"_s), PersonalList, {});
    auto second = Proto::CaricaCollFaxItem(answer(records, u"B"_s), PersonalList, {});
    const QString keptSubject = first->Item(records)->Subject();
    const QString keptDate = first->Item(records)->DateFax();
    first.reset();
    auto third = Proto::CaricaCollFaxItem(answer(records, u"C"_s), PersonalList, {});
    QCOMPARE(keptSubject, u"A oggetto %1"_s.arg(records - 1));
    QString expectedDate;
    QVERIFY(Proto::decodeDateFax(QByteArray::number((records - 1) * 7), expectedDate));
    QCOMPARE(keptDate, expectedDate);
    for (const auto &[list, tag] : {std::pair{second.get(), u"B"_s}, std::pair{third.get(), u"C"_s}}) {
        QCOMPARE(list->Count(), records);
        for (int i = 0; i < records; i += 997) {
            const FaxItem *fax = list->Item(tag.toLower() + QString::number(i));
            QVERIFY(fax);
            QCOMPARE(fax->Subject(), tag + u" oggetto "_s + QString::number(i));
            QCOMPARE(fax->ToCompany(), u"ACME"_s);
        }
    }
}

void tst_FaxRecords::listAnswerBadCount()
{
    Errors errs;
    const auto items = Proto::CaricaCollFaxItem(wire(u"tanti<ÌÌ>¦P1¦1<ÌÌ>"_s), PersonalList, errs.sink());
    QVERIFY(items);
    QCOMPARE(items->Count(), 0);
    QCOMPARE(errs.list.size(), 1);
    QCOMPARE(errs.list.first().source, u"CaricaCollFaxItem : tanti"_s);
    QCOMPARE(errs.list.first().number, 13);
}

void tst_FaxRecords::listFromName()
{
    QCOMPARE(Proto::ListFromName(u"INOLTRO"), Forwardlist);
    QCOMPARE(Proto::ListFromName(u"PERSONALI"), PersonalList);
    QCOMPARE(Proto::ListFromName(u"SPEDITI"), SentList);
    QCOMPARE(Proto::ListFromName(u"CANCELLATI"), DeletedList);
    QCOMPARE(Proto::ListFromName(u"spediti"), NullList);
    QCOMPARE(Proto::ListFromName(u"SPEDITI_INC"), NullList);
    QCOMPARE(Proto::ListFromName(u""), NullList);
}

void tst_FaxRecords::properties_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("listKind"); // -1: not set
    QTest::addColumn<QString>("sentDate");
    QTest::addColumn<int>("pageSent");

    auto rec = [](const QString &list, const QString &id, const QString &date = u"12/03/2009 10.15"_s,
                  const QString &pages = u"4"_s) -> QString {
        return QStringList{list,   u"Rossi"_s, u"ACME"_s, u"0212345"_s, date,      pages, u"Offerta"_s,
                           u"2"_s, u"5"_s,     u"63"_s,   u"OK"_s,      u"9600"_s, id}
                   .join(u'¦') +
               u"<ÌÌ>"_s;
    };
    QTest::newRow("one record") << rec(u"SPEDITI"_s, u"S1"_s) << QStringList{u"S1"_s} << true << int(SentList)
                                << u"12/03/2009 10:15"_s << 4;
    QTest::newRow("other list fixes the kind, is skipped")
        << rec(u"PERSONALI"_s, u"P1"_s) + rec(u"SPEDITI"_s, u"S1"_s) << QStringList{u"S1"_s} << true
        << int(PersonalList) << u"12/03/2009 10:15"_s << 4;
    QTest::newRow("no record of eight fields")
        << u"a¦b<ÌÌ>c<ÌÌ>"_s << QStringList{} << true << -1 << QString() << 0;
    QTest::newRow("pages not a number")
        << rec(u"SPEDITI"_s, u"S1"_s, u"12/03/2009"_s, u"x"_s) << QStringList{u"S1"_s} << true
        << int(SentList) << u"12/03/2009"_s << 0;
    QTest::newRow("not a date") << rec(u"SPEDITI"_s, u"S1"_s, u"ieri"_s) << QStringList{u"S1"_s} << true
                                << int(SentList) << QString() << 4;
    QTest::newRow("short taken record is reported, the next still read")
        << u"SPEDITI¦a¦b¦c¦d¦e¦f¦g¦h<ÌÌ>"_s + rec(u"SPEDITI"_s, u"S2"_s) << QStringList{u"S2"_s} << false
        << int(SentList) << u"12/03/2009 10:15"_s << 4;
}

void tst_FaxRecords::properties()
{
    QFETCH(QString, data);
    QFETCH(QStringList, ids);
    QFETCH(bool, ok);
    QFETCH(int, listKind);
    QFETCH(QString, sentDate);
    QFETCH(int, pageSent);
    Errors errs;
    const auto result = Proto::CaricaDatiFax(wire(data), u"SPEDITI", errs.sink());
    QVERIFY(result.items);
    QCOMPARE(result.ok, ok);
    QCOMPARE(errs.list.size(), ok ? 0 : 1);
    if (!ok)
        QVERIFY(errs.list.first().source.startsWith(u"CaricaDatiFax: SPEDITI¦a"_s));
    QCOMPARE(result.listKindSet, listKind >= 0);
    if (listKind >= 0)
        QCOMPARE(int(result.listKind), listKind);
    QStringList got;
    for (const FaxItem &item : *result.items)
        got << item.IdFax();
    QCOMPARE(got, ids);
    if (!ids.isEmpty()) {
        const FaxItem *f = result.items->Item(1);
        QCOMPARE(f->DestName(), u"Rossi"_s);
        QCOMPARE(f->SentDate(), sentDate);
        QCOMPARE(f->PageSent(), pageSent);
        QCOMPARE(f->Retries(), 2);
        QCOMPARE(f->TotalPages(), 5);
        QCOMPARE(f->Duration(), 63);
        QCOMPARE(f->status(), u"OK"_s);
        QCOMPARE(f->Speed(), 9600);
        QVERIFY(!f->Read());
        QVERIFY(f->DateFax().isEmpty());
    }
}

QTEST_GUILESS_MAIN(tst_FaxRecords)
#include "tst_faxrecords.moc"
