#include "FaxFixture.h"
#include "ImgMenu.h"
#include "Lumagrid.h"
#include "LumagridDocument.h"
#include "PageView.h"
#include "Prompt.h"
#include "TestHome.h"
#include "ThumbCtl.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <memory>

using namespace Qt::StringLiterals;

class TestLumagrid : public QObject
{
    Q_OBJECT

private:
    TestHome m_dir;
    QString m_three, m_eight, m_one, m_damaged;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    std::unique_ptr<Lumagrid> makeControl(bool thumbs = true)
    {
        auto c = std::make_unique<Lumagrid>();
        c->resize(900, 600);
        c->setThumbsVisible(thumbs);
        c->show();
        return c;
    }

    static void waitBuilt(Lumagrid &c) { QUORIN_TRY_VERIFY(!c.ThumbsLoading()); }

    static void press(Lumagrid &c, const QString &key)
    {
        QAction *a = c.toolbar()->action(key);
        QVERIFY2(a, qPrintable(key));
        a->trigger();
    }

    static int pdfPages(const QString &pdf)
    {
        QFile f(pdf);
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        static const QRegularExpression page(u"/Type\\s*/Page[^s]"_s);
        return int(QString::fromLatin1(f.readAll()).count(page));
    }

    static QSizeF shown(const Lumagrid &c) { return c.pageView()->pageRect().size(); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.setUp());
        m_three = path(u"three.tif"_s);
        m_eight = path(u"eight.tif"_s);
        m_one = path(u"one.tif"_s);
        m_damaged = path(u"damaged.tif"_s);
        QVERIFY(FaxFixture::writeFax(m_three, 3));
        QVERIFY(FaxFixture::writeFax(m_eight, 8, 1728, 2200, 204, 196));
        QVERIFY(FaxFixture::writeFax(m_one, 1, 1728, 1100, 204, 98, 3));
        QVERIFY(FaxFixture::writeDamaged(m_damaged));
        QFile zero(path(u"zero.tif"_s));
        QVERIFY(zero.open(QIODevice::WriteOnly));
        zero.close();
        QFile notes(path(u"notes.tif"_s));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("Nothing to see here, just text.\n");
        notes.close();
        QVERIFY(QDir(m_dir.path()).mkdir(u"folder"_s));
        Prompt::setAnswering(true);
    }

    void init() { Prompt::clearRecords(); }

    // The host binds to the events by their order: the first 48 signals are the control's events.
    void eventsInOrder()
    {
        const QStringList expected = {u"Click"_s,
                                      u"DblClick"_s,
                                      u"KeyDown"_s,
                                      u"KeyPress"_s,
                                      u"KeyUp"_s,
                                      u"MouseDown"_s,
                                      u"MouseMove"_s,
                                      u"MouseUp"_s,
                                      u"ZoomWindowPopupMenu"_s,
                                      u"Validate"_s,
                                      u"Show"_s,
                                      u"Selected"_s,
                                      u"SelectChanged"_s,
                                      u"ScrollChanged"_s,
                                      u"Scroll"_s,
                                      u"Resize"_s,
                                      u"ProgressURL"_s,
                                      u"Progress"_s,
                                      u"PanChanged"_s,
                                      u"Pan"_s,
                                      u"PaintBefore"_s,
                                      u"PaintAfter"_s,
                                      u"Paint"_s,
                                      u"OLEStartDrag"_s,
                                      u"OLESetData"_s,
                                      u"OLEGiveFeedback"_s,
                                      u"OLEDragOver"_s,
                                      u"OLEDragDrop"_s,
                                      u"OLECompleteDrag"_s,
                                      u"MouseWheelScroll"_s,
                                      u"MouseMovePixel"_s,
                                      u"LoadedImage"_s,
                                      u"HitTest"_s,
                                      u"Hide"_s,
                                      u"BeforePrint"_s,
                                      u"AfterPrint"_s,
                                      u"BeforeSave"_s,
                                      u"AfterSave"_s,
                                      u"GetDataMember"_s,
                                      u"CustomTransform"_s,
                                      u"CurrentImageChanged"_s,
                                      u"Changed"_s,
                                      u"BeforeZoomChanged"_s,
                                      u"BeforeMouseToolRender"_s,
                                      u"BeforeMouseToolDraw"_s,
                                      u"BeforeMouseToolChange"_s,
                                      u"AsyncReadProgress"_s,
                                      u"AsyncReadComplete"_s};
        const QMetaObject &mo = Lumagrid::staticMetaObject;
        QStringList signalNames;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            if (mo.method(i).methodType() == QMetaMethod::Signal)
                signalNames << QString::fromLatin1(mo.method(i).name());
        }
        QVERIFY(signalNames.size() >= 48);
        QCOMPARE(signalNames.mid(0, 48), expected);
    }

    void openShowsFirstPageAndBuildsStrip()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        QCOMPARE(c->counterText(), u"1/3"_s);
        QCOMPARE(c->Page(), 0);
        QCOMPARE(c->PagesNumber(), 3);
        QCOMPARE(c->lNumPage(), 3);
        QCOMPARE(c->FileName(), m_three);
        QVERIFY(c->pageView()->hasPage());
        // The build is announced at once and runs after the timer.
        QVERIFY(c->ThumbsLoading());
        waitBuilt(*c);
        const auto cells = c->thumbCells();
        QVERIFY(cells.size() >= 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(cells.at(i)->isVisibleTo(c.get()));
            QCOMPARE(cells.at(i)->caption(), u"PAGINA "_s + QString::number(i + 1));
            // The thumbnail fits the cell's picture area in the page's true proportions.
            const QSize t = cells.at(i)->picture().size();
            QVERIFY(t.width() <= cells.at(i)->MaxLato() && t.height() <= cells.at(i)->MaxLato());
            QVERIFY(qAbs(double(t.height()) / t.width() - (1100.0 / 98.0) / (1728.0 / 204.0)) < 0.03);
            QVERIFY2(!cells.at(i)->picture().isNull(),
                     qPrintable(QString::number(i) + u" "_s + QString::number(cells.at(i)->MaxLato())));
        }
        QVERIFY(cells.at(0)->isSelected());
        QVERIFY(!cells.at(1)->isSelected());
    }

    void pageByCounter_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<int>("page");
        QTest::newRow("first") << 0 << u"1/3"_s << 0;
        QTest::newRow("middle") << 1 << u"2/3"_s << 1;
        QTest::newRow("last") << 2 << u"3/3"_s << 2;
        QTest::newRow("page count means last") << 3 << u"3/3"_s << 2;
        QTest::newRow("negative keeps the page") << -4 << u"2/3"_s << 1;
        QTest::newRow("far beyond keeps the page") << 99 << u"2/3"_s << 1;
    }

    void pageByCounter()
    {
        QFETCH(int, target);
        QFETCH(QString, counter);
        QFETCH(int, page);
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        c->GoToPage(1);
        c->GoToPage(target);
        QCOMPARE(c->counterText(), counter);
        QCOMPARE(c->Page(), page);
        QCOMPARE(c->ImgX()->currentIndex(), page);
        QCOMPARE(c->pageView()->page().sourcePage(), page);
    }

    void thumbnailClickShowsPage()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        // While the build runs a click is refused with a notice.
        c->thumbCells().at(0)->click();
        QCOMPARE(Prompt::lastRecord().text, u"Caricamento immagini in corso. Attendere."_s);
        waitBuilt(*c);
        Prompt::clearRecords();
        c->thumbCells().at(2)->click();
        QCOMPARE(c->Page(), 2);
        QCOMPARE(c->counterText(), u"3/3"_s);
        QVERIFY(c->thumbCells().at(2)->isSelected());
        QVERIFY(!c->thumbCells().at(0)->isSelected());
        QVERIFY(Prompt::records().isEmpty());
        // A real mouse click on the picture does the same.
        QWidget *pic = c->thumbCells().at(1)->findChild<QWidget *>(u"Picture1"_s);
        QVERIFY(pic);
        QTest::mouseClick(pic, Qt::LeftButton);
        QCOMPARE(c->Page(), 1);
    }

    void pageKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("Left goes on") << int(Qt::Key_Left) << 0 << 1;
        QTest::newRow("Down goes on") << int(Qt::Key_Down) << 1 << 2;
        QTest::newRow("PageDown goes on") << int(Qt::Key_PageDown) << 0 << 1;
        QTest::newRow("Right goes back") << int(Qt::Key_Right) << 2 << 1;
        QTest::newRow("Up goes back") << int(Qt::Key_Up) << 1 << 0;
        QTest::newRow("PageUp goes back") << int(Qt::Key_PageUp) << 1 << 0;
        QTest::newRow("Left on last stays") << int(Qt::Key_Left) << 2 << 2;
        QTest::newRow("Right on first stays") << int(Qt::Key_Right) << 0 << 0;
        QTest::newRow("other key") << int(Qt::Key_A) << 1 << 1;
    }

    void pageKeys()
    {
        QFETCH(int, key);
        QFETCH(int, from);
        QFETCH(int, to);
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        waitBuilt(*c);
        c->GoToPage(from);
        QSignalSpy keyUp(c.get(), &Lumagrid::KeyUp);
        QTest::keyClick(c->pageView(), Qt::Key(key));
        QCOMPARE(c->Page(), to);
        QCOMPARE(keyUp.count(), 1);
        // The strip's cells turn pages with the same keys.
        c->GoToPage(from);
        QWidget *pic = c->thumbCells().at(from)->findChild<QWidget *>(u"Picture1"_s);
        QTest::keyClick(pic, Qt::Key(key));
        QCOMPARE(c->Page(), to);
        QVERIFY(c->thumbCells().at(to)->isSelected());
    }

    void fitModesShowTrueProportions_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("fitType");
        QTest::newRow("best") << u"BestFit"_s << 1;
        QTest::newRow("width") << u"FitW"_s << 2;
        QTest::newRow("height") << u"FitH"_s << 3;
    }

    void fitModesShowTrueProportions()
    {
        QFETCH(QString, key);
        QFETCH(int, fitType);
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three)); // 1728 x 1100 pixels at 204 x 98 dpi
        press(*c, key);
        QCOMPARE(c->AutoZoomType(), fitType);
        QCOMPARE(c->AutoZoom(), false);
        const QSizeF s = shown(*c);
        // 1728/204 inches wide, 1100/98 inches high.
        const double trueRatio = (1100.0 / 98.0) / (1728.0 / 204.0);
        QVERIFY2(qAbs(s.height() / s.width() - trueRatio) < 0.01,
                 qPrintable(QString::number(s.height() / s.width())));
        const QSize room = c->pageView()->maximumViewportSize();
        const int bar = c->pageView()->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        if (fitType == 1) {
            QVERIFY(s.height() <= room.height() + 1 && s.width() <= room.width() + 1);
            QVERIFY(qAbs(s.height() - room.height()) <= 1 || qAbs(s.width() - room.width()) <= 1);
        } else if (fitType == 2) {
            QVERIFY(qAbs(s.width() - room.width()) <= 1 || qAbs(s.width() - (room.width() - bar)) <= 1);
        } else {
            QVERIFY(qAbs(s.height() - room.height()) <= 1 || qAbs(s.height() - (room.height() - bar)) <= 1);
        }
    }

    void toolbarPaging_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("FirstPage") << u"FirstPage"_s << 2 << 0;
        QTest::newRow("LastPage") << u"LastPage"_s << 0 << 2;
        QTest::newRow("NextPage") << u"NextPage"_s << 0 << 1;
        QTest::newRow("NextPage on last") << u"NextPage"_s << 2 << 2;
        QTest::newRow("PrevPage") << u"PrevPage"_s << 2 << 1;
        QTest::newRow("PrevPage on first") << u"PrevPage"_s << 0 << 0;
    }

    void toolbarPaging()
    {
        QFETCH(QString, key);
        QFETCH(int, from);
        QFETCH(int, to);
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        c->GoToPage(from);
        press(*c, key);
        QCOMPARE(c->Page(), to);
        QCOMPARE(c->counterText(), QString::number(to + 1) + u"/3"_s);
        QVERIFY(Prompt::records().isEmpty());
    }

    void toolbarMouseTools_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("tool");
        QTest::newRow("Pan") << u"Pan"_s << 2;
        QTest::newRow("ZoomArea") << u"ZoomArea"_s << 3;
        QTest::newRow("ZoomIn") << u"ZoomIn"_s << 5;
        QTest::newRow("ZoomOut") << u"ZoomOut"_s << 6;
    }

    void toolbarMouseTools()
    {
        QFETCH(QString, key);
        QFETCH(int, tool);
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        press(*c, key);
        QCOMPARE(c->MouseTool(), tool);
        // A click on the page with the zoom tools zooms.
        const double before = c->Zoom();
        QTest::mouseClick(c->pageView()->viewport(), Qt::LeftButton, {},
                          c->pageView()->viewport()->rect().center());
        if (tool == 5)
            QVERIFY(c->Zoom() > before);
        else if (tool == 6)
            QVERIFY(c->Zoom() < before);
        else
            QCOMPARE(c->Zoom(), before);
    }

    void toolbarTurns_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("xDpi");
        QTest::addColumn<int>("yDpi");
        QTest::newRow("90DX") << u"90DX"_s << QSize(1100, 1728) << 98 << 204;
        QTest::newRow("90SX") << u"90SX"_s << QSize(1100, 1728) << 98 << 204;
        QTest::newRow("Flip") << u"Flip"_s << QSize(1728, 1100) << 204 << 98;
    }

    void toolbarTurns()
    {
        QFETCH(QString, key);
        QFETCH(QSize, size);
        QFETCH(int, xDpi);
        QFETCH(int, yDpi);
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        const QImage before = c->Image().image();
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        press(*c, key);
        const ImgXImage page = c->Image();
        QCOMPARE(page.size(), size);
        QCOMPARE(page.xResolution(), xDpi);
        QCOMPARE(page.yResolution(), yDpi);
        QCOMPARE(c->pageView()->page().size(), size);
        QCOMPARE(changed.count(), 1); // one turn, one Changed (resolutions swap inside the step)
        QVERIFY(!c->Saved());
        // Undo gives the page back as it was, resolutions included; Redo turns it again.
        press(*c, u"Undo"_s);
        QCOMPARE(c->Image().size(), QSize(1728, 1100));
        QCOMPARE(c->Image().xResolution(), 204);
        QCOMPARE(c->Image().yResolution(), 98);
        QCOMPARE(c->Image().image(), before);
        press(*c, u"Redo"_s);
        QCOMPARE(c->Image().size(), size);
        QCOMPARE(c->Image().xResolution(), xDpi);
    }

    void flipAllTurnsEveryPageAndKeepsThePage()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        waitBuilt(*c);
        c->GoToPage(1);
        QList<QImage> before;
        for (int i = 0; i < 3; ++i)
            before << c->ImgX()->page(i).image();
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        press(*c, u"FlipAll"_s);
        QCOMPARE(changed.count(), 1); // one command, one Changed for all three pages
        QCOMPARE(c->Page(), 1);
        QCOMPARE(c->ImgX()->currentIndex(), 1);
        for (int i = 0; i < 3; ++i) {
            const QImage turned = c->ImgX()->page(i).image();
            QCOMPARE(turned.size(), before.at(i).size());
            QCOMPARE(turned.transformed(QTransform().rotate(180)), before.at(i));
        }
        // The strip is rebuilt from the turned pages.
        QVERIFY(c->ThumbsLoading());
        waitBuilt(*c);
        QVERIFY(c->thumbCells().at(1)->isSelected());
        // One Undo turns every page back, and the page shown stays.
        QCOMPARE(c->Undos(), 1);
        QCOMPARE(c->UndoText(), u"Flip All"_s);
        press(*c, u"Undo"_s);
        QCOMPARE(changed.count(), 2);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(c->ImgX()->page(i).image(), before.at(i));
        QCOMPARE(c->Page(), 1);
        QCOMPARE(c->counterText(), u"2/3"_s);
        waitBuilt(*c);
    }

    // A host's Undo and Redo do what the toolbar's do: the page the level belongs to is shown, and
    // the counter, Page() and the strip agree with it.
    void publicUndoRedoShowThePageTheyChange()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        waitBuilt(*c);
        const QImage first = c->Image().image();
        press(*c, u"90DX"_s);
        waitBuilt(*c);
        c->GoToPage(2);
        QCOMPARE(c->counterText(), u"3/3"_s);
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        QVERIFY(QMetaObject::invokeMethod(c.get(), "Undo"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(c->Page(), 0);
        QCOMPARE(c->counterText(), u"1/3"_s);
        QCOMPARE(c->ImgX()->currentIndex(), 0);
        QCOMPARE(c->pageView()->page().image(), first);
        waitBuilt(*c);
        QVERIFY(c->thumbCells().at(0)->isSelected());
        c->GoToPage(1);
        QVERIFY(QMetaObject::invokeMethod(c.get(), "Redo"));
        QCOMPARE(c->Page(), 0);
        QCOMPARE(c->counterText(), u"1/3"_s);
        QCOMPARE(c->pageView()->page().size(), QSize(1100, 1728));
        // Nothing left to redo: nothing moves.
        QVERIFY(QMetaObject::invokeMethod(c.get(), "Redo"));
        QCOMPARE(c->Page(), 0);
        QCOMPARE(changed.count(), 2);
        // A host's Undo is not held up by a strip still building (the toolbar's says "wait").
        waitBuilt(*c);
        press(*c, u"90DX"_s);
        QVERIFY(c->ThumbsLoading());
        const int undos = c->Undos();
        c->Undo();
        QCOMPARE(c->Undos(), undos - 1);
        QVERIFY(Prompt::records().isEmpty());
        waitBuilt(*c);
    }

    // Progress while loading and saving (asked for with FireProgressEvent); its Cancel stops a save
    // before anything reaches the disk and a load before the document changes.
    void progressDuringLoadAndSave()
    {
        const QString file = path(u"progress.tif"_s);
        QFile::remove(file);
        QVERIFY(QFile::copy(m_three, file));
        auto c = makeControl(false);
        QSignalSpy progress(c.get(), &Lumagrid::Progress);
        QVERIFY(c->OpenSource(file));
        QCOMPARE(progress.count(), 0); // not asked for
        QVERIFY(c->setProperty("FireProgressEvent", true));
        QVERIFY(c->OpenSource(file));
        QCOMPARE(progress.count(), 2);
        QCOMPARE(progress.at(0).at(0).toInt(), 0);
        QCOMPARE(progress.at(1).at(0).toInt(), 100);
        QVERIFY(progress.at(0).at(1).toString().contains(u"progress.tif"_s));

        press(*c, u"90DX"_s);
        progress.clear();
        QVERIFY(c->Save());
        QList<int> percents;
        for (const QList<QVariant> &e : progress)
            percents << e.at(0).toInt();
        QCOMPARE(percents, QList<int>({0, 33, 66, 99, 100}));

        // Cancelled half way: the file stays as it was, the save fails, Saved stays false.
        press(*c, u"90DX"_s);
        QVERIFY(!c->Saved());
        waitBuilt(*c);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        QSignalSpy after(c.get(), &Lumagrid::AfterSave);
        auto stop = connect(c.get(), &Lumagrid::Progress, this, [](int percent, const QString &, bool *cancel) {
            if (percent == 33)
                *cancel = true;
        });
        QVERIFY(!c->Save());
        QCOMPARE(c->lastError().number, ImgXErrorCode::Cancelled);
        QCOMPARE(after.count(), 0);
        QVERIFY(!c->Saved());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();
        disconnect(stop);

        // A load cancelled at its start keeps the document shown, and says nothing.
        connect(c.get(), &Lumagrid::Progress, this, [](int, const QString &, bool *cancel) { *cancel = true; });
        QVERIFY(!c->OpenSource(m_three));
        QVERIFY(Prompt::records().isEmpty());
    }

    // Each loaded page is handed to the host; its Cancel leaves the control empty and quiet.
    void loadedImageForEveryPage()
    {
        auto c = makeControl();
        QList<int> pages;
        QList<int> widths;
        connect(c.get(), &Lumagrid::LoadedImage, this, [&](int page, ImgXImage *image, bool *) {
            pages << page;
            widths << image->width();
        });
        QVERIFY(c->OpenSource(m_three));
        QCOMPARE(pages, QList<int>({0, 1, 2}));
        QCOMPARE(widths, QList<int>({1728, 1728, 1728}));
        auto c2 = makeControl();
        connect(c2.get(), &Lumagrid::LoadedImage, this, [](int page, ImgXImage *, bool *cancel) {
            *cancel = page == 1;
        });
        QVERIFY(!c2->OpenSource(m_three));
        QCOMPARE(c2->counterText(), u"0/0"_s);
        QVERIFY(c2->IsEmpty());
        QVERIFY(Prompt::records().isEmpty());
        // A host's selection move is told like a dragged one.
        QSignalSpy select(c.get(), &Lumagrid::SelectChanged);
        QVERIFY(QMetaObject::invokeMethod(c.get(), "SelectionMove", Q_ARG(int, 1), Q_ARG(int, 2), Q_ARG(int, 30),
                                          Q_ARG(int, 40)));
        QCOMPARE(select.count(), 1);
        QCOMPARE(select.at(0).at(2).toInt(), 30);
    }

    // Focus leaving the page view for another control asks the host to validate; Cancel keeps it.
    void validateWhenTheFocusLeavesTheView()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *c = new Lumagrid(&window);
        c->setThumbsVisible(false);
        auto *other = new QLineEdit(&window);
        layout->addWidget(c);
        layout->addWidget(other);
        window.resize(900, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window, TestWait::bound()));
        QVERIFY(c->OpenSource(m_three));
        bool refuse = true;
        QSignalSpy validate(c, &Lumagrid::Validate);
        connect(c, &Lumagrid::Validate, this, [&](bool *cancel) { *cancel = refuse; });
        c->pageView()->setFocus(Qt::MouseFocusReason);
        QUORIN_TRY_VERIFY(c->pageView()->hasFocus());
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(validate.count(), 1);
        QUORIN_TRY_VERIFY(c->pageView()->hasFocus()); // refused: the focus comes back
        refuse = false;
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(validate.count(), 2);
        QUORIN_TRY_VERIFY(other->hasFocus());
        // A view that causes no validation lets the focus go unasked.
        c->setCausesValidation(false);
        c->pageView()->setFocus(Qt::MouseFocusReason);
        QTest::mouseClick(other, Qt::LeftButton);
        QCOMPARE(validate.count(), 2);
    }

    void toolbarWithoutDocumentDoesNothing()
    {
        auto c = makeControl();
        for (const QString &key : ImgMenu::commandKeys())
            press(*c, key);
        QVERIFY(Prompt::records().isEmpty());
        QCOMPARE(c->counterText(), u"0/0"_s);
        QVERIFY(c->IsEmpty());
        // A file that did not open leaves its name but no pages: still nothing to do, nothing written.
        const QString missing = path(u"never.tif"_s);
        QVERIFY(!c->OpenSource(missing));
        for (const QString &key : ImgMenu::commandKeys())
            press(*c, key);
        QVERIFY(Prompt::records().isEmpty());
        QVERIFY(!QFile::exists(missing));
    }

    void toolbarRefusedWhileStripBuilds()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        QVERIFY(c->ThumbsLoading());
        press(*c, u"NextPage"_s);
        QCOMPARE(c->Page(), 0);
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().text, u"Caricamento immagini in corso. Attendere."_s);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
        waitBuilt(*c);
    }

    // Each control has its own build: a build in the preview never blocks the viewer.
    void buildIsPerInstance()
    {
        auto preview = makeControl();
        auto viewer = makeControl(false);
        QVERIFY(viewer->OpenSource(m_three));
        QVERIFY(preview->OpenSource(m_eight));
        QVERIFY(preview->ThumbsLoading());
        press(*viewer, u"NextPage"_s);
        QCOMPARE(viewer->Page(), 1);
        QVERIFY(Prompt::records().isEmpty());
        waitBuilt(*preview);
    }

    void saveWritesBackAndRaisesEvents()
    {
        const QString file = path(u"save.tif"_s);
        QVERIFY(FaxFixture::writeFax(file, 3));
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(file));
        press(*c, u"90DX"_s);
        QSignalSpy before(c.get(), &Lumagrid::BeforeSave);
        QSignalSpy after(c.get(), &Lumagrid::AfterSave);
        press(*c, u"Save"_s);
        QCOMPARE(before.count(), 1);
        QCOMPARE(after.count(), 1);
        QVERIFY(c->Saved());
        auto check = makeControl(false);
        QVERIFY(check->OpenSource(file));
        QCOMPARE(check->PagesNumber(), 3);
        QCOMPARE(check->Image().size(), QSize(1100, 1728));
        QCOMPARE(check->Image().xResolution(), 98);
    }

    void printFromToolbar_data()
    {
        QTest::addColumn<int>("range"); // -1: the user cancels
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("printed");
        QTest::newRow("all pages") << int(QAbstractPrintDialog::AllPages) << 0 << 0 << 3;
        QTest::newRow("current page") << int(QAbstractPrintDialog::CurrentPage) << 0 << 0 << 1;
        QTest::newRow("pages 2 to 3") << int(QAbstractPrintDialog::PageRange) << 2 << 3 << 2;
        QTest::newRow("cancelled") << -1 << 0 << 0 << 0;
    }

    void printFromToolbar()
    {
        QFETCH(int, range);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, printed);
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        c->GoToPage(1);
        const QString pdf =
            path(u"print-%1.pdf"_s.arg(QString::fromLatin1(QTest::currentDataTag())).replace(u' ', u'_'));
        c->printer()->setOutputFormat(QPrinter::PdfFormat);
        c->printer()->setOutputFileName(pdf);
        Prompt::setDialogHandler([&](QDialog *d) {
            auto *pd = qobject_cast<QPrintDialog *>(d);
            if (!pd || range < 0)
                return int(QDialog::Rejected);
            pd->setPrintRange(QAbstractPrintDialog::PrintRange(range));
            if (range == int(QAbstractPrintDialog::PageRange))
                pd->setFromTo(from, to);
            return int(QDialog::Accepted);
        });
        QSignalSpy before(c.get(), &Lumagrid::BeforePrint);
        QSignalSpy after(c.get(), &Lumagrid::AfterPrint);
        press(*c, u"Print"_s);
        Prompt::setDialogHandler({});
        QCOMPARE(before.count(), 1);
        QCOMPARE(after.count(), printed > 0 ? 1 : 0);
        QCOMPARE(pdfPages(pdf), printed);
        QCOMPARE(c->Page(), 1);
    }

    void printFailureShowsPrinterFigures()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        c->printer()->setOutputFormat(QPrinter::PdfFormat);
        c->printer()->setOutputFileName(path(u"no/such/folder/out.pdf"_s));
        Prompt::setDialogHandler([](QDialog *) { return int(QDialog::Accepted); });
        QSignalSpy after(c.get(), &Lumagrid::AfterPrint);
        press(*c, u"Print"_s);
        Prompt::setDialogHandler({});
        QCOMPARE(after.count(), 0);
        QCOMPARE(Prompt::records().size(), 2); // the print dialog, then the error box
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        const QStringList lines = Prompt::lastRecord().text.split(u"\r\n"_s);
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines.at(0), u"Si è verificato il seguente errore:"_s);
        QCOMPARE(lines.at(4), u"Riferimenti:"_s);
        QVERIFY(lines.at(6).startsWith(u"PAPER  ["_s));
        QVERIFY(lines.at(7).startsWith(u"PAGE   ["_s));
        QVERIFY(lines.at(8).startsWith(u"DIMS   ["_s));
        QCOMPARE(lines.at(10), u"Numero: 1000"_s);
    }

    void printSource()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_one));
        const QString pdf = path(u"printsource.pdf"_s);
        c->printer()->setOutputFormat(QPrinter::PdfFormat);
        c->printer()->setOutputFileName(pdf);
        QSignalSpy after(c.get(), &Lumagrid::AfterPrint);
        QVERIFY(!c->PrintSource(path(u"nothing.tif"_s)));
        QVERIFY(Prompt::records().isEmpty());
        QVERIFY(c->PrintSource(m_three));
        QCOMPARE(pdfPages(pdf), 3);
        QCOMPARE(after.count(), 0);
        // The document shown stays.
        QVERIFY(c->pageView()->hasPage());
        QCOMPARE(c->PagesNumber(), 1);
        QCOMPARE(c->ImgX()->count(), 1);
    }

    void convertLeavesTheShownDocument()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        c->GoToPage(2);
        const QString png = path(u"page2.png"_s);
        QVERIFY(c->ConvertImagePage(m_three, png, imgPNG, 1));
        QImage written(png);
        QCOMPARE(written.width(), 1728);
        QVERIFY(c->ConvertImage(m_three, path(u"page1.bmp"_s), imgBMP));
        QVERIFY(QFile::exists(path(u"page1.bmp"_s)));
        // A missing source fails quietly.
        QVERIFY(!c->ConvertImage(path(u"absent.tif"_s), path(u"absent.png"_s), imgPNG));
        QVERIFY(!QFile::exists(path(u"absent.png"_s)));
        QVERIFY(Prompt::records().isEmpty());
        // The document shown is untouched.
        QCOMPARE(c->ImgX()->count(), 3);
        QCOMPARE(c->Page(), 2);
        QCOMPARE(c->pageView()->page().sourcePage(), 2);
    }

    void openSourceFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("showError");
        QTest::addColumn<bool>("message");
        QTest::newRow("empty, quiet") << QString() << false << false;
        QTest::newRow("empty, loud") << QString() << true << true;
        QTest::newRow("missing, quiet") << u"missing.tif"_s << false << false;
        QTest::newRow("missing, loud") << u"missing.tif"_s << true << true;
        // A damaged file resets quietly either way.
        QTest::newRow("damaged, quiet") << u"damaged.tif"_s << false << false;
        QTest::newRow("damaged, loud") << u"damaged.tif"_s << true << false;
        QTest::newRow("empty file") << u"zero.tif"_s << true << false;
        QTest::newRow("text file") << u"notes.tif"_s << true << false;
        QTest::newRow("folder") << u"folder"_s << true << true;
    }

    void openSourceFailures()
    {
        QFETCH(QString, name);
        QFETCH(bool, showError);
        QFETCH(bool, message);
        const QString file = name.isEmpty() ? QString() : path(name);
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        waitBuilt(*c);
        Prompt::clearRecords();
        QVERIFY(!c->OpenSource(file, showError));
        QCOMPARE(c->FileName(), file);
        QCOMPARE(c->counterText(), u"0/0"_s);
        QVERIFY(!c->pageView()->hasPage());
        QVERIFY(c->IsEmpty());
        QVERIFY(!c->ThumbsLoading());
        for (ThumbCtl *cell : c->thumbCells())
            QVERIFY(!cell->isVisibleTo(c.get()));
        if (message) {
            QCOMPARE(Prompt::records().size(), 1);
            QCOMPARE(Prompt::lastRecord().text, u"File non trovato!"_s);
            QCOMPARE(Prompt::lastRecord().title, u"Attenzione"_s);
            QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        } else {
            QVERIFY(Prompt::records().isEmpty());
        }
        // The toolbar has no document to work on now (a missing name still counts as a name).
        // Opening a good file afterwards works as before.
        QVERIFY(c->OpenSource(m_three));
        QCOMPARE(c->counterText(), u"1/3"_s);
        waitBuilt(*c);
    }

    void damagedPageIsReportedOthersStay()
    {
        const QString file = path(u"badpage.tif"_s);
        QVERIFY(FaxFixture::writeFaxWithBadPage(file, 3, 1));
        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        waitBuilt(*c);
        QVERIFY(c->thumbCells().at(1)->picture().isNull());
        QVERIFY(!c->thumbCells().at(2)->picture().isNull());
        Prompt::clearRecords();
        c->GoToPage(1);
        QCOMPARE(c->counterText(), u"2/3"_s);
        QCOMPARE(Prompt::records().size(), 1);
        QVERIFY(Prompt::lastRecord().text.startsWith(u"Si è verificato il seguente errore:"_s));
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        c->GoToPage(2);
        QVERIFY(c->pageView()->hasPage());
        QCOMPARE(Prompt::records().size(), 1);
    }

    // A page whose directory cannot be read is no page: the others open, counted without it, and the
    // user is told how many were lost before working on (or saving) the rest.
    void unreadablePagesAreLeftOutAndTold()
    {
        const QString file = path(u"lostpage.tif"_s);
        // The pages after the second sit one place lower in the document than in the file.
        QVERIFY(FaxFixture::writeFaxWithLostPage(file, 4, 1));

        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        QCOMPARE(c->PagesNumber(), 3);
        QCOMPARE(c->counterText(), u"1/3"_s);
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().text, u"1 pagina del file non è leggibile e non viene mostrata."_s);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
        waitBuilt(*c);
        // Each thumbnail shows its own page (the pages differ), none is left blank.
        const auto cells = c->thumbCells().mid(0, 3);
        for (const auto *cell : cells)
            QVERIFY(!cell->picture().isNull());
        QVERIFY(cells.at(0)->picture().toImage() != cells.at(1)->picture().toImage());
        QVERIFY(cells.at(1)->picture().toImage() != cells.at(2)->picture().toImage());
        c->GoToPage(3);
        QCOMPARE(c->counterText(), u"3/3"_s);
        // A file without lost pages says nothing.
        Prompt::clearRecords();
        QVERIFY(c->OpenSource(m_three));
        waitBuilt(*c);
        QVERIFY(Prompt::records().isEmpty());
    }

    void missingFileKeepsPageCounts()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        c->GoToPage(2);
        QVERIFY(!c->OpenSource(path(u"nope.tif"_s)));
        QCOMPARE(c->lNumPage(), 3);
        QCOMPARE(c->Page(), 2);
    }

    void puliziaEmptiesButKeepsNameAndCounter()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        waitBuilt(*c);
        c->GoToPage(1);
        QVERIFY(!c->Pulizia().isValid());
        QCOMPARE(c->FileName(), m_three);
        QCOMPARE(c->counterText(), u"2/3"_s);
        QVERIFY(c->IsEmpty());
        QVERIFY(!c->Saved());
        QVERIFY(!c->pageView()->hasPage());
        for (ThumbCtl *cell : c->thumbCells())
            QVERIFY(cell->picture().isNull());
        // A page change on an empty control shows nothing and does not crash.
        c->GoToPage(0);
        QVERIFY(!c->pageView()->hasPage());
    }

    void fileNameKeepsNameOnly()
    {
        auto c = makeControl(false);
        QVERIFY(c->setFileName(m_three));
        QCOMPARE(c->FileName(), m_three);
        QVERIFY(c->IsEmpty());
        QCOMPARE(c->counterText(), u"0/0"_s);
        QVERIFY(!c->setFileName(u"ab"_s)); // too short, kept anyway
        QCOMPARE(c->FileName(), u"ab"_s);
        QVERIFY(c->OpenSource(m_three));
        QVERIFY(!c->OpenSource(QString()));
        QCOMPARE(c->FileName(), QString());
    }

    void stripScrollsByFrames()
    {
        auto c = makeControl();
        c->resize(900, 400);
        QVERIFY(c->OpenSource(m_eight));
        waitBuilt(*c);
        auto *bar = c->findChild<QScrollBar *>(u"VScroll2"_s);
        QVERIFY(bar);
        QVERIFY(c->ThumbsPerView() > 0);
        QVERIFY(c->ThumbsPerView() < 8);
        QVERIFY(bar->isVisibleTo(c.get()));
        auto *inner = c->findChild<QWidget *>(u"PicInt"_s);
        bar->setValue(1);
        QCOMPARE(inner->y(), -c->thumbCells().at(c->ThumbsPerView())->y());
        // Going to the last page scrolls its cell into view.
        c->GoToPage(7);
        QCOMPARE(bar->value(), 7 / c->ThumbsPerView());
    }

    void onePageStrip()
    {
        auto c = makeControl();
        // On an empty control a build changes nothing.
        c->ThumbsGenerate();
        QVERIFY(!c->ThumbsLoading());
        QCOMPARE(c->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(c->OpenSource(m_one));
        waitBuilt(*c);
        QCOMPARE(c->thumbCells().first()->caption(), u"PAGINA 1"_s);
        QVERIFY(c->thumbCells().first()->isSelected());
        QCOMPARE(c->ThumbsPerView(), 0);
        QVERIFY(!c->findChild<QScrollBar *>(u"VScroll2"_s)->isVisibleTo(c.get()));
        QCOMPARE(c->cursor().shape(), Qt::ArrowCursor); // the pointer is back to normal
    }

    void switchHidesAndRebuilds()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        auto *sw = c->findChild<QScrollBar *>(u"ThShowHide"_s);
        QVERIFY(sw);
        // Hiding during the build stops it and hides every cell: a click on the switch's arrow.
        QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(sw->width() - 3, sw->height() / 2));
        QVERIFY(!c->ThumbsVisible());
        QVERIFY(!c->ThumbsLoading());
        QVERIFY(!c->findChild<QWidget *>(u"PicExt"_s)->isVisible());
        QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(sw->width() - 3, sw->height() / 2));
        QVERIFY(c->ThumbsVisible());
        QUORIN_TRY_VERIFY(c->thumbCells().size() >= 3 && c->thumbCells().at(2)->isVisibleTo(c.get()));
        waitBuilt(*c);
    }

    void lowResolutionFaxPage()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_one)); // Group 3, 204 x 98
        QCOMPARE(c->counterText(), u"1/1"_s);
        const QSizeF s = shown(*c);
        QVERIFY(qAbs(s.height() / s.width() - (1100.0 / 98.0) / (1728.0 / 204.0)) < 0.01);
    }

    void zoomSmoothingFollowsZoom()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_one));
        QSignalSpy spy(c.get(), &Lumagrid::BeforeZoomChanged);
        c->setZoom(5.0);
        QVERIFY(c->AntialiasDisplay());
        c->setZoom(5.01);
        QVERIFY(!c->AntialiasDisplay());
        QCOMPARE(spy.count(), 2);
    }

    void panAndZoomAreaByDragging()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        QWidget *vp = c->pageView()->viewport();
        const QPoint centre = vp->rect().center();
        // Zoom to a dragged area: the area fills the view.
        press(*c, u"ZoomArea"_s);
        const double fitted = c->Zoom();
        QTest::mousePress(vp, Qt::LeftButton, {}, centre - QPoint(20, 20));
        QTest::mouseMove(vp, centre + QPoint(20, 20));
        QTest::mouseRelease(vp, Qt::LeftButton, {}, centre + QPoint(20, 20));
        QVERIFY(c->Zoom() > fitted * 4);
        // Pan: dragging left and up shows more of the right and lower part.
        press(*c, u"Pan"_s);
        const int left = c->ScrollLeft(), top = c->ScrollTop();
        QSignalSpy panned(c.get(), &Lumagrid::PanChanged);
        QTest::mousePress(vp, Qt::LeftButton, {}, centre);
        QTest::mouseMove(vp, centre - QPoint(30, 25));
        QTest::mouseRelease(vp, Qt::LeftButton, {}, centre - QPoint(30, 25));
        QCOMPARE(c->ScrollLeft(), left + 30);
        QCOMPARE(c->ScrollTop(), top + 25);
        QCOMPARE(panned.count(), 1);
    }

    void wheelScrollsAndZooms()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        press(*c, u"FitW"_s); // taller than the view: it scrolls
        QWidget *vp = c->pageView()->viewport();
        QSignalSpy wheel(c.get(), &Lumagrid::MouseWheelScroll);
        const QPointF at = QPointF(vp->rect().center());
        QWheelEvent down(at, vp->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &down);
        QVERIFY(c->ScrollTop() > 0);
        const double zoom = c->Zoom();
        QWheelEvent in(at, vp->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &in);
        QVERIFY(c->Zoom() > zoom);
        QCOMPARE(wheel.count(), 2);
        QCOMPARE(wheel.at(1).at(1).toInt(), 2); // the Control key
    }

    void centringBorderAndBackColour()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        c->setZoom(0.1); // far smaller than the view
        const QSize vp = c->pageView()->viewport()->size();
        QRectF r = c->pageView()->pageRect();
        QVERIFY(qAbs(r.center().x() - vp.width() / 2.0) <= 1);
        QVERIFY(qAbs(r.center().y() - vp.height() / 2.0) <= 1);
        c->setCenter(false);
        c->setImageBorderThickness(4);
        r = c->pageView()->pageRect();
        QCOMPARE(r.topLeft(), QPointF(4, 4));
        c->setBackColor(QColor(128, 255, 255));
        c->setImageBorderColor(Qt::red);
        const QImage shot = c->pageView()->viewport()->grab().toImage();
        const qreal k = shot.devicePixelRatio(); // logical to grabbed pixels
        const auto at = [&](double x, double y) { return QColor(shot.pixel(int(x * k), int(y * k))); };
        QCOMPARE(at(vp.width() - 2, vp.height() - 2), QColor(128, 255, 255));
        QCOMPARE(at(1, 1), QColor(Qt::red));
        // The page itself: white paper with the black bar at the top left.
        QVERIFY(qGray(at(r.left() + 2, r.bottom() - 2).rgb()) > 200);
    }

    // A BMP of 64x48 at `bits` a pixel with `table` and that many entries in biClrUsed: index 0 on the
    // left half, index 1 on the right.
    static QByteArray halvesBmp(int bits, const QList<QRgb> &table)
    {
        const int w = 64, h = 48, stride = (w * bits + 31) / 32 * 4;
        QByteArray d;
        const auto le = [&d](quint32 v, int bytes) {
            for (int i = 0; i < bytes; ++i)
                d.append(char((v >> (8 * i)) & 0xff));
        };
        const quint32 offset = 14 + 40 + 4 * quint32(table.size());
        d.append("BM");
        for (const quint32 v : {offset + quint32(stride * h), 0u, offset, 40u, quint32(w), quint32(h)})
            le(v, 4);
        le(1, 2);
        le(quint32(bits), 2);
        for (const quint32 v : {0u, quint32(stride * h), 3780u, 3780u, quint32(table.size()), 0u})
            le(v, 4);
        for (const QRgb c : table)
            d.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
        QByteArray row(stride, '\0');
        const int perByte = 8 / bits;
        for (int x = w / 2; x < w; ++x)
            row[x / perByte] = char(row[x / perByte] | 1 << (perByte - 1 - x % perByte) * bits);
        for (int y = 0; y < h; ++y)
            d.append(row);
        return d;
    }

    void paletteBmpShowsItsColours_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QList<QRgb>>("table");
        const QRgb red = qRgb(220, 0, 0), blue = qRgb(0, 0, 230);
        QTest::newRow("1-bit red and blue") << 1 << QList<QRgb>{red, blue};
        QTest::newRow("1-bit red alone") << 1 << QList<QRgb>{red}; // index 1 past the table: black
        QTest::newRow("4-bit blue alone") << 4 << QList<QRgb>{blue};
    }

    // The page, its thumbnail and the file saved back show the colours of the file's table.
    void paletteBmpShowsItsColours()
    {
        QFETCH(int, bits);
        QFETCH(QList<QRgb>, table);
        const QColor left(table.at(0)), right(table.size() > 1 ? table.at(1) : qRgb(0, 0, 0));
        const QString file = path(u"palette.bmp"_s);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(halvesBmp(bits, table));
        }
        auto c = makeControl(true);
        QVERIFY(c->OpenSource(file));
        QVERIFY(c->pageView()->hasPage());
        const QRectF r = c->pageView()->pageRect();
        const QImage shot = c->pageView()->viewport()->grab().toImage();
        const qreal k = shot.devicePixelRatio();
        const auto at = [&](double fx) {
            return QColor(shot.pixel(int((r.left() + fx * r.width()) * k), int(r.center().y() * k)));
        };
        QCOMPARE(at(0.25), left);
        QCOMPARE(at(0.75), right);
        waitBuilt(*c);
        const QImage thumb = c->thumbCells().at(0)->picture().toImage();
        QVERIFY(!thumb.isNull());
        QCOMPARE(QColor(thumb.pixel(thumb.width() / 4, thumb.height() / 2)), left);
        QCOMPARE(QColor(thumb.pixel(thumb.width() * 3 / 4, thumb.height() / 2)), right);
        press(*c, u"90DX"_s);
        waitBuilt(*c);
        press(*c, u"Save"_s);
        QVERIFY(c->Saved());
        auto check = makeControl(false);
        QVERIFY(check->OpenSource(file));
        const QImage back = check->Image().image();
        QCOMPARE(back.size(), QSize(48, 64));
        QCOMPARE(QColor(back.pixel(24, 16)), left);
        QCOMPARE(QColor(back.pixel(24, 48)), right);
    }

    void windowsHandlesAreZero()
    {
        Lumagrid c;
        QCOMPARE(c.hWnd(), 0);
        QCOMPARE(c.hDC(), 0);
    }

    void keptPropertiesNotify()
    {
        Lumagrid c;
        QSignalSpy spy(&c, &Lumagrid::propertyChanged);
        c.letEnabled(false);
        QCOMPARE(c.Enabled(), false);
        QVERIFY(c.isEnabled()); // kept only
        c.setZoom(2.0);
        c.setWorkType(Viewer);
        c.setAskResSaveAs(true);
        QStringList names;
        for (const auto &args : spy)
            names << args.at(0).toString();
        QCOMPARE(names, QStringList({u"Enabled"_s, u"Zoom"_s, u"WorkType"_s, u"AskResSaveAs"_s}));
        QCOMPARE(c.WorkType(), Viewer);
        QVERIFY(c.AskResSaveAs());
    }

    void hostCancelsToolChange()
    {
        auto c = makeControl(false);
        QVERIFY(c->OpenSource(m_three));
        press(*c, u"ZoomIn"_s);
        connect(c.get(), &Lumagrid::BeforeMouseToolChange, c.get(), [](int *tool, QCursor *, bool *cancel) {
            if (*tool == 2)
                *cancel = true;
        });
        press(*c, u"Pan"_s);
        QCOMPARE(c->MouseTool(), 5);
        press(*c, u"ZoomOut"_s);
        QCOMPARE(c->MouseTool(), 6);
        // A host may also change the zoom being set.
        connect(c.get(), &Lumagrid::BeforeZoomChanged, c.get(), [](double *zoom) { *zoom = 0.5; });
        c->setZoom(3.0);
        QCOMPARE(c->Zoom(), 0.5);
        // Writing the page itself is no property change.
        QSignalSpy props(c.get(), &Lumagrid::propertyChanged);
        c->setImage(c->Image());
        QCOMPARE(props.count(), 0);
    }

    void minimumSize()
    {
        Lumagrid c;
        c.resize(10, 10);
        QVERIFY(c.width() >= int(5800 * c.logicalDpiX() / 1440.0) - 1);
        QVERIFY(c.height() >= int(2850 * c.logicalDpiY() / 1440.0) - 1);
    }
};

QTEST_MAIN(TestLumagrid)
#include "tst_lumagrid.moc"
