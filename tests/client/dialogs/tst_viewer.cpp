// The viewer window: it shows a copy of the received image of its own, its buttons give the opener the
// user's choice, and a save sends the edited image to the server as the image of the fax it shows.
#include "DialogsTestSupport.h"
#include "FakeFaxServer.h"
#include "FaxTiffFixture.h"
#include "Lumagrid.h"
#include "QuorinSock.h"
#include "clsLog.h"
#include "frmScan.h"
#include "frmVisualizzatore.h"

#include <QLayout>

#include <QPushButton>
#include <QSignalSpy>

using F = FakeFaxServer;

class tst_Viewer : public QObject
{
    Q_OBJECT

    DialogsTestHome home;
    QString m_fax;

private Q_SLOTS:
    void initTestCase()
    {
        home.setUp();
        m_fax = home.dir.filePath(u"TMPFAX.TIF"_s);
        QVERIFY(FaxTiffFixture::write(m_fax, 2, true, u"Fax di prova"_s, {u"riga uno"_s}));
    }
    void init() { Prompt::clearRecords(); }

    void opensItsOwnCopy()
    {
        frmVisualizzatore v;
        QVERIFY(v.OpenFax(m_fax));
        v.bCmdInoltra = true;
        v.show();
        screenshot(&v, u"frmVisualizzatore"_s);
        QCOMPARE(v.FileName, m_fax);
        const QString copy = v.ShownFile();
        QVERIFY(copy != m_fax);
        QVERIFY(copy.startsWith(home.dir.filePath(u"XDG_RUNTIME_DIR/quorin/"_s)));
        QCOMPARE(v.Lumagrid1->FileName(), copy);
        QCOMPARE(v.Lumagrid1->PagesNumber(), 2);
        const QByteArray original = fileBytes(m_fax);
        QCOMPARE(fileBytes(copy), original);
        QCOMPARE(v.Lumagrid1->WorkType(), Editor);

        // The next download into the received-image file does not reach the viewer.
        const QString next = home.dir.filePath(u"next.tif"_s);
        QVERIFY(FaxTiffFixture::write(next, 1, false, u"Altro fax"_s));
        QFile::remove(m_fax);
        QVERIFY(QFile::copy(next, m_fax));
        QCOMPARE(fileBytes(copy), original);
        QVERIFY(FaxTiffFixture::write(m_fax, 2, true, u"Fax di prova"_s, {u"riga uno"_s}));

        {
            frmVisualizzatore gone;
            QVERIFY(gone.OpenFax(m_fax));
            const QString shown = gone.ShownFile();
            QVERIFY(QFile::exists(shown));
            QVERIFY(!shown.isEmpty());
            gone.close();
            QVERIFY(QFile::exists(shown));
        }
        QDir runtime(home.dir.filePath(u"XDG_RUNTIME_DIR/quorin"_s));
        QCOMPARE(runtime.entryList({u"QVVIEW*"_s}, QDir::Files).size(), 1); // only v's copy is left
    }

    void notAnImage()
    {
        frmVisualizzatore v;
        QVERIFY(!v.OpenFax(home.dir.filePath(u"missing.tif"_s)));
        const QString text = home.dir.filePath(u"note.txt"_s);
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("nessuna immagine");
        f.close();
        QVERIFY(!v.OpenFax(text));
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("offerForward");
        QTest::addColumn<bool>("inoltro");
        QTest::addColumn<bool>("elimina");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Inoltra") << u"cmdInoltra"_s << true << true << false << u"/tmp/a.tif"_s
                                 << u"/tmp/a.tif"_s;
        QTest::newRow("Elimina in the trash")
            << u"cmdElimina"_s << false << false << true << u"/tmp/a.tif"_s << u"/tmp/a.tif"_s;
        QTest::newRow("Annulla") << u"cmdCancel"_s << true << false << false << u"  "_s
                                 << u"Visualizzatore Quorin"_s;
    }
    void buttons()
    {
        QFETCH(QString, button);
        QFETCH(bool, offerForward);
        QFETCH(QString, fileName);
        frmVisualizzatore v;
        v.FileName = fileName;
        v.bCmdInoltra = offerForward;
        Prompt::setDialogHandler([&](QDialog *d) {
            d->show();
            [&] {
                QFETCH(QString, caption);
                QCOMPARE(d->windowTitle(), caption);
                QCOMPARE(d->findChild<QPushButton *>(u"cmdInoltra"_s)->isVisible(), offerForward);
                QVERIFY(d->findChild<Lumagrid *>(u"Lumagrid1"_s));
                QVERIFY(d->findChild<QWidget *>(u"picBottom"_s));
            }();
            d->findChild<QPushButton *>(button)->click();
            return d->result();
        });
        Prompt::exec(&v);
        Prompt::setDialogHandler({});
        QFETCH(bool, inoltro);
        QFETCH(bool, elimina);
        QCOMPARE(v.bInoltro, inoltro);
        QCOMPARE(v.bElimina, elimina);
        QVERIFY(!v.isVisible());
    }

    void showFaxViewer_data()
    {
        QTest::addColumn<bool>("editable");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("inoltro");
        QTest::addColumn<bool>("elimina");
        QTest::newRow("personal list, Inoltra") << true << u"cmdInoltra"_s << true << false;
        QTest::newRow("trash, Elimina again") << false << u"cmdElimina"_s << false << true;
        QTest::newRow("Annulla") << true << u"cmdCancel"_s << false << false;
    }
    void showFaxViewer()
    {
        QFETCH(bool, editable);
        QFETCH(QString, button);
        int printedCount = 0;
        bool forwardOffered = false;
        Prompt::setDialogHandler([&](QDialog *d) {
            d->show();
            forwardOffered = d->findChild<QPushButton *>(u"cmdInoltra"_s)->isVisible();
            Q_EMIT d->findChild<Lumagrid *>(u"Lumagrid1"_s)->AfterPrint();
            d->findChild<QPushButton *>(button)->click();
            return d->result();
        });
        const ViewerOutcome outcome =
            ShowFaxViewer(nullptr, nullptr, m_fax, u"P7"_s, editable,
                          [&](const QString &key) { printedCount += key == u"P7"_s; });
        Prompt::setDialogHandler({});
        QFETCH(bool, inoltro);
        QFETCH(bool, elimina);
        QVERIFY(outcome.shown);
        QCOMPARE(forwardOffered, editable);
        QCOMPARE(outcome.bInoltro, inoltro);
        QCOMPARE(outcome.bElimina, elimina);
        QCOMPARE(printedCount, 1);
        QVERIFY(!ShowFaxViewer(nullptr, nullptr, home.dir.filePath(u"none.tif"_s), u"P7"_s, true).shown);
    }

    // The image windows log each resize past 1000 twips high and 3500 twips wide.
    void resizeLogLines_data()
    {
        QTest::addColumn<bool>("scan");
        QTest::addColumn<QSize>("twips");
        QTest::addColumn<QStringList>("lines");
        const QSize both(9000, 7000), low(9000, 900), small(3000, 900);
        QTest::newRow("viewer, both") << false << both << QStringList{u"img 11"_s, u"img 12"_s};
        QTest::newRow("viewer, low") << false << low << QStringList{u"img 12"_s};
        QTest::newRow("viewer, small") << false << small << QStringList{};
        QTest::newRow("scan, both") << true << both << QStringList{u"img 7"_s, u"img 8"_s};
    }
    void resizeLogLines()
    {
        QFETCH(bool, scan);
        QFETCH(QSize, twips);
        QFETCH(QStringList, lines);
        const QString logFile = home.dir.filePath(u"QuorinLog.txt"_s);
        std::unique_ptr<QDialog> window;
        if (scan)
            window = std::make_unique<frmScan>();
        else
            window = std::make_unique<frmVisualizzatore>();
        window->layout()->setSizeConstraint(QLayout::SetNoConstraint); // any size, as a user drags it
        window->setMinimumSize(1, 1);
        window->show();
        QFile::remove(logFile);
        AppLog().setFileName(logFile);
        AppLog().setLogActive(true);
        window->resize(qRound(twips.width() * window->logicalDpiX() / 1440.0),
                       qRound(twips.height() * window->logicalDpiY() / 1440.0));
        QCoreApplication::sendPostedEvents();
        AppLog().setLogActive(false);
        QStringList logged;
        for (const QByteArray &line : fileBytes(logFile).split('\n')) {
            if (!line.trimmed().isEmpty())
                logged << QString::fromUtf8(line.trimmed()).section(u" - "_s, 1);
        }
        QCOMPARE(logged, lines);
    }

    void printAndSaveBelongToTheShownFax()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        server.expect(F::answer(u"USER", u"mario"));
        server.send(F::answer(u"VERSIONI", u"1.0.0<#>2.1.0<#>2.2.0<#>2.3.0<#>0.9"));
        server.send(F::answer(u"USER", u"mario<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"));
        QuorinSock sock;
        sock.setTimeCheckServer(5000);
        QSignalSpy connected(&sock, &QuorinSock::Connected);
        sock.Connect(u"127.0.0.1"_s, server.port(), u"mario"_s);
        QVERIFY(TestWait::forSignal(connected));

        frmVisualizzatore v;
        v.setClientSock(&sock);
        v.setKeyFax(u"P101"_s);
        QVERIFY(v.OpenFax(m_fax));
        QSignalSpy printed(&v, &frmVisualizzatore::FaxPrinted);
        QSignalSpy saved(&v, &frmVisualizzatore::FaxSaved);
        QSignalSpy sent(&sock, &QuorinSock::SentFax2Server);
        Q_EMIT v.Lumagrid1->AfterPrint();
        QCOMPARE(printed.size(), 1);
        QCOMPARE(printed.first().first().toString(), u"P101"_s);

        QVERIFY(v.Lumagrid1->Save());
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().at(0).toString(), u"P101"_s);
        const QString uploadKey = saved.first().at(1).toString();
        QVERIFY(uploadKey.startsWith(u'#'));
        QUORIN_TRY_VERIFY(server.hasReceived(F::answer(u"FINEFAX", uploadKey)));
        QUORIN_TRY_COMPARE(sent.size(), 1);

        const QList<F::Frame> agg = server.receivedFrames("AGGFAX");
        QCOMPARE(agg.size(), 1);
        const QStringList fields = agg.first().text().split(u"<#>"_s);
        QCOMPARE(fields.size(), 5);
        const QString snapshot = fields.at(0);
        QVERIFY(snapshot != v.ShownFile() && snapshot != m_fax);
        QCOMPARE(fields.at(1), uploadKey);
        QCOMPARE(fields.at(3), u"P101"_s);
        QByteArray uploaded;
        for (const F::Frame &f : server.receivedFrames("FILE")) {
            const qsizetype first = f.data.indexOf("<#>");
            const qsizetype last = f.data.lastIndexOf("<#>");
            uploaded += f.data.mid(first + 3, last - first - 3);
        }
        QCOMPARE(uploaded, fileBytes(v.ShownFile()));
        // The server has the whole image: the snapshot made for the upload goes.
        QUORIN_TRY_VERIFY(!QFile::exists(snapshot));
        QVERIFY(server.errors().isEmpty());
        QVERIFY(promptTexts().isEmpty());
    }
};

QTEST_MAIN(tst_Viewer)
#include "tst_viewer.moc"
