#include "Protocol.h"
#include "collFaxOut.h"
#include "faxOut.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_FaxOut : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void files_data();
    void files();
    void fileSendingFollowsIndex();
    void fieldBlockOfEmptyFax();
    void fieldBlockOrder();
    void unsafeFields();
    void queueKeys();
};

void tst_FaxOut::files_data()
{
    QTest::addColumn<QStringList>("allFaxFiles"); // set in turn
    QTest::addColumn<QString>("cover");
    QTest::addColumn<QStringList>("sequence"); // NextFiletoSend results, "*" marks the cover page

    QTest::newRow("documents then cover")
        << QStringList{u"/a.tif+/b.pdf"_s} << u"/cover.cov"_s
        << QStringList{u"/a.tif"_s, u"/b.pdf"_s, u"*/cover.cov"_s, QString(), QString()};
    QTest::newRow("empty pieces skipped") << QStringList{u"+/a.tif++/b.pdf+"_s} << QString()
                                          << QStringList{u"/a.tif"_s, u"/b.pdf"_s, QString()};
    QTest::newRow("no documents, cover at once")
        << QStringList{QString()} << u"/c.cov"_s << QStringList{u"*/c.cov"_s, QString()};
    QTest::newRow("nothing at all") << QStringList{QString()} << QString()
                                    << QStringList{QString(), QString()};
    QTest::newRow("blank cover is no cover")
        << QStringList{u"/a.tif"_s} << u"   "_s << QStringList{u"/a.tif"_s, QString()};
    QTest::newRow("set twice keeps both") << QStringList{u"/a.tif"_s, u"/b.tif+/c.tif"_s} << QString()
                                          << QStringList{u"/a.tif"_s, u"/b.tif"_s, u"/c.tif"_s, QString()};
}

void tst_FaxOut::files()
{
    QFETCH(QStringList, allFaxFiles);
    QFETCH(QString, cover);
    QFETCH(QStringList, sequence);
    faxOut fax;
    QCOMPARE(fax.idxFileSending(), 0);
    for (const QString &text : allFaxFiles)
        fax.setAllFaxFiles(text);
    QCOMPARE(fax.idxFileSending(), -1);
    fax.setCoverPage(cover);
    QStringList got;
    for (qsizetype i = 0; i < sequence.size(); ++i) {
        bool isCover = false;
        const QString f = fax.NextFiletoSend(isCover);
        got << (isCover ? u"*"_s + f : f);
    }
    QCOMPARE(got, sequence);
}

void tst_FaxOut::fileSendingFollowsIndex()
{
    faxOut fax;
    fax.setAllFaxFiles(u"/a.tif"_s);
    fax.setCoverPage(u"/c.cov"_s);
    QCOMPARE(fax.FileSending(), QString());
    bool isCover = false;
    fax.NextFiletoSend(isCover);
    QCOMPARE(fax.FileSending(), u"/a.tif"_s);
    fax.NextFiletoSend(isCover);
    QVERIFY(isCover);
    QCOMPARE(fax.FileSending(), u"/c.cov"_s);
    isCover = false;
    QCOMPARE(fax.NextFiletoSend(isCover), QString());
    QVERIFY(!isCover);
    QCOMPARE(fax.FileSending(), QString());
}

void tst_FaxOut::fieldBlockOfEmptyFax()
{
    faxOut fax;
    const QStringList fields =
        Proto::BuildFaxFields(fax, Proto::FaxCodeSend).split(Proto::FaxFieldSeparatorText);
    QStringList expected{u"0"_s};
    expected << QString() << QString() << QString() << u"0"_s << u"0"_s;
    for (int i = 7; i <= 18; ++i)
        expected << QString();
    expected << u"False"_s << u"1"_s << u"1"_s << u"255"_s << u"True"_s << QString() << QString() << u"0"_s
             << QString() << QString() << u"F"_s;
    QCOMPARE(fields.size(), 29);
    QCOMPARE(fields, expected);
}

void tst_FaxOut::fieldBlockOrder()
{
    faxOut fax;
    fax.setUser(-3);
    fax.setAppName(u"Sendora"_s);
    fax.setAllFaxFiles(u"/a.tif+/b.tif"_s);
    fax.setSendRes(u"1"_s);
    fax.setRetries(3);
    fax.setRetryDelay(10);
    fax.setSendDate(u"09-12-2026"_s);
    fax.setSendTime(u"08:05:00"_s);
    fax.setFromLine(u"Mario"_s);
    fax.setFromComp(u"ACME"_s);
    fax.setFromPhon(u"02111"_s);
    fax.setFromFax(u"02222"_s);
    fax.setDestName(u"Anna;Bruno"_s);
    fax.setToCompany(u"X;Y"_s);
    fax.setDestFax(u"0333;0444"_s);
    fax.setSubject(u"Offerta"_s);
    fax.setF_Extra(u"Nota"_s);
    fax.setCoverPage(u"/c.cov"_s);
    fax.setSentDate(u"01/02/2026"_s);
    fax.setSentTime(u"10:00"_s);
    fax.setTotalPages(2);
    fax.setRemoteID(u"REM"_s);
    fax.setStatusFax(u"OK"_s);
    fax.setRead(true);
    const QString block = Proto::BuildFaxFields(fax, Proto::FaxCodeReceived);
    QCOMPARE(block,
             u"-3<¿>Sendora<¿>/a.tif+/b.tif<¿>1<¿>3<¿>10<¿>09-12-2026<¿>08:05:00<¿>Mario<¿>ACME<¿>02111"
             u"<¿>02222<¿>Anna;Bruno<¿>X;Y<¿>0333;0444<¿>Offerta<¿>Nota<¿>/c.cov<¿>False<¿>1<¿>1<¿>4<¿>True"
             u"<¿>01/02/2026<¿>10:00<¿>2<¿>REM<¿>OK<¿>V"_s);
    QCOMPARE(Proto::bytes(block).count("<\xBF>"), 28);
}

void tst_FaxOut::unsafeFields()
{
    faxOut fax;
    QVERIFY(Proto::unsafeFaxFields(fax).isEmpty());
    fax.setSubject(u"a<¿>b"_s);
    fax.setF_Extra(u"x<#>y"_s);
    fax.setDestName(u"z<§>"_s);
    fax.setFromLine(u"<ok>"_s);
    QCOMPARE(Proto::unsafeFaxFields(fax), (QStringList{u"DestName"_s, u"Subject"_s, u"F_Extra"_s}));
}

void tst_FaxOut::queueKeys()
{
    collFaxOut queue;
    auto first = std::make_unique<faxOut>();
    first->setKeyFax(u"host value"_s);
    first->setStatus(stOK);
    faxOut *a = queue.Add(std::move(first), stWaiting);
    QVERIFY(a);
    const qint32 n = queue.Last();
    QCOMPARE(a->KeyFax(), u"#"_s + QString::number(n));
    QCOMPARE(a->status(), stWaiting);
    faxOut *b = queue.Add(std::make_unique<faxOut>(), stWaiting);
    QCOMPARE(b->KeyFax(), u"#"_s + QString::number(n + 1));
    QCOMPARE(queue.Item(b->KeyFax()), b);
    QVERIFY(queue.Remove(a->KeyFax()));
    QCOMPARE(queue.Count(), 1);
    // The counter runs on after removals: keys are never reused.
    QCOMPARE(queue.Add(std::make_unique<faxOut>())->KeyFax(), u"#"_s + QString::number(n + 2));
    QVERIFY(!queue.Add(nullptr));

    // A second control's queue continues the same count.
    collFaxOut other;
    QCOMPARE(other.Add(std::make_unique<faxOut>())->KeyFax(), u"#"_s + QString::number(n + 3));
}

QTEST_GUILESS_MAIN(tst_FaxOut)
#include "tst_faxout.moc"
