// The main window's texts that need no server: result texts, times, captions, rows, report and mail texts.
#include "FaxItem.h"
#include "FaxListText.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace FaxListText;

class tst_FaxListText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); }

    void descrizioneEsito_data()
    {
        QTest::addColumn<QString>("esito");
        QTest::addColumn<QString>("expected");
        QTest::newRow("complete, any case, blanks") << u"  complete "_s << u"Ok"_s;
        QTest::newRow("fdcs") << u"fdcs not found"_s << u"FDCS not found"_s;
        QTest::newRow("line busy") << u"line busy"_s << u"linea occupata"_s;
        QTest::newRow("attesa invio") << u"attesa invio"_s << u"attesa invio"_s;
        QTest::newRow("unknown kept as it came") << u" Posta Elettronica "_s << u" Posta Elettronica "_s;
        QTest::newRow("empty") << QString() << QString();
    }
    void descrizioneEsito()
    {
        QFETCH(QString, esito);
        QFETCH(QString, expected);
        QCOMPARE(DescrizioneEsito(esito), expected);
    }

    void trasformaSecInTime_data()
    {
        QTest::addColumn<int>("secs");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0") << 0 << u"00:00:00"_s;
        QTest::newRow("59") << 59 << u"00:00:59"_s;
        QTest::newRow("3600") << 3600 << u"01:00:00"_s;
        QTest::newRow("3725") << 3725 << u"01:02:05"_s;
        QTest::newRow("100 hours keep two digits") << 100 * 3600 + 61 << u"00:01:01"_s;
    }
    void trasformaSecInTime()
    {
        QFETCH(int, secs);
        QFETCH(QString, expected);
        QCOMPARE(TrasformaSecInTime(secs), expected);
    }

    void caption_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("unread");
        QTest::addColumn<QString>("expected");
        QTest::newRow("received, empty") << 0 << QString() << 0 << 0 << u"Fax Ricevuti [ 0 ]"_s;
        QTest::newRow("personal in a folder")
            << 1 << u"Clienti"_s << 10 << 3 << u"Fax Personali / Clienti [ 10 ]      Da leggere [ 3]"_s;
        QTest::newRow("received in a folder")
            << 0 << u"Clienti"_s << 10 << 3 << u"Fax Ricevuti / Clienti [ 10 ]      Da leggere [ 3 ]"_s;
        QTest::newRow("-1 shows no unread part") << 0 << QString() << 4 << -1 << u"Fax Ricevuti [ 4 ]"_s;
        QTest::newRow("sent never counts unread") << 2 << QString() << 4 << 2 << u"Fax Spediti [ 4 ]"_s;
        QTest::newRow("trash") << 3 << u"Vecchi"_s << 1 << 0 << u"Cestino / Vecchi [ 1 ]"_s;
        QTest::newRow("list keyword is no folder") << 2 << u"SPEDITI"_s << 1 << 0 << u"Fax Spediti [ 1 ]"_s;
    }
    void caption()
    {
        QFETCH(int, list);
        QFETCH(QString, node);
        QFETCH(int, rows);
        QFETCH(int, unread);
        QFETCH(QString, expected);
        QCOMPARE(ListCaption(list, node, rows, unread).value_or(u"<unchanged>"_s), expected);
    }
    void captionOfNullListKeepsTheCaption() { QVERIFY(!ListCaption(99, QString(), 3, 0).has_value()); }

    void columns_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<bool>("trash");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("remote");
        QTest::newRow("received") << 0 << false << 9 << u"Mittente"_s;
        QTest::newRow("personal") << 1 << false << 9 << u"Mittente"_s;
        QTest::newRow("sent") << 2 << false << 9 << u"Destinatario"_s;
        QTest::newRow("trash") << 3 << true << 12 << u"Mitt/Dest"_s;
    }
    void columns()
    {
        QFETCH(int, list);
        QFETCH(bool, trash);
        QFETCH(int, count);
        QFETCH(QString, remote);
        const auto cols = Columns(list, trash);
        QCOMPARE(cols.size(), count);
        QCOMPARE(cols.at(2).header, remote);
        QCOMPARE(cols.at(5).header, u"Data e Ora"_s);
        QCOMPARE(cols.at(8).widthTwips, 0); // the sort key is hidden
        if (trash)
            QCOMPARE(cols.at(11).header, u"IdFaxGruppo"_s);
    }

    void statusColumn_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<int>("retryCount");
        QTest::addColumn<int>("retries");
        QTest::addColumn<bool>("pending");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sent, waiting retry")
            << 2 << 2 << 3 << true << u"attesa invio - linea occupata  al tentativo 2/4"_s;
        QTest::newRow("sent, not pending") << 2 << 2 << 3 << false << u"linea occupata"_s;
        QTest::newRow("received ignores retries") << 0 << 2 << 3 << true << u"linea occupata"_s;
    }
    void statusColumn()
    {
        QFETCH(int, list);
        QFETCH(int, retryCount);
        QFETCH(int, retries);
        QFETCH(bool, pending);
        QFETCH(QString, expected);
        FaxItem fax;
        fax.setStatus(u"line busy"_s);
        fax.setRetryCount(retryCount);
        fax.setRetries(retries);
        fax.setPending(pending);
        QCOMPARE(StatusColumn(fax, list), expected);
    }

    void dateColumn()
    {
        QCOMPARE(DateColumn(u"15/03/2024 09:41"_s), u"15/03/2024 09:41"_s);
        // Not a date: nine blanks, then the time.
        QCOMPARE(DateColumn(u"09:41"_s), u"         09:41"_s);
    }

    void reportRow()
    {
        FaxItem fax;
        fax.setSentDate(u"xx 10:20"_s);
        fax.setDestFax(u"0101"_s);
        fax.setDestName(u"Rossi"_s);
        fax.setDuration(3725);
        fax.setPageSent(2);
        fax.setTotalPages(3);
        fax.setStatus(u"complete"_s);
        const QStringList row = CaricaDati(fax);
        QCOMPARE(row.size(), 6);
        QCOMPARE(row.at(1), u"         10:20"_s);
        QCOMPARE(row.at(2), u"0101 [Rossi]"_s);
        QCOMPARE(row.at(3), u"01:02:05"_s);
        QCOMPARE(row.at(4), u"2 di 3"_s);
        QCOMPARE(row.at(5), u"complete"_s);
        QCOMPARE(ReportTitles().at(5), u"Esito"_s);
    }

    void mailText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("sub");
        QTest::addColumn<QString>("expected");
        QTest::newRow("received without date")
            << 0 << QStringList{{}, u"Ok"_s, {}, {}, {}, {}}
            << u"Hai ricevuto un nuovo fax \r\nNumero mittente non visibile.\r\n"_s;
        QTest::newRow("received with sender")
            << 1 << QStringList{{}, u"Ok"_s, u"ACME"_s, {}, {}, u"15/03/2024 09:41"_s}
            << u"Inoltro di fax ricevuto alle 09:41 del 15/03/2024\r\nMittente : ACME\r\n"_s;
        // The recipient is the remote column and the result the status column.
        QTest::newRow("sent")
            << 2 << QStringList{{}, u"Ok"_s, u"Rossi"_s, {}, u"0101"_s, {}}
            << u"Inoltro di fax spedito\r\nDestinatario : Rossi Numero : 0101\r\nEsito : Ok\r\n"_s;
        QTest::newRow("sent, nothing known")
            << 2 << QStringList{{}, u"Ok"_s, {}, {}, {}, {}}
            << u"Inoltro di fax spedito\r\nNumero destinatario non visibile.\r\nEsito : Ok\r\n"_s;
        QTest::newRow("other kind") << 3 << QStringList{} << QString();
    }
    void mailText()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, sub);
        QFETCH(QString, expected);
        QCOMPARE(ComposeFaxMailText(kind, sub), expected);
    }

    // The mail's time and date come from the date column read in the form it was written with, whatever
    // the locale's short date looks like; with no locale (C) the column is Italian.
    void mailTextInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *name : {"C", "it_IT", "hu_HU", "bg_BG", "sk_SK", "hr_HR", "sl_SI", "en_US", "de_DE"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void mailTextInEveryLocale()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(locale == u"C"_s ? QLocale::c() : QLocale(locale));
        const QString column = DateColumn(u"05/01/2025 15:36"_s);
        if (locale == u"C"_s)
            QCOMPARE(column, u"05/01/2025 15:36"_s);
        const QStringList sub{{}, u"Ok"_s, u"ACME"_s, {}, {}, column};
        QCOMPARE(ComposeFaxMailText(0, sub),
                 u"Hai ricevuto un nuovo fax  alle 15:36 del 05/01/2025\r\nMittente : ACME\r\n"_s);
        QCOMPARE(ComposeFaxMailText(1, sub),
                 u"Inoltro di fax ricevuto alle 15:36 del 05/01/2025\r\nMittente : ACME\r\n"_s);
        // A column that holds no date gives no phrase rather than a wrong one.
        QCOMPARE(ComposeFaxMailText(1, {{}, u"Ok"_s, u"ACME"_s, {}, {}, DateColumn(u"09:41"_s)}),
                 u"Inoltro di fax ricevuto\r\nMittente : ACME\r\n"_s);
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    }

    void transmissionStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected");
        QTest::newRow("known") << 14 << u"In fase di spedizione"_s;
        QTest::newRow("missing from the table shows the number") << 3 << u"3"_s;
        QTest::newRow("far out of range") << 40000 << u"40000"_s;
        QTest::newRow("negative") << -1 << u"-1"_s;
    }
    void transmissionStatus()
    {
        QFETCH(int, status);
        QFETCH(QString, expected);
        QCOMPARE(TransmissionStatus(status), expected);
    }

    void winsockStatus()
    {
        bool close = false;
        QCOMPARE(WinsockStatusText(7, u"srv"_s, &close), u"Connesso al Server: srv"_s);
        QVERIFY(!close);
        QCOMPARE(WinsockStatusText(9, u"srv"_s, &close), u"Errore durante la connessione"_s);
        QVERIFY(close);
        QCOMPARE(WinsockStatusText(0, u"srv"_s, &close), u"Connessione Chiusa"_s);
        QVERIFY(close);
        QCOMPARE(WinsockStatusText(12, u"srv"_s, &close), QString());
    }
};

QTEST_GUILESS_MAIN(tst_FaxListText)
#include "tst_faxlisttext.moc"
