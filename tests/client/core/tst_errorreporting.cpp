#include "ConfigIni.h"
#include "CoreTestSupport.h"
#include "ErrorReporting.h"
#include "ServerDates.h"
#include "clsLog.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_ErrorReporting : public QObject
{
    Q_OBJECT

    CoreTestHome m_home;

private Q_SLOTS:
    void initTestCase()
    {
        m_home.setUp();
        QApplication::setApplicationDisplayName(u"Quorin"_s);
    }

    void init()
    {
        Prompt::setAnswering(true);
        Err().Clear();
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    }

    void errorBoxAndLogLine()
    {
        ApplyLogSetting(true);
        QFile::resize(ConfigIni.LogPath, 0);
        ShowErrorMessage(53, u"File non trovato"_s, u"frmMain.ApriFax"_s);
        QCOMPARE(Prompt::records().size(), 1);
        const Prompt::Record box = Prompt::lastRecord();
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.title, u"Quorin"_s);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.text,
                 u"Si è verificato il seguente errore:\r\n\r\nFile non trovato\r\n\r\nNumero: 53\r\n"
                 u"Sorgente: frmMain.ApriFax"_s);
        QVERIFY(fileBytes(ConfigIni.LogPath)
                    .endsWith(" - Errore Numero: 53 - File non trovato - frmMain.ApriFax\r\n"));
        QCOMPARE(Err().Number, 53); // not cleared
        ApplyLogSetting(false);
    }

    void errorNumberZeroShowsNothing()
    {
        Err().Description = u"x"_s;
        ShowErrorMessage();
        QVERIFY(Prompt::records().isEmpty());
    }

    void mailError()
    {
        Err().Raise(ErrNumber::MailFailure, u"MAPI"_s, u"x"_s);
        QVERIFY(!ShowMailError());
        QCOMPARE(Prompt::lastRecord().text,
                 u"Errore di spedizione email.\r\n\r\nRiprovare piu tardi.\r\n\r\n"_s);
        QCOMPARE(Err().Number, 0);
        Err().Raise(7, u"MAPI"_s, u"x"_s);
        Prompt::clearRecords();
        QVERIFY(!ShowMailError());
        QVERIFY(Prompt::records().isEmpty());
        QCOMPARE(Err().Number, 7);
    }

    void italianBox()
    {
        Prompt::setNextAnswer(QMessageBox::No);
        QCOMPARE(MsgBoxEx(nullptr, u"Il Fax è stato inoltrato al server per l'invio."_s,
                          QMessageBox::Information, QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        QCOMPARE(Prompt::lastRecord().title, u"Quorin"_s);
        QMessageBox box(QMessageBox::Question, u"t"_s, u"x"_s,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(u'&'), u"Sì"_s);
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(u'&'), u"Annulla"_s);
    }

    void serverDates_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("local");
        const QLocale it(QLocale::Italian, QLocale::Italy);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("day first") << it << u"31/12/2005"_s << u"31-12-2005"_s;
        QTest::newRow("month first") << us << u"31/12/2005"_s << u"12-31-2005"_s;
        QTest::newRow("with time") << it << u"01/02/2010 09:41:07"_s << u"01-02-2010"_s;
        QTest::newRow("thirteenth month") << it << u"12/13/2005"_s << QString();
        QTest::newRow("not a date") << it << u"ab/cd/efgh"_s << QString();
        QTest::newRow("empty") << it << QString() << QString();
        QTest::newRow("29 February") << it << u"29/02/2005"_s << QString();
        QTest::newRow("two-digit year is 20yy") << it << u"31/12/05"_s << u"31-12-2005"_s;
        QTest::newRow("two-digit year 99") << it << u"01/01/99"_s << u"01-01-2099"_s;
    }
    void serverDates()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, server);
        QFETCH(QString, local);
        QLocale::setDefault(locale);
        QCOMPARE(IsDayFirstDate(), locale.language() == QLocale::Italian);
        QCOMPARE(ServerDateToLocal(server), local);
        QVERIFY(Prompt::records().isEmpty());
    }

    void fourDigitYears()
    {
        for (const QLocale &l :
             {QLocale(QLocale::Italian, QLocale::Italy), QLocale(QLocale::English, QLocale::UnitedStates),
              QLocale(QLocale::German, QLocale::Germany)}) {
            QLocale::setDefault(l);
            QVERIFY2(FormatShortDate(QDate(2026, 12, 8)).contains(u"2026"_s), qPrintable(l.name()));
        }
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
        QCOMPARE(FormatShortDate(QDate(2026, 12, 8)), u"08/12/2026"_s);
    }

    void extractTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("errorBox");
        QTest::newRow("date and time") << u"12/03/2004 09:41:07"_s << u"09:41"_s << false;
        QTest::newRow("empty") << QString() << QString() << false;
        QTest::newRow("no colon") << u"12/03/2004"_s << QString() << false;
        QTest::newRow("colon first") << u":41"_s << QString() << true;
        QTest::newRow("colon second") << u"9:41"_s << QString() << true;
    }
    void extractTime()
    {
        QFETCH(QString, text);
        QFETCH(QString, time);
        QFETCH(bool, errorBox);
        QCOMPARE(ExtractTime(text), time);
        QCOMPARE(Prompt::records().size(), errorBox ? 1 : 0);
    }
};

QTEST_MAIN(tst_ErrorReporting)
#include "tst_errorreporting.moc"
