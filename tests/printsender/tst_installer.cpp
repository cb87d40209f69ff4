// The printer installation wizard, with recording stand-ins for lpstat, lpadmin and systemctl on PATH.
#include "FaxPrinter.h"
#include "Prompt.h"
#include "StartupMain.h"
#include "TestHome.h"
#include "frmInst.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestInstaller : public QObject
{
    Q_OBJECT

    TestHome m_home;
    QString m_bin, m_log, m_serverBin;

    void fake(const QString &name)
    {
        QFile f(m_bin + u'/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QString var = u"FAKE_"_s + name.toUpper() + u"_EXIT"_s;
        const QByteArray say = "FAKE_" + name.toUpper().toUtf8() + "_SAY";
        f.write(("#!/bin/sh\necho \"" + name.toUtf8() + " $*\" >> \"" + QFile::encodeName(m_log) +
                 "\"\n[ -n \"$" + say + "\" ] && echo \"$" + say + "\"\nexit ${" + var.toUtf8() + ":-0}\n"));
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QStringList calls() const
    {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.setUp(TestHome::Layout::ByVariable));
        qputenv("QUORIN_SPOOL_DIR", QFile::encodeName(m_home.filePath(u"spool"_s)));
        m_bin = m_home.filePath(u"bin"_s);
        m_log = m_home.filePath(u"calls.log"_s);
        QDir().mkpath(m_bin);
        // Only the stand-ins and the shell: no real CUPS or systemd command can be reached.
        for (const QString &name : {u"lpstat"_s, u"lpadmin"_s, u"lpoptions"_s, u"systemctl"_s})
            fake(name);
        QFile::link(u"/bin/sh"_s, m_bin + u"/sh"_s);
        qputenv("PATH", QFile::encodeName(m_bin));
        m_serverBin = m_home.filePath(u"serverbin"_s);
        QDir().mkpath(m_serverBin + u"/backend"_s);
        qputenv("QUORIN_CUPS_SERVERBIN", QFile::encodeName(m_serverBin));
        qputenv("QUORIN_PPD", "/opt/q/QuorinFax.ppd");
        Prompt::setAnswering(true);
    }
    void init()
    {
        QFile::remove(m_log);
        QDir(FaxPrinter::unitDir()).removeRecursively();
        qunsetenv("FAKE_LPSTAT_EXIT");
        qunsetenv("FAKE_LPADMIN_EXIT");
        qunsetenv("FAKE_SYSTEMCTL_EXIT");
        qunsetenv("FAKE_LPOPTIONS_SAY");
        QFile backend(m_serverBin + u"/backend/quorin"_s);
        QVERIFY(backend.open(QIODevice::WriteOnly));
    }

    void install_data()
    {
        QTest::addColumn<int>("lpstat");
        QTest::addColumn<int>("lpadmin");
        QTest::addColumn<bool>("backend");
        QTest::addColumn<bool>("fitted"); // the existing queue has the fit-to-page default
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("expected");
        const QString lpadmin =
            u"lpadmin -p QuorinPrinter -E -v quorin:/ -P /opt/q/QuorinFax.ppd -D Quorin fax printer -o "
            u"printer-is-shared=false -o fit-to-page-default=true"_s;
        const QStringList watcher = {u"systemctl --user daemon-reload"_s,
                                     u"systemctl --user enable --now quorin-fax.path"_s};
        const QString lpstat = u"lpstat -p QuorinPrinter"_s;
        const QString lpoptions = u"lpoptions -p QuorinPrinter"_s;
        const QString fit = u"lpadmin -p QuorinPrinter -o fit-to-page-default=true"_s;
        QTest::newRow("absent: installed")
            << 1 << 0 << true << false << u"Stampante installata correttamente"_s
            << (QStringList{lpstat, lpadmin} + watcher);
        // A second user, or an install that stopped half way: the queue is there, the watcher is made.
        QTest::newRow("present: watcher made")
            << 0 << 0 << true << true << u"Stampante già presente: invio dei documenti stampati attivato."_s
            << (QStringList{lpstat, lpoptions} + watcher);
        // A queue made before it fits pages gets the default.
        QTest::newRow("present without fit: fitted")
            << 0 << 0 << true << false << u"Stampante già presente: invio dei documenti stampati attivato."_s
            << (QStringList{lpstat, lpoptions, fit} + watcher);
        // An ordinary user may not change it: the queue works, the notice says what to run.
        QTest::newRow("present without fit: refused")
            << 0 << 1 << true << false
            << u"Eseguire come amministratore:\nsudo lpadmin -p QuorinPrinter -o fit-to-page-default=true"_s
            << (QStringList{lpstat, lpoptions, fit} + watcher);
        QTest::newRow("lpadmin fails")
            << 1 << 1 << true << false << u"sudo lpadmin -p QuorinPrinter"_s << QStringList{lpstat, lpadmin};
        QTest::newRow("backend missing")
            << 1 << 0 << false << false << u"/backend/quorin"_s << QStringList{lpstat};
        // A queue left by an install that stopped half way, without its backend, would lose every job.
        QTest::newRow("present, backend missing")
            << 0 << 0 << false << false << u"/backend/quorin"_s << QStringList{lpstat};
    }
    void install()
    {
        QFETCH(int, lpstat);
        QFETCH(int, lpadmin);
        QFETCH(bool, backend);
        QFETCH(bool, fitted);
        QFETCH(QString, result);
        QFETCH(QStringList, expected);
        qputenv("FAKE_LPSTAT_EXIT", QByteArray::number(lpstat));
        qputenv("FAKE_LPADMIN_EXIT", QByteArray::number(lpadmin));
        if (fitted)
            qputenv("FAKE_LPOPTIONS_SAY",
                    "copies=1 device-uri=quorin:/ finishings=3 fit-to-page=true job-sheets=none,none");
        else
            qputenv("FAKE_LPOPTIONS_SAY", "copies=1 device-uri=quorin:/ finishings=3 job-sheets=none,none");
        if (!backend)
            QVERIFY(QFile::remove(m_serverBin + u"/backend/quorin"_s));
        frmInst wizard;
        QSignalSpy unloaded(&wizard, &frmInst::unloaded);
        wizard.show();
        QVERIFY(wizard.txtStato->toPlainText().startsWith(u"Procedura di installazione della stampante"_s));
        QTest::mouseClick(wizard.findChild<QPushButton *>(u"cbNext"_s), Qt::LeftButton);
        QCOMPARE(wizard.txtStato->toPlainText(), u"Installazione Stampante in corso..."_s);
        QUORIN_TRY_VERIFY(wizard.resultPage() && wizard.resultPage()->isVisible());
        QVERIFY(!wizard.isVisible());
        const QString shown = wizard.resultPage()->findChild<QLabel *>(u"txtRisultato"_s)->text();
        QVERIFY2(shown.contains(result), qPrintable(shown));
        const bool failed = (lpstat != 0 && lpadmin != 0) || !backend;
        QCOMPARE(shown.startsWith(u"Errore durante l'installazione della stampante "_s), failed);
        QCOMPARE(shown.contains(u"Avviso"_s), lpstat == 0 && lpadmin != 0);
        if (!backend) // exactly what to run
            QVERIFY2(shown.contains(u"sudo "_s) && shown.contains(m_serverBin + u"/backend/quorin"_s),
                     qPrintable(shown));
        QCOMPARE(calls(), expected);
        if (!failed) {
            QFile service(FaxPrinter::unitDir() + u"/quorin-fax.service"_s);
            QVERIFY(service.open(QIODevice::ReadOnly));
            const QString program = QCoreApplication::applicationDirPath() + u"/tst_installer"_s;
            QVERIFY(
                QString::fromUtf8(service.readAll()).contains(u"ExecStart=\""_s + program + u"\" -N\n"_s));
            QFile path(FaxPrinter::unitDir() + u"/quorin-fax.path"_s);
            QVERIFY(path.open(QIODevice::ReadOnly));
            QVERIFY(
                QString::fromUtf8(path.readAll()).contains(u"DirectoryNotEmpty="_s + FaxPrinter::spoolDir()));
        }
        QCOMPARE(unloaded.count(), 0);
        // "OK" ends the wizard.
        QTest::mouseClick(wizard.resultPage()->findChild<QPushButton *>(u"OKButton"_s), Qt::LeftButton);
        QCOMPARE(unloaded.count(), 1);
    }

    void withoutSystemdUserSession()
    {
        // The queue is there, or made now, but no systemd user session takes the watcher: the queue works,
        // a notice says how to send by hand.
        qputenv("FAKE_SYSTEMCTL_EXIT", "1");
        qputenv("FAKE_SYSTEMCTL_SAY", "Failed to connect to bus: No medium found");
        for (const char *queue : {"0", "1"}) {
            qputenv("FAKE_LPSTAT_EXIT", queue);
            frmInst wizard;
            wizard.show();
            QTest::mouseClick(wizard.findChild<QPushButton *>(u"cbNext"_s), Qt::LeftButton);
            QUORIN_TRY_VERIFY(wizard.resultPage() && wizard.resultPage()->isVisible());
            const QString shown = wizard.resultPage()->findChild<QLabel *>(u"txtRisultato"_s)->text();
            QVERIFY2(shown.startsWith(*queue == '0' ? u"Stampante già presente.\n"_s
                                                    : u"Stampante installata correttamente\n"_s),
                     qPrintable(shown));
            QVERIFY2(!shown.contains(u"Errore"_s) && !shown.contains(u"attivato"_s), qPrintable(shown));
            QVERIFY2(shown.contains(u"Avviso: "_s) && shown.contains(u"systemctl --user"_s) &&
                         shown.contains(u"/tst_installer\" -N"_s),
                     qPrintable(shown));
            QVERIFY(!shown.contains(u"sudo"_s));
        }
        qunsetenv("FAKE_SYSTEMCTL_SAY");
        // Without systemd at all: the same notice.
        QFile::rename(m_bin + u"/systemctl"_s, m_bin + u"/systemctl.off"_s);
        qputenv("FAKE_LPSTAT_EXIT", "0");
        frmInst wizard;
        wizard.show();
        QTest::mouseClick(wizard.findChild<QPushButton *>(u"cbNext"_s), Qt::LeftButton);
        QUORIN_TRY_VERIFY(wizard.resultPage() && wizard.resultPage()->isVisible());
        QFile::rename(m_bin + u"/systemctl.off"_s, m_bin + u"/systemctl"_s);
        const QString shown = wizard.resultPage()->findChild<QLabel *>(u"txtRisultato"_s)->text();
        QVERIFY2(shown.startsWith(u"Stampante già presente.\n"_s) && shown.contains(u"Avviso: "_s),
                 qPrintable(shown));
    }

    void schedulerNotRunning()
    {
        // lpadmin cannot reach CUPS: the administrator starts it first, then creates the queue. CUPS's notice
        // that drivers are deprecated, which comes with every PPD queue, is not repeated as the error.
        qputenv("FAKE_LPSTAT_EXIT", "1");
        qputenv("FAKE_LPADMIN_EXIT", "1");
        qputenv("FAKE_LPADMIN_SAY", "lpadmin: Printer drivers are deprecated and will stop working in a future "
                                    "version of CUPS.\nlpadmin: Unable to connect to server: Bad file descriptor");
        frmInst wizard;
        wizard.show();
        QTest::mouseClick(wizard.findChild<QPushButton *>(u"cbNext"_s), Qt::LeftButton);
        QUORIN_TRY_VERIFY(wizard.resultPage() && wizard.resultPage()->isVisible());
        qunsetenv("FAKE_LPADMIN_SAY");
        const QString shown = wizard.resultPage()->findChild<QLabel *>(u"txtRisultato"_s)->text();
        const qsizetype start = shown.indexOf(u"sudo systemctl enable --now cups"_s);
        const qsizetype service = shown.indexOf(u"sudo service cups start"_s);
        QVERIFY2(start > 0 && service > start && shown.indexOf(u"sudo lpadmin -p QuorinPrinter"_s) > service,
                 qPrintable(shown));
        QVERIFY2(shown.contains(u"\nlpadmin: Unable to connect"_s), qPrintable(shown)); // its words, once
        QVERIFY2(!shown.contains(u"deprecated"_s), qPrintable(shown));
    }

    // Every page whole at the default font and at 125 %: the caption (drawn by the window manager in a
    // bold title font), the title, the status lines and the longest result.
    void nothingClipped()
    {
        const QFont standard = QApplication::font();
        const auto fits = [](QWidget *w) {
            return w->width() >= w->sizeHint().width() && w->height() >= w->minimumSizeHint().height();
        };
        const auto captionFits = [](QWidget *page) {
            QFont bold = page->font();
            bold.setBold(true);
            const QFontMetrics metrics(bold);
            // Beside the caption: the window's icon and its three buttons.
            return page->width() >= metrics.horizontalAdvance(page->windowTitle()) + 4 * metrics.height();
        };
        for (const qreal scale : {1.0, 1.25}) {
            QFont font = standard;
            font.setPointSizeF(standard.pointSizeF() * scale);
            QApplication::setFont(font);
            qputenv("FAKE_LPSTAT_EXIT", "0");
            qputenv("FAKE_SYSTEMCTL_EXIT", "1");
            frmInst wizard;
            wizard.show();
            QVERIFY(QTest::qWaitForWindowExposed(&wizard, TestWait::bound()));
            const QString at = u" at "_s + QString::number(scale);
            QVERIFY2(captionFits(&wizard), qPrintable(QString::number(wizard.width()) + at));
            QVERIFY2(wizard.lblTitolo->text() == wizard.windowTitle() && fits(wizard.lblTitolo),
                     qPrintable(at));
            QVERIFY2(!wizard.txtStato->horizontalScrollBar()->isVisible() &&
                         !wizard.txtStato->verticalScrollBar()->isVisible(),
                     qPrintable(at));
            QVERIFY(fits(wizard.cbNext) && fits(wizard.cbCancel));
            QTest::mouseClick(wizard.cbNext, Qt::LeftButton);
            QVERIFY(!wizard.txtStato->horizontalScrollBar()->isVisible());
            QUORIN_TRY_VERIFY(wizard.resultPage() && wizard.resultPage()->isVisible());
            frmInst2 *result = wizard.resultPage();
            QVERIFY(QTest::qWaitForWindowExposed(result, TestWait::bound()));
            QVERIFY(result->txtRisultato->text().contains(u"Avviso"_s)); // the longest text
            const auto sizes = [](QWidget *w) {
                return u" %1x%2 (%3x%4)"_s.arg(w->width())
                    .arg(w->height())
                    .arg(w->sizeHint().width())
                    .arg(w->minimumSizeHint().height());
            };
            QVERIFY2(captionFits(result) && fits(result->txtRisultato) && fits(result->OKButton),
                     qPrintable(at + sizes(result) + sizes(result->txtRisultato) + sizes(result->OKButton)));
        }
        QApplication::setFont(standard);
        qunsetenv("FAKE_SYSTEMCTL_EXIT");
    }

    void resultPageCloseBoxEnds()
    {
        qputenv("FAKE_LPSTAT_EXIT", "0");
        frmInst wizard;
        QSignalSpy unloaded(&wizard, &frmInst::unloaded);
        wizard.show();
        wizard.cbNext_Click();
        QUORIN_TRY_VERIFY(wizard.resultPage() && wizard.resultPage()->isVisible());
        wizard.resultPage()->close();
        QCOMPARE(unloaded.count(), 1);
    }

    // No "-N": the installer road; "Annulla" ends the program without touching the printer.
    void cancelFromStart()
    {
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-n"_s});
        QVERIFY(startup.installer());
        QVERIFY(!startup.sendWindow());
        QVERIFY(startup.installer()->isVisible());
        startup.installer()->findChild<QPushButton *>(u"cbCancel"_s)->click();
        QCOMPARE(exit.count(), 1);
        QVERIFY(calls().isEmpty());
    }
};

QTEST_MAIN(TestInstaller)
#include "tst_installer.moc"
