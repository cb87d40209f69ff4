#include "VCardBook.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestVCardBook : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
    }

    // A damaged file: what can be read is read, the problems are named, and the first save keeps the
    // original beside the new file.
    void damagedFileKeepsOriginal()
    {
        LocalAddressBook book;
        const QByteArray damaged =
            "garbage before\r\nBEGIN:VCARD\r\nFN:Uno\r\nsenza due punti\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nFN:Due\r\n";
        {
            QFile f(book.path());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(damaged);
        }
        QVERIFY(book.load());
        QCOMPARE(book.count(), 2);
        QCOMPARE(book.problems().size(), 3);
        QVERIFY2(book.problems().value(0).startsWith(u"Riga 1: testo fuori da una scheda"_s),
                 qPrintable(book.problems().value(0)));
        QVERIFY2(book.problems().value(1).startsWith(u"Riga 4: riga non valida"_s), qPrintable(book.problems().value(1)));
        QCOMPARE(book.contacts()[0].otherLines, QStringList{u"X-QUORIN-RIGA:senza due punti"_s});
        LocalContact c;
        c.displayName = u"Tre"_s;
        book.add(c);
        QVERIFY(book.save());
        QFile bak(book.path() + u".bak"_s);
        QVERIFY(bak.open(QIODevice::ReadOnly));
        QCOMPARE(bak.readAll(), damaged);

        LocalAddressBook again;
        QVERIFY(again.load());
        QCOMPARE(again.problems().size(), 2); // the kept lines, still not understood
        QCOMPARE(again.count(), 3);
        QVERIFY(!again.contacts()[2].uid.isEmpty());
        QVERIFY(again.remove(0));
        QVERIFY(!again.remove(5));
        QVERIFY(again.save());
        LocalAddressBook third;
        QVERIFY(third.load());
        QCOMPARE(third.contacts()[0].displayName, u"Due"_s);
        // The text before the deleted card stays where it was.
        QFile kept(book.path());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY(kept.readAll().startsWith("garbage before\r\nBEGIN:VCARD\r\n"));
    }

    void missingFileIsEmptyBook()
    {
        LocalAddressBook book(m_home.filePath(u"nothing.vcf"_s));
        QVERIFY(book.load());
        QCOMPARE(book.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestVCardBook)
#include "tst_vcardbook.moc"
