// Editing with the Lumagrid control: page resolution, marking rectangles, wheel zoom, logo stamping.
#include "ControlTest.h"
#include "FaxFixture.h"
#include "LumagridDocument.h"
#include "PageView.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QWheelEvent>

using namespace Qt::StringLiterals;
using ControlTest::makeControl;
using ControlTest::press;

class TestLumagridEdit : public QObject
{
    Q_OBJECT

private:
    TestHome m_dir;
    QString m_three, m_fine;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Answers the next resolution dialog: types x and y and presses OK, or presses Cancel (x < 0).
    static void answerResolution(const QString &x, const QString &y, QStringList *shown = nullptr)
    {
        Prompt::setDialogHandler([=](QDialog *d) {
            if (d->objectName() != u"frmResolution"_s)
                return int(QDialog::Rejected);
            auto *tx = d->findChild<QLineEdit *>(u"txtXdpi"_s);
            auto *ty = d->findChild<QLineEdit *>(u"txtYdpi"_s);
            if (shown)
                *shown = {tx->text(), ty->text()};
            if (x == u"cancel"_s) {
                d->findChild<QPushButton *>(u"cmdCancel"_s)->click();
                return d->result();
            }
            tx->setText(x);
            ty->setText(y);
            d->findChild<QPushButton *>(u"cmdOK"_s)->click();
            return d->result();
        });
    }

    // Drags the draw tool over the page from view point a to b.
    static void drag(Lumagrid &c, QPoint a, QPoint b)
    {
        QWidget *vp = c.pageView()->viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, a);
        QTest::mouseMove(vp, (a + b) / 2);
        QTest::mouseMove(vp, b);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, b);
    }

    static QPoint viewPoint(const Lumagrid &c, QPointF pixel)
    {
        const PageView *v = c.pageView();
        return (v->pageRect().topLeft() + v->page().mapping().pixelToView(pixel, v->Zoom())).toPoint();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ControlTest::isolate(m_dir);
        m_three = path(u"three.tif"_s);
        m_fine = path(u"fine.tif"_s);
        QVERIFY(FaxFixture::writeFax(m_three, 3));
        QVERIFY(FaxFixture::writeFax(m_fine, 1, 1728, 2200, 204, 196));
    }

    void init() { Prompt::clearRecords(); }
    void cleanup() { Prompt::setDialogHandler({}); }

    // ---- page resolution ----------------------------------------------------------------------

    void resolutionResamplesEveryPage()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        c->GoToPage(1);
        QStringList shown;
        answerResolution(u"204"_s, u"196"_s, &shown);
        QVERIFY(press(*c, u"Resolution"_s));
        QCOMPARE(shown, QStringList({u"204"_s, u"98"_s}));
        for (const ImgXImage &page : c->ImgX()->pages()) {
            QCOMPARE(page.size(), QSize(1728, 2200));
            QCOMPARE(page.xResolution(), 204);
            QCOMPARE(page.yResolution(), 196);
        }
        QCOMPARE(c->Page(), 1);
        QCOMPARE(c->ImgX()->currentIndex(), 1);
        QCOMPARE(c->pageView()->page().size(), QSize(1728, 2200));
        QVERIFY(!c->Saved());
    }

    // Every page changed by one Resolution comes back with one Undo, even past the undo levels kept.
    void resolutionIsOneUndoStep()
    {
        const QString eight = path(u"eight.tif"_s);
        QVERIFY(FaxFixture::writeFax(eight, 8));
        auto c = makeControl();
        QVERIFY(c->OpenSource(eight));
        QCOMPARE(c->UndoLevels(), 5);
        c->GoToPage(2);
        answerResolution(u"204"_s, u"196"_s);
        QVERIFY(press(*c, u"Resolution"_s));
        QCOMPARE(c->Undos(), 1);
        QCOMPARE(c->UndoText(), u"Resolution"_s);
        QVERIFY(press(*c, u"Undo"_s));
        for (const ImgXImage &page : c->ImgX()->pages()) {
            QCOMPARE(page.size(), QSize(1728, 1100));
            QCOMPARE(page.yResolution(), 98);
        }
        QCOMPARE(c->Page(), 2);
        QVERIFY(press(*c, u"Redo"_s));
        for (const ImgXImage &page : c->ImgX()->pages())
            QCOMPARE(page.size(), QSize(1728, 2200));
    }

    // A picture whose file says 1/65536 dpi (as some programs write "none") has the format's own
    // resolution: the dialog offers it and the command divides by nothing smaller than 1.
    void resolutionOfAPageWithoutOne()
    {
        // A grey 8 x 4 Photoshop file, raw, with a resolution resource of 1/65536 dpi.
        QByteArray psd("8BPS\0\1\0\0\0\0\0\0\0\1\0\0\0\4\0\0\0\x08\0\x08\0\1\0\0\0\0", 30);
        psd += QByteArray("\0\0\0\x1c"
                          "8BIM\x03\xed\0\0\0\0\0\x10",
                          16);
        psd += QByteArray("\0\0\0\1\0\1\0\1\0\0\0\1\0\1\0\1", 16);
        psd += QByteArray("\0\0\0\0\0\0", 6) + QByteArray(32, '\x80');
        const QString file = path(u"no-resolution.psd"_s);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(psd);
        f.close();
        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        QCOMPARE(c->Image().size(), QSize(8, 4));
        QCOMPARE(c->Image().xResolution(), 72);
        QCOMPARE(c->Image().yResolution(), 72);
        QStringList shown;
        answerResolution(u"144"_s, u"216"_s, &shown);
        QVERIFY(press(*c, u"Resolution"_s));
        QCOMPARE(shown, QStringList({u"72"_s, u"72"_s}));
        QCOMPARE(c->Image().size(), QSize(16, 12));
        QCOMPARE(c->Image().xResolution(), 144);
    }

    void resolutionRefusals_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<QString>("message"); // start of the message shown, empty for none
        const QString invalid = u"Attenzione!! Valore di X o Y non validi. Impossibile Confermare!"_s;
        QTest::newRow("cancel") << u"cancel"_s << QString() << QString();
        QTest::newRow("empty box") << QString() << u"196"_s << invalid;
        QTest::newRow("zero") << u"0"_s << u"196"_s << invalid;
        // Boxes take four digits; a page that would grow past any sane size is refused whole.
        QTest::newRow("too large") << u"99999"_s << u"99999"_s << u"Si è verificato"_s;
    }

    void resolutionRefusals()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(QString, message);
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        answerResolution(x, y);
        QVERIFY(press(*c, u"Resolution"_s));
        QCOMPARE(Prompt::records().size(), message.isEmpty() ? 1 : 2);
        if (!message.isEmpty()) {
            QVERIFY(Prompt::records().at(1).text.startsWith(message));
            QCOMPARE(Prompt::records().at(1).icon, QMessageBox::Critical);
        }
        QCOMPARE(changed.count(), 0);
        QCOMPARE(c->Image().size(), QSize(1728, 1100));
        QCOMPARE(c->Image().yResolution(), 98);
    }

    void resolutionBoxesTakeDigitsOnly()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        QString typed;
        Prompt::setDialogHandler([&](QDialog *d) {
            auto *tx = d->findChild<QLineEdit *>(u"txtXdpi"_s);
            tx->clear();
            QTest::keyClicks(tx, u"2a-0.4"_s);
            typed = tx->text();
            return int(QDialog::Rejected);
        });
        QVERIFY(press(*c, u"Resolution"_s));
        QCOMPARE(typed, u"204"_s);
    }

    void saveAsAsksResolutionFirst()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        c->setAskResSaveAs(true);
        QStringList dialogs;
        Prompt::setDialogHandler([&](QDialog *d) {
            dialogs << d->objectName();
            return int(QDialog::Rejected);
        });
        QVERIFY(press(*c, u"SaveAs"_s));
        QCOMPARE(dialogs, QStringList({u"frmResolution"_s, u"Dialog"_s}));
        c->setAskResSaveAs(false);
        dialogs.clear();
        QVERIFY(press(*c, u"SaveAs"_s));
        QCOMPARE(dialogs, QStringList({u"Dialog"_s}));
    }

    // ---- marking rectangles -------------------------------------------------------------------

    void markingRectangles_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QRgb>("colour"); // expected inside the mark, on a white page area
        QTest::addColumn<bool>("bilevel");
        QTest::addColumn<int>("compression"); // of the 204 x 98 page: 3 makes it a low-resolution fax
        QTest::newRow("black") << u"BlackRec"_s << qRgb(0, 0, 0) << true << 4;
        QTest::newRow("white") << u"WhiteRec"_s << qRgb(255, 255, 255) << true << 4;
        // 75 of 255 yellow over white: the blue falls to about 255 - 75.
        QTest::newRow("highlight") << u"Evidenzia"_s << qRgb(255, 255, 180) << false << 4;
        QTest::newRow("black, group 3") << u"BlackRec"_s << qRgb(0, 0, 0) << true << 3;
        QTest::newRow("highlight, group 3") << u"Evidenzia"_s << qRgb(255, 255, 180) << false << 3;
    }

    // On a 204 x 98 page the rectangle lands on the page rows the user saw it over, once; one undo
    // level takes it back; Saved follows the change.
    void markingRectangles()
    {
        QFETCH(QString, key);
        QFETCH(QRgb, colour);
        QFETCH(bool, bilevel);
        QFETCH(int, compression);
        const QString file = path(u"mark.tif"_s);
        QVERIFY(FaxFixture::writeFax(file, 1, 1728, 1100, 204, 98, compression));
        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        c->setZoom(1.0);
        QVERIFY(press(*c, u"Save"_s));
        QVERIFY(c->Saved());
        QVERIFY(press(*c, key));
        QCOMPARE(c->MouseTool(), 9);
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        QSignalSpy draw(c.get(), &Lumagrid::BeforeMouseToolDraw);
        QSignalSpy selecting(c.get(), &Lumagrid::SelectChanged);
        QList<QRect> drawn;
        connect(c.get(), &Lumagrid::BeforeMouseToolDraw, this,
                [&](int *sx, int *sy, int *ex, int *ey, bool *) {
                    drawn << QRect(QPoint(*sx, *sy), QPoint(*ex - 1, *ey - 1));
                });
        // Page pixels (100, 600) to (300, 700): a white area below the fixture's black bar.
        drag(*c, viewPoint(*c, {100, 600}), viewPoint(*c, {300, 700}));
        // A low-resolution fax page is marked by the control alone: the host is not asked.
        const bool lowRes = compression == 3;
        QCOMPARE(draw.count(), lowRes ? 0 : 1);
        QCOMPARE(changed.count(), 1);
        QVERIFY(!c->Saved());
        QCOMPARE(c->Undos(), 1);
        const QRect r = lowRes ? QRect(QPoint(100, 600), QPoint(300, 700)) : drawn.value(0);
        // The host followed the selection as it grew: once per move that covered other pixels.
        QCOMPARE(selecting.count(), 2);
        const QList<QVariant> last = selecting.last();
        const QRect seen(last.at(0).toInt(), last.at(1).toInt(), last.at(2).toInt(), last.at(3).toInt());
        QVERIFY2(qAbs(seen.top() - 600) <= 2 && qAbs(seen.bottom() - 700) <= 2 && qAbs(seen.left() - 100) <= 2,
                 qPrintable(u"%1,%2 %3x%4"_s.arg(seen.x()).arg(seen.y()).arg(seen.width()).arg(seen.height())));
        QVERIFY2(qAbs(r.top() - 600) <= 2 && qAbs(r.bottom() - 700) <= 2,
                 qPrintable(u"rows %1..%2"_s.arg(r.top()).arg(r.bottom())));
        QVERIFY(qAbs(r.left() - 100) <= 2 && qAbs(r.right() - 300) <= 2);
        const ImgXImage page = c->Image();
        QCOMPARE(page.isBilevel(), bilevel);
        QCOMPARE(page.size(), QSize(1728, 1100));
        QCOMPARE(page.image().pixel(200, 650) & 0xffffff, colour & 0xffffff);
        if (key == u"Evidenzia"_s)
            QVERIFY(qAbs(qBlue(page.image().pixel(200, 650)) - 180) <= 2);
        // Outside the mark the page is as it was.
        QCOMPARE(page.image().pixel(200, 720) & 0xffffff, 0xffffffu);
        QVERIFY(press(*c, u"Undo"_s));
        QCOMPARE(c->Undos(), 0);
        QCOMPARE(c->Image().image().pixel(200, 650) & 0xffffff, 0xffffffu);
    }

    void hostCancelsTheMark()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_fine));
        QVERIFY(press(*c, u"BlackRec"_s));
        connect(c.get(), &Lumagrid::BeforeMouseToolDraw, this,
                [](int *, int *, int *, int *, bool *cancel) { *cancel = true; });
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        drag(*c, viewPoint(*c, {100, 1200}), viewPoint(*c, {400, 1500}));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(c->Undos(), 0);
    }

    // ---- wheel --------------------------------------------------------------------------------

    void wheelZoomsWithZoomTools_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<int>("notches");
        QTest::addColumn<double>("factor"); // 0: no zoom change
        QTest::newRow("zoom in, forward") << u"ZoomIn"_s << 1 << 1.1;
        QTest::newRow("zoom out, back") << u"ZoomOut"_s << -1 << 0.9;
        QTest::newRow("area, back ten") << u"ZoomArea"_s << -10 << -1.0; // to the smallest zoom
        QTest::newRow("pan keeps zoom") << u"Pan"_s << 1 << 0.0;
    }

    void wheelZoomsWithZoomTools()
    {
        QFETCH(QString, tool);
        QFETCH(int, notches);
        QFETCH(double, factor);
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_fine));
        QVERIFY(press(*c, tool));
        const double zoom = c->Zoom();
        QSignalSpy wheel(c.get(), &Lumagrid::MouseWheelScroll);
        QWidget *vp = c->pageView()->viewport();
        const QPointF at = QPointF(vp->rect().center());
        QWheelEvent e(at, vp->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &e);
        QCOMPARE(wheel.count(), 1);
        QCOMPARE(wheel.at(0).at(0).toInt(), 3 * notches);
        if (factor > 0)
            QVERIFY(qAbs(c->Zoom() - zoom * factor) < 1e-6);
        else if (factor < 0)
            QCOMPARE(c->Zoom(), 0.01);
        else
            QCOMPARE(c->Zoom(), zoom);
    }
    // ---- logo stamping ------------------------------------------------------------------------

    // Fills the logo dialog: file, opacity, position, alpha; then OK (or Cancel when ok is false).
    static void answerLogo(const QString &file, const QString &opacity, int x, int y, bool alpha,
                           bool ok = true, QString *opacityAfter = nullptr)
    {
        Prompt::setDialogHandler([=](QDialog *d) {
            if (d->objectName() != u"frmImage"_s)
                return int(QDialog::Rejected);
            Prompt::setNextFileName(file);
            d->findChild<QPushButton *>(u"cmdBrowse"_s)->click();
            d->findChild<QLineEdit *>(u"txtOpacity"_s)->setText(opacity);
            d->findChild<QLineEdit *>(u"txtX"_s)->setText(QString::number(x));
            d->findChild<QLineEdit *>(u"txtY"_s)->setText(QString::number(y));
            d->findChild<QCheckBox *>(u"chkAlpha"_s)->setChecked(alpha);
            d->findChild<QPushButton *>(ok ? u"cmdOK"_s : u"cmdCancel"_s)->click();
            if (opacityAfter)
                *opacityAfter = d->findChild<QLineEdit *>(u"txtOpacity"_s)->text();
            return d->result();
        });
    }

    QString logoFile(const QString &name, bool alpha)
    {
        QImage logo(40, 20, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        logo.fill(alpha ? qRgba(255, 0, 0, 255) : qRgb(0, 0, 255));
        if (alpha)
            logo.setPixel(0, 0, qRgba(0, 0, 0, 0)); // a transparent corner
        const QString file = path(name);
        return logo.save(file) ? file : QString();
    }

    void logoWithAlphaIsStampedAtOnce()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_fine));
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        answerLogo(logoFile(u"alpha.png"_s, true), u"255"_s, 100, 1200, true);
        QVERIFY(press(*c, u"AddLogo"_s));
        QVERIFY(!c->PlacingLogo());
        QVERIFY(!c->pageView()->hasOverlay());
        QCOMPARE(Prompt::records().at(2).text,
                 u"Trascinare il logo nella posizione desiderata e fare doppio click."_s);
        const QImage page = c->Image().image();
        QCOMPARE(page.pixel(110, 1210) & 0xffffff, qRgb(255, 0, 0) & 0xffffff);
        QCOMPARE(page.pixel(100, 1200) & 0xffffff, 0xffffffu); // the transparent corner
        QCOMPARE(page.pixel(145, 1210) & 0xffffff, 0xffffffu); // right of the logo
        QCOMPARE(c->UndoText(), u"Insert Logo"_s);
        QCOMPARE(changed.count(), 1);
        QVERIFY(press(*c, u"Undo"_s));
        QCOMPARE(c->Image().image().pixel(110, 1210) & 0xffffff, 0xffffffu);
    }

    // Without alpha the logo floats in a red frame; a click inside picks it up, it follows the
    // pointer, a double-click stamps it. The host hears none of it. A 204 x 98 page is made square
    // first, so the logo keeps its proportions.
    void logoIsPlacedByHand()
    {
        const QString file = path(u"place.tif"_s);
        QVERIFY(FaxFixture::writeFax(file, 1));
        auto c = makeControl();
        QVERIFY(c->OpenSource(file));
        c->setZoom(0.5);
        QVERIFY(press(*c, u"Pan"_s));
        QString opacity;
        answerLogo(logoFile(u"plain.png"_s, false), u"300"_s, 0, 0, false, true, &opacity);
        QVERIFY(press(*c, u"AddLogo"_s));
        QCOMPARE(opacity, u"255"_s);
        QVERIFY(c->PlacingLogo());
        PageView *v = c->pageView();
        QVERIFY(v->hasOverlay() && v->overlayFramed());
        QCOMPARE(v->overlaySize(), QSize(20, 10)); // 40 x 20 at zoom 0.5
        const QPoint corner = v->pageRect().topLeft().toPoint();
        QCOMPARE(v->overlayPos(), QPoint(std::max(0, corner.x()), std::max(0, corner.y())));
        QCOMPARE(c->MouseTool(), 0);
        QSignalSpy down(c.get(), &Lumagrid::MouseDown);
        QSignalSpy moved(c.get(), &Lumagrid::MouseMove);
        QSignalSpy dbl(c.get(), &Lumagrid::DblClick);
        QWidget *vp = v->viewport();
        const QPoint start = v->overlayPos();
        QTest::mouseClick(vp, Qt::LeftButton, {}, start + QPoint(100, 100)); // outside: nothing
        QCOMPARE(v->overlayPos(), start);
        QTest::mouseClick(vp, Qt::LeftButton, {}, start + QPoint(5, 5)); // picks it up
        QTest::mouseMove(vp, start + QPoint(105, 205));                  // no button held
        QCOMPARE(v->overlayPos(), start + QPoint(100, 200));
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        QTest::mouseDClick(vp, Qt::LeftButton, {}, start + QPoint(105, 205));
        QCOMPARE(changed.count(), 1); // squaring the page and stamping are one step
        QCOMPARE(down.count(), 0);
        QCOMPARE(moved.count(), 0);
        QCOMPARE(dbl.count(), 0);
        QVERIFY(!c->PlacingLogo());
        QVERIFY(!v->hasOverlay());
        QCOMPARE(c->MouseTool(), 2);
        const ImgXImage page = c->Image();
        QCOMPARE(page.yResolution(), 204);
        QCOMPARE(page.height(), 1100 * 204 / 98);
        // The logo's corner on the square page: its view offset from the page, over the zoom.
        const QPoint at = ((QPointF(start + QPoint(100, 200)) - v->pageRect().topLeft()) / 0.5).toPoint();
        const QImage img = page.image();
        QCOMPARE(img.pixel(at + QPoint(10, 10)) & 0xffffff, qRgb(0, 0, 255) & 0xffffff);
        QCOMPARE(img.pixel(at + QPoint(38, 18)) & 0xffffff, qRgb(0, 0, 255) & 0xffffff);
        QVERIFY((img.pixel(at + QPoint(45, 10)) & 0xffffff) != (qRgb(0, 0, 255) & 0xffffff));
        QVERIFY((img.pixel(at + QPoint(10, 25)) & 0xffffff) != (qRgb(0, 0, 255) & 0xffffff));
        // After the stamp the host hears the mouse again.
        QTest::mouseClick(vp, Qt::LeftButton, {}, start + QPoint(5, 5));
        QCOMPARE(down.count(), 1);
    }

    void logoOpacity()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_fine));
        c->setZoom(1.0);
        answerLogo(logoFile(u"half.png"_s, false), u"128"_s, 0, 0, false);
        QVERIFY(press(*c, u"AddLogo"_s));
        QVERIFY(c->PlacingLogo());
        PageView *v = c->pageView();
        const QPoint at = (QPointF(v->overlayPos()) - v->pageRect().topLeft()).toPoint() + QPoint(10, 10);
        const QRgb before = c->Image().image().pixel(at);
        QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, v->overlayPos() + QPoint(3, 3));
        // Blue at 128 of 255 over what was there.
        const QRgb px = c->Image().image().pixel(at);
        const double a = 128 / 255.0;
        QVERIFY2(qAbs(qRed(px) - qRed(before) * (1 - a)) <= 2 &&
                     qAbs(qBlue(px) - (qBlue(before) * (1 - a) + 255 * a)) <= 2,
                 qPrintable(QString::number(px, 16)));
    }

    // The preview shows the logo over the view at X, Y (page pixels) without touching the page; it
    // goes with the dialog.
    void logoPreview()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_fine));
        c->setZoom(0.5);
        const QString file = logoFile(u"preview.png"_s, false);
        bool shown = false;
        QPoint at;
        Prompt::setDialogHandler([&](QDialog *d) {
            Prompt::setNextFileName(file);
            d->findChild<QPushButton *>(u"cmdBrowse"_s)->click();
            d->findChild<QLineEdit *>(u"txtX"_s)->setText(u"40"_s);
            d->findChild<QLineEdit *>(u"txtY"_s)->setText(u"80"_s);
            d->findChild<QPushButton *>(u"Preview"_s)->click();
            shown = c->pageView()->hasOverlay() && !c->pageView()->overlayFramed();
            at = c->pageView()->overlayPos();
            return int(QDialog::Rejected);
        });
        QVERIFY(press(*c, u"AddLogo"_s));
        QVERIFY(shown);
        const QPointF corner = c->pageView()->pageRect().topLeft();
        // Page pixel (40, 80) of a 204 x 196 page at zoom 0.5: rows a little taller than columns.
        QCOMPARE(at, (corner + QPointF(20, 80 * 204.0 / 196.0 * 0.5)).toPoint());
        QVERIFY(!c->pageView()->hasOverlay());
        QCOMPARE(c->Undos(), 0);
    }

    void cancelledLogoChangesNothing()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_fine));
        QSignalSpy changed(c.get(), &Lumagrid::Changed);
        answerLogo(logoFile(u"none.png"_s, false), u"255"_s, 0, 0, false, false);
        QVERIFY(press(*c, u"AddLogo"_s));
        QVERIFY(!c->PlacingLogo());
        QVERIFY(!c->pageView()->hasOverlay());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(c->Undos(), 0);
        // A logo still floating when another document comes is dropped, unstamped.
        answerLogo(logoFile(u"left.png"_s, false), u"255"_s, 0, 0, false);
        QVERIFY(press(*c, u"AddLogo"_s));
        QVERIFY(c->PlacingLogo());
        QVERIFY(c->OpenSource(m_three));
        QVERIFY(!c->PlacingLogo());
        QVERIFY(!c->pageView()->hasOverlay());
        QSignalSpy dbl(c.get(), &Lumagrid::DblClick);
        QTest::mouseDClick(c->pageView()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(dbl.count(), 1);
        QCOMPARE(c->Undos(), 0);
    }
};

QTEST_MAIN(TestLumagridEdit)
#include "tst_lumagrid_edit.moc"
