#include "CollFaxesSelected.h"
#include "Collection.h"
#include "ContactsItem.h"
#include "ItemFrmForward.h"
#include "NodeItem.h"
#include "Protocol.h"

#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QByteArray wire(const QString &text)
{
    return Proto::bytes(text);
}

struct Errors
{
    QList<ParseError> list;
    ErrorSink sink()
    {
        return [this](const ParseError &e) { list.append(e); };
    }
};

QString contact(const QString &name, const QString &id, const QString &pub)
{
    return QStringList{name,       u"Rossi"_s, u"Via Roma 1"_s, u"20100"_s, u"Milano"_s,    u"MI"_s,
                       u"02123"_s, u"02456"_s, u"02789"_s,      u"ACME"_s,  u"m@acme.it"_s, id,
                       pub}
               .join(u'¦') +
           u"<ÌÌ>"_s;
}

} // namespace

class tst_DataRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void collection();
    void selectedKeys();
    void tree_data();
    void tree();
    void forward_data();
    void forward();
    void checkedIds();
    void contacts_data();
    void contacts();
    void contactRequest();
};

void tst_DataRecords::collection()
{
    Collection<NodeItem> c;
    auto make = [](const QString &d) {
        auto n = std::make_unique<NodeItem>();
        n->setDescription(d);
        return n;
    };
    QVERIFY(c.Add(make(u"a"_s), u"K1"_s));
    QVERIFY(c.Add(make(u"b"_s)));
    QVERIFY(c.Add(make(u"c"_s), u"K3"_s));
    QVERIFY(!c.Add(make(u"dup"_s), u"k1"_s)); // keys ignore case
    QVERIFY(!c.Add(nullptr));
    QCOMPARE(c.Count(), 3);
    QCOMPARE(c.Item(1)->Description(), u"a"_s);
    QCOMPARE(c.Item(u"K3"_s)->Description(), u"c"_s);
    QVERIFY(!c.Item(0));
    QVERIFY(!c.Item(4));
    QVERIFY(!c.Item(u"nope"_s));
    NodeItem *third = c.Item(3);
    QVERIFY(c.Remove(u"K1"_s));
    QVERIFY(!c.Remove(u"K1"_s));
    QVERIFY(!c.Remove(9));
    QCOMPARE(c.Item(2), third);                // addresses stay put
    QVERIFY(c.Add(make(u"again"_s), u"K1"_s)); // a removed key is free again
    QStringList order;
    for (const NodeItem &n : std::as_const(c))
        order << n.Description();
    QCOMPARE(order, (QStringList{u"b"_s, u"c"_s, u"again"_s}));
    QVERIFY(c.Remove(1));
    QCOMPARE(c.Item(1)->Description(), u"c"_s);
    // Many at once: the others keep their order, addresses and keys; the keys of those gone are free.
    QVERIFY(c.Add(make(u"d"_s), u"K4"_s));
    NodeItem *kept = c.Item(u"K4"_s);
    QCOMPARE(c.removeIf([](const NodeItem &n) { return n.Description() != u"d"_s; }), 2);
    QCOMPARE(c.Count(), 1);
    QCOMPARE(c.Item(1), kept);
    QVERIFY(!c.Item(u"K3"_s) && !c.Item(u"K1"_s));
    QVERIFY(c.Add(make(u"e"_s), u"k3"_s));
    QCOMPARE(c.removeIf([](const NodeItem &) { return false; }), 0);
    QCOMPARE(c.Item(u"K4"_s), kept);

    // Many keys, items made in the collection's own slabs, removals from the middle: every other key
    // is still found, wherever its probe run was cut.
    Collection<NodeItem> big;
    big.reserve(qsizetype(4 * CollectionSlabs::LargeBytes / sizeof(NodeItem))); // the large slabs
    const int n = 3000;
    for (int i = 0; i < n; ++i) {
        auto item = big.make();
        item->setDescription(QString::number(i));
        QVERIFY(big.Add(std::move(item), u"Key"_s + QString::number(i)));
    }
    QVERIFY(!big.Add(big.make(), u"KEY17"_s)); // a refused item made here goes back quietly
    for (int i = 0; i < n; i += 3)
        QVERIFY(big.Remove(u"key"_s + QString::number(i)));
    QVERIFY(big.Remove(1)); // "1"
    QCOMPARE(big.Count(), n - n / 3 - 1);
    const auto endsIn5 = [](const NodeItem &item) { return item.Description().endsWith(u'5'); };
    const qsizetype in5 = std::count_if(big.begin(), big.end(), endsIn5);
    QCOMPARE(big.removeIf(endsIn5), in5);
    QCOMPARE(big.Count(), n - n / 3 - 1 - in5);
    for (int i = 0; i < n; ++i) {
        const bool present = i % 3 != 0 && i != 1 && i % 10 != 5;
        NodeItem *item = big.Item(u"KEY"_s + QString::number(i));
        QVERIFY2(bool(item) == present, qPrintable(QString::number(i)));
        if (item)
            QCOMPARE(item->Description(), QString::number(i));
    }
    // Moved as a whole, the items stay where they are; the one moved over lets its own go.
    NodeItem *some = big.Item(u"key2"_s);
    Collection<NodeItem> other;
    other.Add(other.make(), u"x"_s);
    other = std::move(big);
    QCOMPARE(other.Item(u"KEY2"_s), some);
    QVERIFY(!other.Item(u"x"_s));
    Collection<NodeItem> moved(std::move(other));
    QCOMPARE(moved.Item(u"key2"_s), some);
    QVERIFY(other.isEmpty() && !other.Item(u"key2"_s));
    QVERIFY(other.Add(other.make(), u"key2"_s));

    // Loaded in one go: a key met before (in any case) leaves its later item out, as Add does.
    Collection<NodeItem> loaded;
    QVERIFY(loaded.Add(make(u"first"_s), u"A"_s));
    const QString keys[] = {u"b"_s, u"a"_s, QString(), u"B"_s, u"c"_s, QString()};
    for (const QString &key : keys) {
        auto item = loaded.make();
        item->setDescription(key.isNull() ? u"-"_s : key);
        loaded.appendUnsettled(std::move(item), key);
    }
    loaded.settleKeys();
    QStringList texts;
    for (const NodeItem &item : std::as_const(loaded))
        texts << item.Description();
    QCOMPARE(texts, (QStringList{u"first"_s, u"b"_s, u"-"_s, u"c"_s, u"-"_s}));
    QCOMPARE(loaded.Item(u"C"_s), loaded.Item(4));
    QCOMPARE(loaded.Item(u"a"_s)->Description(), u"first"_s);
    QVERIFY(loaded.Remove(u"b"_s));
    QCOMPARE(loaded.Item(u"c"_s), loaded.Item(3));
}

void tst_DataRecords::selectedKeys()
{
    CollFaxesSelected sel;
    QCOMPARE(sel.keyList(), QString());
    QVERIFY(sel.Add(u"12"_s));
    QVERIFY(sel.Add(u"15"_s));
    QVERIFY(!sel.Add(u"12"_s));
    QCOMPARE(sel.Count(), 2);
    QCOMPARE(sel.keyList(), u"(12, 15)"_s);
    QCOMPARE(sel.Item(2), u"15"_s);
    QCOMPARE(sel.ItemKey(u"15"_s), u"15"_s);
    QCOMPARE(sel.Item(u"15"_s), u"15"_s);
    QCOMPARE(sel.Item(u"16"_s), QString());
    QCOMPARE(sel.Item(3), QString());
    sel.RemoveKey(u"99"_s);
    QCOMPARE(sel.Count(), 2);
    sel.Remove(1);
    QCOMPARE(sel.keyList(), u"(15)"_s);
    QVERIFY(sel.Add(u"12"_s));
    sel.RemoveAll();
    QCOMPARE(sel.Count(), 0);
    QCOMPARE(sel.keyList(), QString());
}

void tst_DataRecords::tree_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("nodes"); // "parent|children|description|shared"
    QTest::addColumn<int>("errors");

    QTest::newRow("two folders") << u"1<#>5<#>Clienti<#>V<#>5<#>6<#>Fornitori<#>F"_s
                                 << QStringList{u"1|5|Clienti|1"_s, u"5|6|Fornitori|0"_s} << 0;
    QTest::newRow("shared only with V")
        << u"1<#>5<#>A<#>T<#>1<#>6<#>B<#>v"_s << QStringList{u"1|5|A|0"_s, u"1|6|B|0"_s} << 0;
    QTest::newRow("empty") << QString() << QStringList{} << 0;
    QTest::newRow("two pieces") << u"1<#>2"_s << QStringList{} << 0;
    QTest::newRow("trailing separator") << u"1<#>5<#>A<#>V<#>"_s << QStringList{u"1|5|A|1"_s} << 1;
    QTest::newRow("group cut short") << u"1<#>5<#>A"_s << QStringList{} << 1;
    QTest::newRow("second number not a number")
        << u"1<#>5<#>A<#>V<#>1<#>x<#>B<#>V<#>1<#>7<#>C<#>V"_s << QStringList{u"1|5|A|1"_s} << 1;
    QTest::newRow("parent by its leading number")
        << u"3abc<#>5<#>A<#>V<#>x<#>6<#>B<#>F"_s << QStringList{u"3|5|A|1"_s, u"0|6|B|0"_s} << 0;
    QTest::newRow("windows-1252 name") << u"1<#>5<#>Caffè<#>F"_s << QStringList{u"1|5|Caffè|0"_s} << 0;
}

void tst_DataRecords::tree()
{
    QFETCH(QString, data);
    QFETCH(QStringList, nodes);
    QFETCH(int, errors);
    Errors errs;
    const auto tree = Proto::ChildrenRs(wire(data), errs.sink());
    QVERIFY(tree);
    QStringList got;
    for (const NodeItem &n : *tree)
        got << u"%1|%2|%3|%4"_s.arg(n.Parent()).arg(n.Children()).arg(n.Description()).arg(int(n.IsShared()));
    QCOMPARE(got, nodes);
    QCOMPARE(errs.list.size(), errors);
    if (errors)
        QCOMPARE(errs.list.first().source, u"ChildrenRs"_s);
}

void tst_DataRecords::forward_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("users");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("items"); // "IdItem|Code|Name|checked|KeyFax|Mail|OnlyMsg|Group"

    const QString rossi = u"<#>U12<#>0012<#>Rossi<#>True<#>(345)<#>rossi@acme.it<#>False<ÌÌ>"_s;
    const QString bianchi = u"<#>U13<#>0013<#>Bianchi<#>true<#>(345)<#><#>True<ÌÌ>"_s;
    QTest::newRow("users") << rossi + bianchi << true << true
                           << QStringList{u"12|0012|Rossi|1|(345)|rossi@acme.it|0|"_s,
                                          u"13|0013|Bianchi|0|(345)||1|"_s};
    QTest::newRow("groups") << u"<#>G4<#>004<#>Vendite<#>False<#>(345)<#>Rossi, Bianchi<ÌÌ>"_s << false
                            << true << QStringList{u"4|004|Vendite|0|(345)||0|Rossi, Bianchi"_s};
    QTest::newRow("record without pieces gives a blank item")
        << u"x<ÌÌ>"_s + rossi << true << true
        << QStringList{u"|||0|||0|"_s, u"12|0012|Rossi|1|(345)|rossi@acme.it|0|"_s};
    QTest::newRow("text after the last record ignored")
        << rossi + u"<#>U14"_s << true << true << QStringList{u"12|0012|Rossi|1|(345)|rossi@acme.it|0|"_s};
    QTest::newRow("same id twice gives no list") << rossi + rossi << true << false << QStringList{};
    QTest::newRow("users record too short")
        << u"<#>U1<#>1<#>A<#>True<#>(1)<#>m<ÌÌ>"_s << true << false << QStringList{};
    QTest::newRow("groups record too short")
        << u"<#>G1<#>1<#>A<#>True<#>(1)<ÌÌ>"_s << false << false << QStringList{};
    QTest::newRow("empty") << QString() << true << true << QStringList{};
}

void tst_DataRecords::forward()
{
    QFETCH(QString, data);
    QFETCH(bool, users);
    QFETCH(bool, ok);
    QFETCH(QStringList, items);
    Errors errs;
    const auto list = Proto::parseFrmForward(wire(data), users, errs.sink());
    QCOMPARE(bool(list), ok);
    QCOMPARE(errs.list.size(), ok ? 0 : 1);
    if (!ok)
        return;
    QStringList got;
    for (const ItemFrmForward &i : *list)
        got << u"%1|%2|%3|%4|%5|%6|%7|%8"_s.arg(i.IdItem(), i.Code(), i.Name())
                   .arg(int(i.IsChecked()))
                   .arg(i.KeyFax(), i.Mail())
                   .arg(int(i.OnlyMsg()))
                   .arg(i.GroupComponents());
    QCOMPARE(got, items);
    for (const ItemFrmForward &i : *list) {
        if (!i.IdItem().isEmpty())
            QCOMPARE(list->ItemKey(i.IdItem()), &i);
    }
}

void tst_DataRecords::checkedIds()
{
    ListItemFrmForward list;
    for (const char *id : {"1", "5", "7"}) {
        auto item = std::make_unique<ItemFrmForward>();
        item->setIdItem(QString::fromLatin1(id));
        item->setIsChecked(qstrcmp(id, "5") != 0);
        list.Add(std::move(item), QString::fromLatin1(id));
    }
    QCOMPARE(list.checkedIds(), u"<#>1<#>7"_s);
    for (ItemFrmForward &i : list)
        i.setIsChecked(false);
    QCOMPARE(list.checkedIds(), QString());
}

void tst_DataRecords::contacts_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("canRead");
    QTest::addColumn<QStringList>("names"); // "FirstName|IdContatto|public"
    QTest::addColumn<int>("errors");

    const QString both = contact(u"Anna"_s, u"7"_s, u"F"_s) + contact(u"Bruno"_s, u"8"_s, u"V"_s);
    QTest::newRow("with read right") << both << true << QStringList{u"Anna|7|0"_s, u"Bruno|8|1"_s} << 0;
    QTest::newRow("without read right only private") << both << false << QStringList{u"Anna|7|0"_s} << 0;
    QTest::newRow("id not a number is skipped, not blank")
        << contact(u"Carla"_s, u"x"_s, u"F"_s) + both << true << QStringList{u"Anna|7|0"_s, u"Bruno|8|1"_s}
        << 1;
    QTest::newRow("short record is skipped")
        << u"Dario¦Neri<ÌÌ>"_s + both << true << QStringList{u"Anna|7|0"_s, u"Bruno|8|1"_s} << 1;
    QTest::newRow("public from first character")
        << contact(u"Ezio"_s, u"9"_s, u"Vero"_s) << true << QStringList{u"Ezio|9|1"_s} << 0;
    QTest::newRow("id beyond 32 bits")
        << contact(u"Fabio"_s, u"99999999999"_s, u"F"_s) << true << QStringList{} << 1;
    QTest::newRow("unclosed record not read")
        << contact(u"Gino"_s, u"1"_s, u"F"_s).chopped(4) << true << QStringList{} << 0;
}

void tst_DataRecords::contacts()
{
    QFETCH(QString, data);
    QFETCH(bool, canRead);
    QFETCH(QStringList, names);
    QFETCH(int, errors);
    Errors errs;
    Proto::BookRights rights;
    rights.read = canRead;
    rights.add = true;
    const auto book = Proto::parsePhoneBook(wire(data), rights, errs.sink());
    QVERIFY(book);
    QCOMPARE(book->CanRead(), canRead);
    QVERIFY(book->CanAdd());
    QVERIFY(!book->CanModify() && !book->CanDelete());
    QStringList got;
    for (const ContactsItem &c : *book)
        got << u"%1|%2|%3"_s.arg(c.FirstName()).arg(c.IdContatto()).arg(int(c.IsPublic()));
    QCOMPARE(got, names);
    QCOMPARE(errs.list.size(), errors);
    if (errors)
        QVERIFY(errs.list.first().source.startsWith(u"CreaContactsItem : "_s));
    if (!names.isEmpty()) {
        const ContactsItem *c = book->Item(1);
        QCOMPARE(c->Surname(), u"Rossi"_s);
        QCOMPARE(c->Address(), u"Via Roma 1"_s);
        QCOMPARE(c->ZipCode(), u"20100"_s);
        QCOMPARE(c->City(), u"Milano"_s);
        QCOMPARE(c->Provincia(), u"MI"_s);
        QCOMPARE(c->TelePhone(), u"02123"_s);
        QCOMPARE(c->TelePhone2(), u"02456"_s);
        QCOMPARE(c->FaxNumber(), u"02789"_s);
        QCOMPARE(c->Company(), u"ACME"_s);
        QCOMPARE(c->email(), u"m@acme.it"_s);
    }
}

void tst_DataRecords::contactRequest()
{
    ContactsItem c;
    c.setFirstName(u"Anna"_s);
    c.setCompany(u"ACME"_s);
    c.setEmail(u"a@b.it"_s);
    c.setIsPublic(true);
    QCOMPARE(Proto::contactRequestData(c), u"Anna<#><#><#><#><#><#><#><#><#>ACME<#>a@b.it<#>V"_s);
}

QTEST_GUILESS_MAIN(tst_DataRecords)
#include "tst_datarecords.moc"
