// The capture side of the fax printer: jobs taken from the spool folder and made into fax TIFFs.
#include "FaxPageWriter.h"
#include "FaxTiffFixture.h"
#include "FmPrinter.h"
#include "TestHome.h"
#include "WriteFaults.h"
#include "clsLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTest>

#include <tiffio.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray TwoPages = "%!PS-Adobe-3.0\n"
                            "/Helvetica findfont 24 scalefont setfont\n"
                            "72 700 moveto (Pagina uno) show showpage\n"
                            "72 700 moveto (Pagina due) show showpage\n";

// The pages of a TIFF as rows of bits, with their sizes.
QList<QByteArray> tiffRasters(const QString &path)
{
    QList<QByteArray> pages;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return pages;
    do {
        quint32 width = 0, height = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        QByteArray rows(qsizetype(TIFFScanlineSize(tif)) * height, '\0');
        for (quint32 y = 0; y < height; ++y)
            TIFFReadScanline(tif, rows.data() + qsizetype(y) * TIFFScanlineSize(tif), y);
        pages.append(QByteArray::number(width) + 'x' + QByteArray::number(height) + ':' + rows);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

QByteArray pbmPage(int width, int height, char fill, const QByteArray &header = {})
{
    return (header.isEmpty() ? "P4\n" + QByteArray::number(width) + ' ' + QByteArray::number(height) + '\n'
                             : header) +
           QByteArray(qsizetype((width + 7) / 8) * height, fill);
}

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

    TestHome m_home;
    QString m_spool;

    void drop(const QString &name, const QByteArray &bytes)
    {
        QFile f(m_spool + u'/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.setUp()); }
    void init()
    {
        m_spool =
            m_home.filePath(u"spool-"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') +
                            QString::fromLatin1(QTest::currentTestFunction()));
        QDir().mkpath(m_spool);
    }

    void convert_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<int>("pages");
        QTest::newRow("postscript") << TwoPages << 2;
        QTest::newRow("tiff as it is") << QByteArray() << 3;
    }
    void convert()
    {
        QFETCH(QByteArray, job);
        QFETCH(int, pages);
        if (job.isEmpty()) {
            const QString tif = m_home.filePath(u"three.tif"_s);
            QVERIFY(FaxTiffFixture::write(tif, 3, true, u"Tre"_s));
            QFile f(tif);
            QVERIFY(f.open(QIODevice::ReadOnly));
            job = f.readAll();
        }
        drop(u"job-9-1.prn"_s, job);
        drop(u".job-10-5.part"_s, "still being written");
        FmPrinter printer;
        printer.setSpoolDir(m_spool);
        QSignalSpy done(&printer, &FmPrinter::PrintComplete);
        QSignalSpy failed(&printer, &FmPrinter::CaptureFailed);
        printer.setPrinterName(u"QuorinPrinter"_s);
        QVERIFY(TestWait::forSignal(done));
        QVERIFY(failed.isEmpty());
        QCOMPARE(printer.DocumentCount(), 1);
        const CapturedDocument doc = printer.Document();
        QCOMPARE(doc.Pages, pages);
        QVERIFY(FmPrinter::isTiff(doc.FilePath));
        QCOMPARE(int(QFile::permissions(doc.FilePath) & 0x0077), 0); // private to the user
        // The job stays in the spool until the document was handed over or discarded.
        QCOMPARE(QDir(m_spool).entryList(QDir::Files), QStringList{u"job-9-1.prn"_s});
        QCOMPARE(printer.jobFile(), m_spool + u"/job-9-1.prn"_s);
        QVERIFY(QFile::exists(m_spool + u"/.job-10-5.part"_s)); // a job still written is left
        TIFF *tif = TIFFOpen(QFile::encodeName(doc.FilePath).constData(), "r");
        QVERIFY(tif);
        float x = 0, y = 0;
        quint32 width = 0;
        quint16 compression = 0;
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y);
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFClose(tif);
        QCOMPARE(qRound(x), 204);
        QCOMPARE(qRound(y), 196);
        QCOMPARE(width, quint32(1728));
        QCOMPARE(compression, quint16(COMPRESSION_CCITTFAX4));

        // A second job printed while the window is open waits for the next run.
        drop(u"job-11-2.prn"_s, TwoPages);
        QTest::qWait(1500);
        QCOMPARE(done.count(), 1);
        QCOMPARE(printer.DocumentCount(), 1);
        QVERIFY(QFile::exists(m_spool + u"/job-11-2.prn"_s));
        printer.releaseJob();
        QCOMPARE(QDir(m_spool).entryList(QDir::Files), QStringList{u"job-11-2.prn"_s});
        FmPrinter next;
        next.setSpoolDir(m_spool);
        QSignalSpy nextDone(&next, &FmPrinter::PrintComplete);
        next.setPrinterName(u"QuorinPrinter"_s);
        QVERIFY(TestWait::forSignal(nextDone));
        QCOMPARE(next.Document().Pages, 2);
    }

    // A job nothing can read is reported and moved out of the spool (so the watcher does not start again
    // for it) into a kept folder the message names; the next job is taken.
    void unreadableJob()
    {
        drop(u"job-1-1.prn"_s, "\x01\x02 not a document");
        QFile older(m_spool + u"/job-1-1.prn"_s); // taken first
        QVERIFY(older.open(QIODevice::ReadWrite));
        QVERIFY(
            older.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        older.close();
        drop(u"job-0-1.prn"_s, TwoPages);
        const QString logFile = m_home.filePath(u"capture-log.txt"_s);
        AppLog().setFileName(logFile);
        AppLog().setLogActive(true);
        FmPrinter printer;
        printer.setSpoolDir(m_spool);
        QSignalSpy failed(&printer, &FmPrinter::CaptureFailed);
        QSignalSpy done(&printer, &FmPrinter::PrintComplete);
        printer.setPrinterName(u"QuorinPrinter"_s);
        QVERIFY(TestWait::forSignal(failed));
        AppLog().setLogActive(false);
        const QString kept = FmPrinter::keptFolder() + u"/job-1-1.prn"_s;
        // One sentence with Ghostscript's first error line; its whole dump goes to the log only.
        const QString told = failed.first().first().toString();
        QVERIFY2(told.startsWith(u"Il documento stampato non si può leggere (Ghostscript: «Error: "_s), qPrintable(told));
        QVERIFY2(told.endsWith(u"») e non è stato convertito in fax, è conservato in "_s + kept + u"."_s), qPrintable(told));
        QVERIFY(!told.contains(u'\n') && !told.contains(u"Operand stack"_s));
        QFile log(logFile);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray logged = log.readAll();
        QVERIFY2(logged.contains("Operand stack") && logged.contains("job-1-1.prn"), logged.constData());
        QFile keptFile(kept);
        QVERIFY(keptFile.open(QIODevice::ReadOnly));
        QCOMPARE(keptFile.readAll(), QByteArray("\x01\x02 not a document"));
        QVERIFY(TestWait::forSignal(done));
        QCOMPARE(printer.DocumentCount(), 1);
        QCOMPARE(QDir(m_spool).entryList(QDir::Files), QStringList{u"job-0-1.prn"_s});
        QFile::remove(kept);
    }

    // A spool folder the printer cannot fill, or a job this user may not read, is told in one sentence
    // that names it and says what to do, once, and the job stays where it is.
    void spoolThatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("said");
        QTest::newRow("of another user") << u"owner"_s << u"La cartella di stampa %1 appartiene a un altro utente: "_s;
        QTest::newRow("closed") << u"closed"_s << u"La cartella di stampa %1 non consente di leggere e scrivere: "_s;
        QTest::newRow("spool missing") << u"root"_s << u"La cartella di stampa %2 non esiste"_s;
        QTest::newRow("job not readable") << u"job"_s << u"Il documento stampato %1/job-3-1.prn non si può leggere"_s;
    }
    void spoolThatCannotBeUsed()
    {
        QFETCH(QString, cause);
        QFETCH(QString, said);
        QString folder = m_spool + u"/user"_s;
        QVERIFY(QDir().mkpath(folder));
        QFile job(folder + u"/job-3-1.prn"_s);
        QVERIFY(job.open(QIODevice::WriteOnly) && job.write(TwoPages) == TwoPages.size());
        job.close();
        const auto reopen = qScopeGuard([&] {
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });
        if (cause == u"owner") {
            if (::geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        } else if (cause == u"closed") {
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        } else if (cause == u"root") {
            folder = m_spool + u"/gone/user"_s;
        } else {
            QVERIFY(job.setPermissions(QFileDevice::WriteOwner));
        }
        WriteFaults::ModesHold modes;
        FmPrinter printer;
        printer.setSpoolDir(folder);
        QSignalSpy failed(&printer, &FmPrinter::CaptureFailed);
        QSignalSpy done(&printer, &FmPrinter::PrintComplete);
        printer.setPrinterName(u"QuorinPrinter"_s);
        QVERIFY(TestWait::forSignal(failed));
        const QString told = failed.first().first().toString();
        said.replace(u"%1"_s, folder).replace(u"%2"_s, QFileInfo(folder).absolutePath());
        QVERIFY2(told.startsWith(said), qPrintable(told));
        QVERIFY2(told.contains(u"sudo "_s) && told.endsWith(u'.') && !told.contains(u"\n"_s), qPrintable(told));
        if (cause == u"closed")
            QTest::qWait(2500); // looked at again each second, told once
        QCOMPARE(failed.count(), 1);
        QCOMPARE(done.count(), 0);
        QVERIFY(cause == u"root" || QFile::exists(job.fileName()));
        if (cause == u"owner")
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), ::geteuid(), ::getegid()), 0);
    }

    // Without Ghostscript nothing is wrong with the job: it stays in the spool for the next start.
    void noConverterKeepsTheJob()
    {
        drop(u"job-2-1.prn"_s, TwoPages);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_spool + u"/no-such-folder"_s));
        FmPrinter printer;
        printer.setSpoolDir(m_spool);
        QSignalSpy failed(&printer, &FmPrinter::CaptureFailed);
        printer.setPrinterName(u"QuorinPrinter"_s);
        qputenv("PATH", path);
        QVERIFY(TestWait::forSignal(failed));
        const QString message = failed.first().first().toString();
        QVERIFY2(message.contains(u"resta in coda"_s), qPrintable(message));
        QCOMPARE(QDir(m_spool).entryList(QDir::Files), QStringList{u"job-2-1.prn"_s});
        QVERIFY(!QFile::exists(FmPrinter::keptFolder() + u"/job-2-1.prn"_s));
        QCOMPARE(printer.DocumentCount(), 0);
    }

    // Ghostscript's pages arrive through a pipe in pieces of any size: every cut of the stream gives the
    // same pages; a stream that is not PBM, or a page of absurd size, stops with an error, not a page.
    void pbmStream_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("fails");
        const QByteArray two = pbmPage(17, 3, '\x5a') + pbmPage(1728, 2, '\x00');
        QTest::newRow("two pages") << two << 2 << false;
        QTest::newRow("comment and blanks in the header")
            << pbmPage(9, 2, '\xff', "P4 # drawn\n 9\t2\r") << 1 << false;
        QTest::newRow("cut short in the rows") << two.left(two.size() - 1) << 1 << false;
        QTest::newRow("not pbm") << QByteArray("P6\n1 1\n255\nabc") << 0 << true;
        QTest::newRow("zero width") << pbmPage(8, 1, 'x', "P4\n0 1\n") << 0 << true;
        QTest::newRow("absurd height") << QByteArray("P4\n1728 99999999999999999999\n") << 0 << true;
        QTest::newRow("letters for a size") << QByteArray("P4\n17x8 3\n") << 0 << true;
    }
    void pbmStream()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, pages);
        QFETCH(bool, fails);
        for (const qsizetype piece : {qsizetype(1), qsizetype(7), stream.size()}) {
            PbmStream pbm;
            int got = 0;
            PbmStream::Page page;
            for (qsizetype at = 0; at < stream.size(); at += piece) {
                pbm.append(QByteArrayView(stream).sliced(at, qMin(piece, stream.size() - at)));
                while (pbm.next(page)) {
                    ++got;
                    QCOMPARE(page.bits.size(), qsizetype((page.width + 7) / 8) * page.height);
                }
            }
            QCOMPARE(got, pages);
            QCOMPARE(!pbm.error().isEmpty(), fails);
        }
    }

    // The captured document has, page for page, the pixels Ghostscript's own fax device draws of the job.
    void samePixelsAsGhostscript()
    {
        const QString gs = QStandardPaths::findExecutable(u"gs"_s);
        if (gs.isEmpty())
            QSKIP("no Ghostscript");
        drop(u"job-5-1.prn"_s, TwoPages);
        const QString reference = m_home.filePath(u"reference.tif"_s);
        QProcess direct;
        direct.start(gs, {u"-q"_s, u"-dSAFER"_s, u"-dBATCH"_s, u"-dNOPAUSE"_s, u"-sDEVICE=tiffg4"_s,
                          u"-r204x196"_s, u"-g1728x2292"_s, u"-dFIXEDMEDIA"_s, u"-dPDFFitPage"_s,
                          u"-sOutputFile="_s + reference, m_spool + u"/job-5-1.prn"_s});
        QVERIFY(direct.waitForFinished(TestWait::bound()));
        QCOMPARE(direct.exitCode(), 0);
        FmPrinter printer;
        printer.setSpoolDir(m_spool);
        QSignalSpy done(&printer, &FmPrinter::PrintComplete);
        printer.setPrinterName(u"QuorinPrinter"_s);
        QVERIFY(TestWait::forSignal(done));
        const QList<QByteArray> ours = tiffRasters(printer.Document().FilePath);
        QCOMPARE(ours.size(), 2);
        QVERIFY(ours == tiffRasters(reference));
    }

    // The Ghostscript that waits for a job may end before one comes (killed, out of memory): the job that
    // then arrives gets a Ghostscript of its own and is captured all the same.
    void waitingConverterGone()
    {
        FmPrinter printer;
        printer.setSpoolDir(m_spool);
        QSignalSpy done(&printer, &FmPrinter::PrintComplete);
        QSignalSpy failed(&printer, &FmPrinter::CaptureFailed);
        printer.setPrinterName(u"QuorinPrinter"_s);
        auto *waiting = printer.findChild<QProcess *>();
        QVERIFY(waiting);
        QVERIFY(waiting->waitForStarted(TestWait::bound()));
        waiting->kill();
        QVERIFY(waiting->waitForFinished(TestWait::bound()));
        QCoreApplication::processEvents();
        drop(u"job-4-1.prn"_s, TwoPages);
        QVERIFY(TestWait::forSignal(done));
        QVERIFY(failed.isEmpty());
        QCOMPARE(printer.Document().Pages, 2);
    }

    // Jobs are taken oldest first; CUPS's job numbers settle jobs of the same moment (10 after 9).
    void oldestFirst()
    {
        const QDateTime now = QDateTime::currentDateTime();
        const QList<std::pair<QString, QDateTime>> made = {{u"job-10-1.prn"_s, now},
                                                           {u"job-9-1.prn"_s, now},
                                                           {u"job-3-1.prn"_s, now.addSecs(30)},
                                                           {u"job-12-1.prn"_s, now.addSecs(-30)}};
        for (const auto &[name, time] : made) {
            drop(name, "x");
            QFile f(m_spool + u'/' + name);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(time, QFileDevice::FileModificationTime));
        }
        QStringList order;
        for (const QFileInfo &f : FmPrinter::waitingJobs(m_spool))
            order.append(f.fileName());
        QCOMPARE(order,
                 (QStringList{u"job-12-1.prn"_s, u"job-9-1.prn"_s, u"job-10-1.prn"_s, u"job-3-1.prn"_s}));
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
