#include "Recipients.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const PickedList Picked = {{u"Daviv Azivo"_s, u"021111"_s, QString()},
                           {u"Viverov Aroz"_s, u"022222"_s, u"Beta"_s},
                           {u"Senza Fax"_s, QString(), u"Gamma"_s},
                           {u"Fax Strano"_s, u"02-11"_s, QString()},
                           {u"Bianchi; Verdi"_s, u"023333"_s, u"Studio; Associato"_s},
                           {u"Bianchi"_s, u"024444"_s, QString()},
                           {u"Jose\u0301"_s, u"025555"_s, QString()},
                           {u"Bea Verdi"_s, u"+39 011 123457"_s, QString()}};

} // namespace

class TestRecipients : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void processNumbers_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("picked");
        QTest::addColumn<int>("unusable");
        QTest::addColumn<QList<RecipientRow>>("rows");
        const RecipientRow none;
        QTest::newRow("typed number takes the name boxes")
            << u" 021234 "_s << false << 0 << QList<RecipientRow>{{u"021234"_s, u"Mario"_s, u"Rossi Srl"_s}};
        QTest::newRow("inner blanks are not a number")
            << u"02 1234 5678"_s << false << 1 << QList<RecipientRow>{none};
        QTest::newRow("two picked names") << u"Daviv Azivo; Viverov Aroz"_s << true << 0
                                          << QList<RecipientRow>{{u"021111"_s, u"Daviv Azivo"_s, QString()},
                                                                 {u"022222"_s, u"Viverov Aroz"_s, u"Beta"_s}};
        QTest::newRow("unknown name then a number")
            << u"Chi; 021111"_s << true << 1
            << QList<RecipientRow>{none, {u"021111"_s, QString(), QString()}};
        QTest::newRow("picked contacts without a usable fax")
            << u"Senza Fax; Fax Strano"_s << true << 2 << QList<RecipientRow>{none, none};
        QTest::newRow("trailing separator makes an empty entry")
            << u"021111;"_s << false << 1 << QList<RecipientRow>{{u"021111"_s, QString(), QString()}, none};
        QTest::newRow("after a pick one typed number resolves by the general rule")
            << u"033"_s << true << 0 << QList<RecipientRow>{{u"033"_s, QString(), QString()}};
        QTest::newRow("names match exactly") << u"daviv azivo"_s << true << 1 << QList<RecipientRow>{none};
        QTest::newRow("two contacts with the same name keep their own numbers")
            << u"Rossi; Rossi"_s << true << 0
            << QList<RecipientRow>{{u"011"_s, u"Rossi"_s, u"Uno"_s}, {u"012"_s, u"Rossi"_s, u"Due"_s}};
        QTest::newRow("words that read as numbers are not fax numbers")
            << u"inf; nan; 1e5; infinity; 0x12"_s << false << 5 << QList<RecipientRow>(5, none);
        // A picked name is never split, even when it holds the separator itself.
        QTest::newRow("picked name holding ';' keeps its own number")
            << u"Bianchi; Verdi; Bianchi"_s << true << 0
            << QList<RecipientRow>{{u"023333"_s, u"Bianchi; Verdi"_s, u"Studio; Associato"_s},
                                   {u"024444"_s, u"Bianchi"_s, QString()}};
        QTest::newRow("the same words not picked are split")
            << u"Bianchi; Verdi"_s << false << 2 << QList<RecipientRow>{none, none};
        QTest::newRow("decomposed letters match their picked name")
            << u"Jos\u00e9"_s << true << 0 << QList<RecipientRow>{{u"025555"_s, u"Jos\u00e9"_s, QString()}};
        QTest::newRow("signs and separators still pass")
            << u"+39021; 02.11"_s << false << 0
            << QList<RecipientRow>{{u"+39021"_s, QString(), QString()}, {u"02.11"_s, QString(), QString()}};
    }
    void processNumbers()
    {
        QFETCH(QString, box);
        QFETCH(bool, picked);
        QList<RecipientRow> table;
        PickedList list = Picked;
        list += {{u"Rossi"_s, u"011"_s, u"Uno"_s}, {u"Rossi"_s, u"012"_s, u"Due"_s}};
        const int unusable = Recipients::ProcessNumbers(box, picked, picked ? list : PickedList(),
                                                        u"Mario"_s, u"Rossi Srl"_s, table);
        QTEST(unusable, "unusable");
        QTEST(table, "rows");
    }

    // The question that refuses entries names each of them.
    void refusedEntriesAreNamed()
    {
        QList<RecipientRow> table;
        QStringList refused;
        const int n = Recipients::ProcessNumbers(u"Bea Verdi; Senza Fax; 02 1234; Fax Strano; 021"_s, true,
                                                 Picked, {}, {}, table, &refused);
        QCOMPARE(n, 4);
        QCOMPARE(refused, (QStringList{u"«+39 011 123457» (Bea Verdi)"_s, u"Senza Fax (nessun numero fax)"_s,
                                       u"«02 1234»"_s, u"«02-11» (Fax Strano)"_s}));
        QCOMPARE(
            Recipients::UnusableQuestion(n, refused),
            u"Trovati 4 numeri fax a cui sarà impossibile spedire.\r\n«+39 011 123457» (Bea Verdi)\r\n"
            u"Senza Fax (nessun numero fax)\r\n«02 1234»\r\n«02-11» (Fax Strano)\r\nAnnullare la spedizione?"_s);
    }

    void proposeAppends()
    {
        const QString once = Recipients::ProposeNumbers(QString(), Picked.mid(0, 2));
        QCOMPARE(once, u"Daviv Azivo; Viverov Aroz"_s);
        QCOMPARE(Recipients::ProposeNumbers(once, Picked.mid(2, 1)),
                 u"Daviv Azivo; Viverov Aroz; Senza Fax"_s);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("date");
        QTest::newRow("day-month locale") << u"it_IT"_s << u"5/3/2007"_s << u"05-03-2007"_s;
        QTest::newRow("short form of the locale") << u"it_IT"_s << u"05/03/07"_s << u"05-03-2007"_s;
        QTest::newRow("month-day locale") << u"en_US"_s << u"3/5/2007"_s << u"05-03-2007"_s;
        QTest::newRow("ISO anywhere") << u"en_US"_s << u"2007-03-05"_s << u"05-03-2007"_s;
        QTest::newRow("not a date") << u"it_IT"_s << u"31/02/2007"_s << QString();
        QTest::newRow("text") << u"it_IT"_s << u"domani"_s << QString();
    }
    void dates()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        bool ok = false;
        const QString date = Recipients::TrasformaData(text, &ok);
        QLocale::setDefault(QLocale::c());
        QTEST(date, "date");
        QCOMPARE(ok, !date.isEmpty());
    }

    void times_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("time");
        QTest::newRow("hours and minutes") << u"9:05"_s << u"09:05:00"_s;
        QTest::newRow("with seconds") << u"23:59:58"_s << u"23:59:58"_s;
        QTest::newRow("out of range") << u"25:00"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void times()
    {
        QFETCH(QString, text);
        QTEST(Recipients::TrasformaOra(text), "time");
    }
};

QTEST_GUILESS_MAIN(TestRecipients)
#include "tst_recipients.moc"
