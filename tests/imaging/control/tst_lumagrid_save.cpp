// Save, Save As, conversion and printing of the Lumagrid control.
#include "ControlTest.h"
#include "FaxFixture.h"
#include "ImgXSupport.h"
#include "LumagridDocument.h"
#include "PageView.h"
#include "SaveAsFilter.h"
#include "WriteFaults.h"

#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <memory>

using namespace Qt::StringLiterals;
using ControlTest::makeControl;
using ControlTest::press;

class TestLumagridSave : public QObject
{
    Q_OBJECT

private:
    TestHome m_dir;
    QString m_three;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    static QByteArray bytesOf(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Answers the next Save As dialog with entry (1-based, 0 = leave it) and file name; records the
    // entry the dialog offered. An empty name cancels.
    static void answerSaveAs(int entry, const QString &name, int *offered = nullptr)
    {
        Prompt::setDialogHandler([=](QDialog *d) {
            auto *fd = qobject_cast<QFileDialog *>(d);
            if (!fd)
                return int(QDialog::Rejected);
            const QStringList filters = fd->nameFilters();
            if (offered)
                *offered = int(filters.indexOf(fd->selectedNameFilter())) + 1;
            if (name.isEmpty())
                return int(QDialog::Rejected);
            if (entry > 0)
                fd->selectNameFilter(filters.at(entry - 1));
            fd->selectFile(name);
            return int(QDialog::Accepted);
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ControlTest::isolate(m_dir);
        m_three = path(u"three.tif"_s);
        QVERIFY(FaxFixture::writeFax(m_three, 3));
    }

    void init() { Prompt::clearRecords(); }
    void cleanup() { Prompt::setDialogHandler({}); }

    void filterTable()
    {
        QCOMPARE(
            SaveAsFilter::text(),
            u"[JPG]  (Joint Photographic Experts Group)|*.jpg|[TIF]  (Tagged Image File)|*.tif|[BMP]  "
            "(Windows Bitmap)|*.bmp|[PNG]  (Portable Network Graphics)|*.png|[PSD]  (Photoshop)|*.psd|[PCX]  "
            "(ZSoft PaintBrush)|*.pcx|[TGA]  (Truevision Targa)|*.tga|[WBMP] (Wireless Bitmap)|*.wbmp|"_s);
        // Only formats this engine writes are offered (metafiles are read only).
        const int codes[] = {1, 3, 6, 2, 9, 4, 5, 10};
        for (int i = 1; i <= 8; ++i) {
            qint32 f = 0;
            QVERIFY(!SaveAsFilter::FormatFromFilter(i, &f).isEmpty());
            QCOMPARE(f, codes[i - 1]);
            QCOMPARE(SaveAsFilter::entryForFormat(f), i);
            QVERIFY(ImgXSupport::canWrite(ImgFileType(f)));
        }
        QCOMPARE(SaveAsFilter::entryForFormat(imgWMF), 0);
        QCOMPARE(SaveAsFilter::entryForFormat(imgEMF), 0);
        qint32 untouched = 0;
        QCOMPARE(SaveAsFilter::FormatFromFilter(9, &untouched), QString());
        QCOMPARE(untouched, 0);
        QCOMPARE(SaveAsFilter::entryForFormat(imgGIF), 0);
    }

    void saveAsWritesChosenFormat_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("pages");
        QTest::newRow("TIF keeps every page") << 2 << u"all"_s << u"all.tif"_s << int(imgTIF) << 3;
        QTest::newRow("PNG") << 4 << u"page"_s << u"page.png"_s << int(imgPNG) << 1;
        QTest::newRow("WBMP") << 8 << u"wire"_s << u"wire.wbmp"_s << int(imgWBMP) << 1;
        QTest::newRow("BMP") << 3 << u"bits"_s << u"bits.bmp"_s << int(imgBMP) << 1;
        QTest::newRow("PSD") << 5 << u"layers"_s << u"layers.psd"_s << int(imgPSD) << 1;
        // The name's own image extension wins over the entry: content matches the name.
        QTest::newRow("typed extension") << 1 << u"typed.png"_s << u"typed.png"_s << int(imgPNG) << 1;
    }

    void saveAsWritesChosenFormat()
    {
        QFETCH(int, entry);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(int, format);
        QFETCH(int, pages);
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        c->GoToPage(1);
        answerSaveAs(entry, path(typed));
        QSignalSpy after(c.get(), &Lumagrid::AfterSave);
        QVERIFY(press(*c, u"SaveAs"_s));
        const ImgXFileInfo info = ImgXSupport::fileInfo(path(written));
        QVERIFY2(info.isValid(), qPrintable(info.error.description));
        QCOMPARE(int(info.format), format);
        QCOMPARE(info.pageCount, pages);
        QCOMPARE(info.size.width(), 1728);
        // Save As is no Save: the document and its source stay.
        QCOMPARE(after.count(), 0);
        QCOMPARE(c->FileName(), m_three);
        QCOMPARE(c->Image().sourceFileName(), m_three);
        QVERIFY(Prompt::records().size() == 1);
    }

    void saveAsOffersThePageFormat_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("offered");
        QTest::newRow("TIFF page") << u"three.tif"_s << 2;
        QTest::newRow("PNG page") << u"pic.png"_s << 4;
        QTest::newRow("GIF keeps the last entry") << u"pic.gif"_s << 8;
    }

    void saveAsOffersThePageFormat()
    {
        QFETCH(QString, file);
        QFETCH(int, offered);
        QImage img(40, 30, QImage::Format_RGB32);
        img.fill(Qt::red);
        QVERIFY(img.save(path(u"pic.png"_s)));
        QFile gif(path(u"pic.gif"_s));
        QVERIFY(gif.open(QIODevice::WriteOnly));
        gif.write(QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw=="));
        gif.close();
        auto c = makeControl();
        // The entry chosen last is offered again when the page's format has none.
        QVERIFY(c->OpenSource(m_three));
        answerSaveAs(8, path(u"first"_s));
        QVERIFY(press(*c, u"SaveAs"_s));
        QVERIFY(QFile::exists(path(u"first.wbmp"_s)));
        QVERIFY(c->OpenSource(path(file)));
        int seen = 0;
        answerSaveAs(0, QString(), &seen);
        QVERIFY(press(*c, u"SaveAs"_s));
        QCOMPARE(seen, offered);
    }

    // ConvertImage(Page) write with the control's own file options, set by name as a host sets them.
    void conversionsHonourTheControlsOptions()
    {
        auto c = makeControl();
        QVERIFY(c->setProperty("TIFCompression", int(TIFCompression::PackBits)));
        const QString packed = path(u"packed.tif"_s);
        QVERIFY(c->ConvertImage(m_three, packed, imgTIF));
        QCOMPARE(ImgXSupport::tiffTag(packed, 0, 259).toUInt(), 32773u);
        QVERIFY(c->setProperty("TIFCompression", int(TIFCompression::CcittG3_2D)));
        const QString g3 = path(u"page2.tif"_s);
        QVERIFY(c->ConvertImagePage(m_three, g3, imgTIF, 1));
        QCOMPARE(ImgXSupport::tiffTag(g3, 0, 259).toUInt(), 3u);
        QCOMPARE(ImgXSupport::tiffTag(g3, 0, 292).toUInt() & 1u, 1u);

        auto jpegOf = [&](int quality, bool progressive) {
            c->setProperty("JPGQuality", quality);
            c->setProperty("JPGProgressive", progressive);
            const QString name = path(u"q%1%2.jpg"_s.arg(quality).arg(progressive));
            if (!c->ConvertImage(m_three, name, imgJPG))
                return QByteArray();
            QFile f(name);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray low = jpegOf(10, false), high = jpegOf(95, false), prog = jpegOf(95, true);
        QVERIFY(!low.isEmpty() && !high.isEmpty() && !prog.isEmpty());
        QVERIFY2(low.size() < high.size(), qPrintable(u"%1 vs %2"_s.arg(low.size()).arg(high.size())));
        // A progressive JPEG starts its frame with SOF2, a baseline one with SOF0.
        QVERIFY(prog.contains(QByteArray("\xff\xc2", 2)));
        QVERIFY(!high.contains(QByteArray("\xff\xc2", 2)));

        // PNGInterlaced and BMPUseRLECompression make what they say; the fax page converts whole.
        auto bytesOf = [&](const QString &name, ImgFileType format) {
            if (!c->ConvertImage(m_three, name, format))
                return QByteArray();
            QFile f(name);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QVERIFY(c->setProperty("PNGInterlaced", true));
        QVERIFY(c->setProperty("BMPUseRLECompression", true));
        const QByteArray png = bytesOf(path(u"interlaced.png"_s), imgPNG);
        const QByteArray bmp = bytesOf(path(u"rle.bmp"_s), imgBMP);
        QVERIFY(png.size() > 28 && bmp.size() > 34);
        QCOMPARE(int(uchar(png.at(28))), 1); // IHDR: Adam7
        QCOMPARE(int(uchar(bmp.at(30))), 1); // BI_RLE8
        for (const QString &name : {path(u"interlaced.png"_s), path(u"rle.bmp"_s)})
            QCOMPARE(ImgXSupport::fileInfo(name).size, QSize(1728, 1100));
    }

    void cancelledSaveAsWritesNothing()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        QVERIFY(press(*c, u"90DX"_s));
        answerSaveAs(4, QString());
        QVERIFY(press(*c, u"SaveAs"_s));
        QVERIFY(!QFile::exists(path(u"cancelled.png"_s)));
        QVERIFY(!c->Saved());
        // A save that needs a name and is cancelled is no save either.
        QImage picture(50, 40, QImage::Format_RGB32);
        picture.fill(Qt::white);
        c->setPicture(QPixmap::fromImage(picture));
        QSignalSpy before(c.get(), &Lumagrid::BeforeSave);
        QSignalSpy after(c.get(), &Lumagrid::AfterSave);
        QVERIFY(!c->Save());
        QCOMPARE(before.count(), 1);
        QCOMPARE(after.count(), 0);
        QVERIFY(!c->Saved());
        answerSaveAs(4, path(u"named"_s));
        QVERIFY(c->Save());
        QCOMPARE(after.count(), 1);
        QVERIFY(c->Saved());
        QCOMPARE(QImage(path(u"named.png"_s)).size(), QSize(50, 40));
    }

    void scannedPagesSaveToTheScanName()
    {
        auto c = makeControl(true);
        LumagridDocument *doc = c->document();
        for (int i = 0; i < 3; ++i) {
            QImage page(850, 1100, QImage::Format_Mono);
            page.fill(0);
            doc->addScannedPage(ImgXImage(page, 100, 100));
        }
        const QString target = path(u"scan.tif"_s);
        doc->setScanSaveName(target);
        QStringList order;
        connect(c.get(), &Lumagrid::BeforeSave, this, [&] { order << u"before"_s; });
        connect(c.get(), &Lumagrid::AfterSave, this, [&] { order << u"after"_s; });
        QVERIFY(c->Save());
        QCOMPARE(order, QStringList({u"before"_s, u"after"_s}));
        QCOMPARE(ImgXSupport::pageCount(target), 3);
        QVERIFY(c->Saved());
        QUORIN_TRY_VERIFY(!c->ThumbsLoading());
    }

    // Save, Save As and scanned pages that cannot be written say why, in the words every writer uses,
    // and leave the file as it was: a full disk (a small tmpfs where the test may mount one, else the
    // file-size limit), a folder closed to new files, a read-only file.
    void failedWriteSaysWhy_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("said");
        QTest::newRow("Save, full disk") << u"save"_s << u"il disco è pieno"_s;
        QTest::newRow("Save As, folder closed") << u"saveas"_s << u"non consente di scrivere"_s;
        QTest::newRow("scanned pages, read-only file") << u"scan"_s << u"il file è di sola lettura"_s;
    }
    void failedWriteSaysWhy()
    {
        QFETCH(QString, road);
        QFETCH(QString, said);
        const QString folder = path(u"disk-"_s + road);
        QDir().mkpath(folder);
        const QString file = folder + u"/fax.tif"_s;
        std::unique_ptr<WriteFaults::SmallDisk> disk;
        std::unique_ptr<WriteFaults::FileSizeLimit> limit;
        if (road == u"save") { // the file on the disk that fills
            disk = std::make_unique<WriteFaults::SmallDisk>(folder);
            QVERIFY(FaxFixture::writeFax(file, 3));
            if (disk->mounted())
                QVERIFY(disk->fill());
            else
                said = u"supererebbe la dimensione massima"_s;
        }
        const auto reopen = qScopeGuard([&] {
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });
        auto c = makeControl(road == u"scan");
        if (road == u"scan") {
            QImage page(850, 1100, QImage::Format_Mono);
            page.fill(0);
            c->document()->addScannedPage(ImgXImage(page, 100, 100));
            QFile old(file);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
            old.close();
            QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
            c->document()->setScanSaveName(file);
        } else {
            QVERIFY(c->OpenSource(road == u"save" ? file : m_three));
            QVERIFY(press(*c, u"Flip"_s));
        }
        const QByteArray before = [&] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        if (road != u"save")
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        WriteFaults::ModesHold modes;
        if (road == u"save" && !disk->mounted())
            limit = std::make_unique<WriteFaults::FileSizeLimit>(1000);
        QSignalSpy after(c.get(), &Lumagrid::AfterSave);
        if (road == u"saveas") {
            answerSaveAs(2, file);
            QVERIFY(press(*c, u"SaveAs"_s));
        } else if (road == u"save") {
            QVERIFY(press(*c, u"Save"_s));
        } else {
            QVERIFY(!c->Save());
        }
        limit.reset();
        const QString told = road == u"scan" ? c->lastError().description : Prompt::lastRecord().text;
        QVERIFY2(told.contains(u"Impossibile scrivere il file "_s + file + u": "_s) && told.contains(said),
                 qPrintable(told));
        QCOMPARE(after.count(), 0);
        QFile f(file);
        QCOMPARE(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(), before);
    }

    // A GIF cannot be written back: the save fails, says so, and reports no save.
    void failedSaveIsNoSave()
    {
        const QString file = path(u"back.gif"_s);
        QFile gif(file);
        QVERIFY(gif.open(QIODevice::WriteOnly));
        const QByteArray bytes =
            QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==");
        gif.write(bytes);
        gif.close();
        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        QVERIFY(press(*c, u"Flip"_s));
        QSignalSpy after(c.get(), &Lumagrid::AfterSave);
        QVERIFY(press(*c, u"Save"_s));
        QCOMPARE(after.count(), 0);
        QVERIFY(!c->Saved());
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QVERIFY(c->lastError());
        QVERIFY(gif.open(QIODevice::ReadOnly));
        QCOMPARE(gif.readAll(), bytes);
    }

    // A fax page cut short inside its data shows its own rows, white below, and says so once it is
    // shown; Save after an edit of another page names it and leaves the file as it was (the page
    // before it is never written in its place).
    void damagedPageIsToldAndNeverSavedOver()
    {
        const QString file = path(u"short.tif"_s);
        QVERIFY(FaxFixture::writeFaxWithShortPage(file, 17, 8, 4000));
        const QByteArray before = bytesOf(file);
        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        QCOMPARE(c->counterText(), u"1/17"_s);
        QVERIFY(Prompt::records().isEmpty());
        c->GoToPage(8);
        QCOMPARE(c->counterText(), u"9/17"_s);
        QVERIFY(c->pageView()->hasPage());
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
        QVERIFY2(
            Prompt::lastRecord().text.startsWith(
                u"La pagina 9 è danneggiata: le righe che non si possono leggere sono mostrate in bianco."_s),
            qPrintable(Prompt::lastRecord().text));
        c->GoToPage(0);
        QCOMPARE(Prompt::records().size(), 1);
        QVERIFY(press(*c, u"Flip"_s));
        QSignalSpy after(c.get(), &Lumagrid::AfterSave);
        QVERIFY(press(*c, u"Save"_s));
        QCOMPARE(after.count(), 0);
        QVERIFY(!c->Saved());
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QVERIFY2(Prompt::lastRecord().text.contains(u"Page 9 is damaged and the file is left as it was"_s),
                 qPrintable(Prompt::lastRecord().text));
        QCOMPARE(bytesOf(file), before);
    }

    // A page left out at opening (its directory cannot be read, its data intact) is never dropped by
    // writing over its file, whichever road writes it: Save names the page and leaves the file as
    // it was; Save As onto a new name writes the pages shown.
    void pageLeftOutIsNeverSavedAway_data()
    {
        QTest::addColumn<QString>("road");
        QTest::newRow("toolbar Save") << u"Save"_s;
        QTest::newRow("host Save") << u"host"_s;
        QTest::newRow("Save As onto the file") << u"SaveAs"_s;
    }

    void pageLeftOutIsNeverSavedAway()
    {
        QFETCH(QString, road);
        const QString file = path(u"lost-%1.tif"_s.arg(road));
        QVERIFY(FaxFixture::writeFaxWithLostPage(file, 3, 1));
        const QByteArray before = bytesOf(file);
        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        QCOMPARE(c->PagesNumber(), 2);
        QVERIFY(press(*c, u"90DX"_s));
        QSignalSpy after(c.get(), &Lumagrid::AfterSave);
        Prompt::clearRecords();
        if (road == u"host"_s) {
            QVERIFY(!c->Save());
        } else {
            if (road == u"SaveAs"_s)
                answerSaveAs(0, file);
            QVERIFY(press(*c, road));
            QCOMPARE(Prompt::records().size(), road == u"SaveAs"_s ? 2 : 1); // the dialog, then the box
            QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
            QVERIFY2(Prompt::lastRecord().text.contains(
                         u"La pagina 2 del file non è leggibile e andrebbe persa: il file resta com'era."_s),
                     qPrintable(Prompt::lastRecord().text));
        }
        QCOMPARE(c->lastError().number, qint32(ImgXErrorCode::PagesLeftOut));
        QCOMPARE(after.count(), 0);
        QVERIFY(!c->Saved());
        QCOMPARE(bytesOf(file), before);
        // A new file takes the pages shown, the first one turned.
        const QString other = path(u"kept-%1.tif"_s.arg(road));
        answerSaveAs(0, other);
        QVERIFY(press(*c, u"SaveAs"_s));
        QCOMPARE(ImgXSupport::pageCount(other), 2);
        QCOMPARE(ImgXSupport::fileInfo(other).size, QSize(1100, 1728));
    }

    // A file whose page chain comes back to a page already read opens with the pages before the
    // link, says once that the chain loops, and saves those pages as a plain chain.
    void loopingFileOpensTellsAndSaves()
    {
        const QString file = path(u"loop.tif"_s);
        QVERIFY(FaxFixture::writeLoopingFax(file, 3, 2, 2));
        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        QCOMPARE(c->counterText(), u"1/3"_s);
        QCOMPARE(c->PagesNumber(), 3);
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
        QCOMPARE(Prompt::lastRecord().text,
                 u"L'elenco delle pagine del file torna su una pagina già letta: il file "
                 u"viene mostrato fino a quel punto (3 pagine)."_s);
        QVERIFY(press(*c, u"Flip"_s));
        QVERIFY(press(*c, u"Save"_s));
        QVERIFY(c->Saved());
        QCOMPARE(Prompt::records().size(), 1);
        const ImgXFileInfo info = ImgXSupport::fileInfo(file);
        QCOMPARE(info.pageCount, 3);
        QVERIFY(!info.chainLoops);
        QUORIN_TRY_VERIFY(!c->ThumbsLoading());
    }

    // A 2 x 2 inch page of 204 x 98 dpi (408 x 196 pixels, all black) prints as a 2 x 2 inch square.
    void printKeepsTrueProportions()
    {
        const QString gs = QStandardPaths::findExecutable(u"gs"_s);
        if (gs.isEmpty())
            QSKIP("ghostscript (gs) is not installed: cannot measure the printed page");
        QImage page(408, 196, QImage::Format_Mono);
        page.fill(1);
        auto c = makeControl();
        c->setImage(ImgXImage(page, 204, 98));
        c->setFileName(path(u"square.tif"_s));
        const QString pdf = path(u"square.pdf"_s);
        c->printer()->setOutputFormat(QPrinter::PdfFormat);
        c->printer()->setOutputFileName(pdf);
        Prompt::setDialogHandler([](QDialog *) { return int(QDialog::Accepted); });
        QSignalSpy after(c.get(), &Lumagrid::AfterPrint);
        QVERIFY(press(*c, u"Print"_s));
        QCOMPARE(after.count(), 1);
        QCOMPARE(ControlTest::pdfPages(pdf), 1);
        QProcess p;
        p.start(gs, {u"-q"_s, u"-dNOPAUSE"_s, u"-dBATCH"_s, u"-sDEVICE=bbox"_s, pdf});
        QVERIFY(p.waitForFinished(TestWait::bound()));
        const QString out = QString::fromLatin1(p.readAllStandardError() + p.readAllStandardOutput());
        static const QRegularExpression box(u"%%HiResBoundingBox: ([\\d.]+) ([\\d.]+) ([\\d.]+) ([\\d.]+)"_s);
        const QRegularExpressionMatch m = box.match(out);
        QVERIFY2(m.hasMatch(), qPrintable(out));
        const double w = m.captured(3).toDouble() - m.captured(1).toDouble();
        const double h = m.captured(4).toDouble() - m.captured(2).toDouble();
        QVERIFY2(qAbs(w - 144) < 2 && qAbs(h - 144) < 2, qPrintable(u"%1 x %2 pt"_s.arg(w).arg(h)));
    }
};

QTEST_MAIN(TestLumagridSave)
#include "tst_lumagrid_save.moc"
