// Rotation, resizing, rectangles, images and undo on 1-bit and colour pages.
#include "ImgX.h"
#include "ImgXPageMapping.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A 1-bit page w x h with one black pixel at p (and nothing else).
ImgXImage monoPage(QSize size, QPoint p, double xDpi = 204, double yDpi = 98)
{
    QImage img(size, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    img.setPixel(p, 1);
    return ImgXImage(img, xDpi, yDpi);
}

ImgXImage colourPage(QSize size, QPoint p)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    img.setPixel(p, qRgb(255, 0, 0));
    return ImgXImage(img, 150, 150);
}

QList<QPoint> darkPixels(const QImage &img)
{
    QList<QPoint> out;
    const QImage g = img.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < g.height(); ++y)
        for (int x = 0; x < g.width(); ++x)
            if (g.pixel(x, y) != qRgb(255, 255, 255))
                out.append({x, y});
    return out;
}

} // namespace

class TstImgXEffects : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rotate_data();
    void rotate();
    void rotateOddAngleWidensColourPage();
    void fillRect_data();
    void fillRect();
    void fillClipsToPage();
    void drawImageWithOpacity();
    void undoLevels();
    void undoRedoOrderAndTexts();
    void noUndoRecordsNothing();
    void loadingAndClearingEmptyHistory();
    void pageAdditionsAndRemovalsUndo();
    void resize_data();
    void resize();
    void changeResolutionKeepsPhysicalSize();
    void mapping_data();
    void mapping();
};

void TstImgXEffects::rotate_data()
{
    QTest::addColumn<bool>("mono");
    QTest::addColumn<double>("angle");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("pixel");
    // Page 21 x 10, marked pixel at (3, 1).
    for (bool mono : {true, false}) {
        const char *kind = mono ? "1-bit" : "colour";
        QTest::addRow("%s 90", kind) << mono << 90.0 << QSize(10, 21) << QPoint(10 - 1 - 1, 3);
        QTest::addRow("%s 180", kind) << mono << 180.0 << QSize(21, 10) << QPoint(21 - 1 - 3, 10 - 1 - 1);
        QTest::addRow("%s 270", kind) << mono << 270.0 << QSize(10, 21) << QPoint(1, 21 - 1 - 3);
        QTest::addRow("%s -90", kind) << mono << -90.0 << QSize(10, 21) << QPoint(1, 21 - 1 - 3);
    }
}

void TstImgXEffects::rotate()
{
    QFETCH(bool, mono);
    QFETCH(double, angle);
    QFETCH(QSize, size);
    QFETCH(QPoint, pixel);
    ImgX doc;
    const ImgXImage page = mono ? monoPage({21, 10}, {3, 1}) : colourPage({21, 10}, {3, 1});
    doc.append(page);
    QSignalSpy changed(&doc, &ImgX::Changed);
    QVERIFY(doc.rotate(angle, Qt::black, QString()));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(doc.image().size(), size);
    QCOMPARE(doc.image().isBilevel(), mono);
    if (mono)
        QCOMPARE(doc.image().image().format(), QImage::Format_Mono);
    QCOMPARE(darkPixels(doc.image().image()), QList<QPoint>{pixel});
    // The engine leaves the resolutions alone.
    QCOMPARE(doc.image().xResolution(), page.xResolution());
    QCOMPARE(doc.image().yResolution(), page.yResolution());
    QCOMPARE(doc.undos(), 1);
    QVERIFY(doc.undo());
    QCOMPARE(doc.image().image(), page.image());
    QVERIFY(doc.redo());
    QCOMPARE(darkPixels(doc.image().image()), QList<QPoint>{pixel});
}

void TstImgXEffects::rotateOddAngleWidensColourPage()
{
    ImgX doc;
    doc.append(monoPage({100, 50}, {0, 0}));
    QVERIFY(doc.rotate(45, Qt::black));
    QVERIFY(doc.image().width() > 100);
    QVERIFY(!doc.image().isBilevel());
    QVERIFY(!doc.rotate(qQNaN()));
    QCOMPARE(doc.lastError().number, ImgXErrorCode::InvalidArgument);
}

void TstImgXEffects::fillRect_data()
{
    QTest::addColumn<bool>("mono");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("opacity");
    QTest::addColumn<bool>("staysMono");
    QTest::addColumn<QRgb>("inside");
    QTest::newRow("1-bit black out") << true << QColor(Qt::black) << 255 << true << qRgb(0, 0, 0);
    QTest::newRow("1-bit white out") << true << QColor(Qt::white) << 255 << true << qRgb(255, 255, 255);
    QTest::newRow("1-bit highlight") << true << QColor(Qt::yellow) << 75 << false << qRgb(255, 255, 180);
    QTest::newRow("colour black out") << false << QColor(Qt::black) << 255 << false << qRgb(0, 0, 0);
    QTest::newRow("colour highlight") << false << QColor(Qt::yellow) << 75 << false << qRgb(255, 255, 180);
}

void TstImgXEffects::fillRect()
{
    QFETCH(bool, mono);
    QFETCH(QColor, colour);
    QFETCH(int, opacity);
    QFETCH(bool, staysMono);
    QFETCH(QRgb, inside);
    ImgX doc;
    // Background: black page for the white-out row, white otherwise.
    ImgXImage page = mono ? monoPage({64, 32}, {0, 0}) : colourPage({64, 32}, {0, 0});
    if (colour == Qt::white) {
        QImage img = page.image();
        img.fill(1);
        page.setImage(img);
    }
    doc.append(page);
    QVERIFY(doc.fillRect(QRect(10, 5, 20, 10), colour, opacity, u"Evidenzia"_s));
    QCOMPARE(doc.image().isBilevel(), staysMono);
    const QImage img = doc.image().image().convertToFormat(QImage::Format_RGB32);
    const QRgb got = img.pixel(15, 8);
    QVERIFY2(qAbs(qRed(got) - qRed(inside)) <= 2 && qAbs(qGreen(got) - qGreen(inside)) <= 2 &&
                 qAbs(qBlue(got) - qBlue(inside)) <= 2,
             qPrintable(QString::number(got, 16)));
    // Edges: (10,5) and (29,14) inside, (30,15) and (9,4) outside.
    QCOMPARE(img.pixel(10, 5), got);
    QCOMPARE(img.pixel(29, 14), got);
    QVERIFY(img.pixel(30, 15) != got);
    QVERIFY(img.pixel(9, 4) != got ||
            img.pixel(9, 4) == page.image().convertToFormat(QImage::Format_RGB32).pixel(9, 4));
    QCOMPARE(doc.undoText(), u"Evidenzia"_s);
    QVERIFY(doc.undo());
    QCOMPARE(doc.image().isBilevel(), mono);
    QCOMPARE(doc.image().image(), page.image());
}

void TstImgXEffects::fillClipsToPage()
{
    ImgX doc;
    doc.append(monoPage({16, 8}, {0, 0}));
    QVERIFY(doc.fillRect(QRect(-100, -100, 108, 104), Qt::black, 255));
    QCOMPARE(darkPixels(doc.image().image()).size(), 8 * 4);
    // Wholly outside: nothing changes and no undo level is spent.
    const int levels = doc.undos();
    QVERIFY(doc.fillRect(QRect(500, 500, 10, 10), Qt::black, 255));
    QCOMPARE(doc.undos(), levels);
}

void TstImgXEffects::drawImageWithOpacity()
{
    ImgX doc;
    doc.append(monoPage({40, 40}, {39, 39}));
    QImage logo(10, 10, QImage::Format_ARGB32);
    logo.fill(qRgba(0, 0, 255, 255));
    logo.setPixel(0, 0, qRgba(0, 0, 255, 0)); // transparent corner
    QVERIFY(doc.drawImage(logo, {5, 5}, 128, true, u"Insert Logo"_s));
    const QImage img = doc.image().image().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(img.pixel(5, 5), qRgb(255, 255, 255)); // alpha 0 keeps the page
    const QRgb mid = img.pixel(8, 8);
    QVERIFY(qBlue(mid) == 255 && qRed(mid) > 100 && qRed(mid) < 150);
    QCOMPARE(img.pixel(39, 39), qRgb(0, 0, 0));
    QCOMPARE(doc.undoText(), u"Insert Logo"_s);
}

void TstImgXEffects::undoLevels()
{
    ImgX doc;
    QCOMPARE(doc.undoLevels(), 5);
    doc.append(monoPage({8, 8}, {0, 0}));
    for (int i = 0; i < 7; ++i)
        QVERIFY(doc.fillRect(QRect(i, 0, 1, 1), Qt::black, 255, u"step %1"_s.arg(i)));
    QCOMPARE(doc.undos(), 5);
    QCOMPARE(doc.undoText(0), u"step 6"_s);
    QCOMPARE(doc.undoText(4), u"step 2"_s);
    for (int i = 0; i < 5; ++i)
        QVERIFY(doc.undo());
    QVERIFY(!doc.undo());
    QCOMPARE(doc.lastError().number, ImgXErrorCode::NothingToUndo);
    // Back at the state after step 1: pixels 0 and 1 set.
    QCOMPARE(darkPixels(doc.image().image()), (QList<QPoint>{{0, 0}, {1, 0}}));
    doc.setUndoLevels(2);
    QCOMPARE(doc.redos(), 2);
    doc.setUndoLevels(0);
    QVERIFY(doc.fillRect(QRect(7, 7, 1, 1), Qt::black, 255));
    QCOMPARE(doc.undos(), 0);
}

void TstImgXEffects::undoRedoOrderAndTexts()
{
    ImgX doc;
    doc.append(colourPage({30, 20}, {0, 0}));
    doc.append(colourPage({30, 20}, {1, 1}));
    QVERIFY(doc.rotate(90, Qt::black, QString()));
    QCOMPARE(doc.undoText(), u"Rotate"_s);
    QVERIFY(doc.setCurrentIndex(1));
    QVERIFY(doc.fillRect(QRect(0, 0, 5, 5), Qt::black, 255, u"BlackRec"_s));
    // Undo goes back page by page and shows the page it changed.
    QVERIFY(doc.undo());
    QCOMPARE(doc.redoText(), u"BlackRec"_s);
    QVERIFY(doc.undo());
    QCOMPARE(doc.currentIndex(), 0);
    QCOMPARE(doc.page(0).size(), QSize(30, 20));
    QVERIFY(doc.redo());
    QCOMPARE(doc.page(0).size(), QSize(20, 30));
    // A new edit drops what could be redone.
    QVERIFY(doc.resize(10, 10));
    QCOMPARE(doc.redos(), 0);
}

void TstImgXEffects::noUndoRecordsNothing()
{
    ImgX doc;
    doc.append(monoPage({16, 16}, {0, 0}));
    QVERIFY(doc.resize(8, 8, ImgXResize::Thumbnail, ImgXNoUndo()));
    QCOMPARE(doc.undos(), 0);
    QVERIFY(!doc.undo());
}

void TstImgXEffects::loadingAndClearingEmptyHistory()
{
    ImgX doc;
    doc.append(monoPage({16, 16}, {0, 0}));
    QVERIFY(doc.rotate(90));
    QVERIFY(doc.importImage(QImage(4, 4, QImage::Format_RGB32)));
    QCOMPARE(doc.undos(), 0);
    QVERIFY(doc.rotate(90));
    QVERIFY(doc.undo());
    QCOMPARE(doc.redos(), 1);
    doc.clear();
    QCOMPARE(doc.undos() + doc.redos(), 0);
    QVERIFY(doc.isEmpty());
    QVERIFY(!doc.rotate(90));
    QCOMPARE(doc.lastError().number, ImgXErrorCode::NoImage);
}

void TstImgXEffects::pageAdditionsAndRemovalsUndo()
{
    ImgX doc;
    doc.append(monoPage({8, 8}, {0, 0}));
    doc.append(monoPage({8, 8}, {1, 1}), u"Add"_s);
    QCOMPARE(doc.count(), 2);
    QVERIFY(doc.removePage(0, u"Remove"_s));
    QCOMPARE(doc.count(), 1);
    QCOMPARE(darkPixels(doc.page(0).image()), QList<QPoint>{QPoint(1, 1)});
    QVERIFY(doc.undo());
    QCOMPARE(doc.count(), 2);
    QCOMPARE(darkPixels(doc.page(0).image()), QList<QPoint>{QPoint(0, 0)});
    QVERIFY(doc.undo());
    QCOMPARE(doc.count(), 1);
    QVERIFY(doc.redo());
    QCOMPARE(doc.count(), 2);
    // Taking a page of the document itself as the whole document.
    QVERIFY(doc.importDocument(doc, 1));
    QCOMPARE(doc.count(), 1);
    QCOMPARE(doc.image().xResolution(), 204);
}

void TstImgXEffects::resize_data()
{
    QTest::addColumn<bool>("mono");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("result");
    QTest::addColumn<bool>("staysMono");
    // 1728 x 1100 page at 204 x 98 dpi: its true height is 1100 * 204/98 = 2290 square pixels.
    QTest::newRow("1-bit page mode") << true << ImgXResize::Page << QSize(864, 550) << QSize(864, 550)
                                     << true;
    QTest::newRow("1-bit height 0 keeps aspect")
        << true << ImgXResize::Page << QSize(864, 0) << QSize(864, 550) << true;
    QTest::newRow("1-bit thumbnail goes grey")
        << true << ImgXResize::Thumbnail << QSize(100, 0) << QSize(100, 64) << false;
    QTest::newRow("colour smooth") << false << ImgXResize::Page << QSize(864, 550) << QSize(864, 550)
                                   << false;
}

void TstImgXEffects::resize()
{
    QFETCH(bool, mono);
    QFETCH(int, mode);
    QFETCH(QSize, asked);
    QFETCH(QSize, result);
    QFETCH(bool, staysMono);
    ImgX doc;
    ImgXImage page = monoPage({1728, 1100}, {1000, 600});
    if (!mono)
        page = ImgXImage(page.image().convertToFormat(QImage::Format_RGB32), 204, 98);
    doc.append(page);
    QVERIFY(doc.resize(asked.width(), asked.height(), mode));
    QCOMPARE(doc.image().size(), result);
    QCOMPARE(doc.image().isBilevel(), staysMono);
    QCOMPARE(doc.image().yResolution(), 98);
    if (staysMono)
        QCOMPARE(darkPixels(doc.image().image()), (QList<QPoint>{{500, 300}}));
}

void TstImgXEffects::changeResolutionKeepsPhysicalSize()
{
    ImgX doc;
    doc.append(monoPage({1728, 1100}, {10, 1099}));
    QSignalSpy changed(&doc, &ImgX::Changed);
    QVERIFY(doc.changeResolution(204, 196));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(doc.image().size(), QSize(1728, 2200));
    QCOMPARE(doc.image().yResolution(), 196);
    QVERIFY(doc.image().isBilevel());
    QCOMPARE(darkPixels(doc.image().image()), (QList<QPoint>{{10, 2198}, {10, 2199}}));
    QCOMPARE(doc.undos(), 1);
    QVERIFY(doc.undo());
    QCOMPARE(doc.image().size(), QSize(1728, 1100));
    QCOMPARE(doc.image().yResolution(), 98);
    QVERIFY(!doc.changeResolution(0, 196));
}

void TstImgXEffects::mapping_data()
{
    QTest::addColumn<double>("xDpi");
    QTest::addColumn<double>("yDpi");
    QTest::addColumn<QSizeF>("view");
    QTest::addColumn<QSizeF>("inches");
    QTest::newRow("fax low 204x98") << 204.0 << 98.0 << QSizeF(1728, 1100 * 204.0 / 98)
                                    << QSizeF(1728 / 204.0, 1100 / 98.0);
    QTest::newRow("fax fine 204x196")
        << 204.0 << 196.0 << QSizeF(1728, 1100 * 204.0 / 196) << QSizeF(1728 / 204.0, 1100 / 196.0);
    QTest::newRow("square 200") << 200.0 << 200.0 << QSizeF(1728, 1100) << QSizeF(8.64, 5.5);
}

void TstImgXEffects::mapping()
{
    QFETCH(double, xDpi);
    QFETCH(double, yDpi);
    QFETCH(QSizeF, view);
    QFETCH(QSizeF, inches);
    const ImgXPageMapping m({1728, 1100}, xDpi, yDpi);
    QCOMPARE(m.viewSize(1.0), view);
    QCOMPARE(m.viewSize(0.5), view * 0.5);
    QCOMPARE(m.physicalSizeInches(), inches);
    // A printer at 600 dpi gets the true physical size.
    QCOMPARE(m.deviceSize(600, 600), inches * 600);
    // A marked view rectangle maps back onto the page pixels it covers.
    const QRectF viewRect = m.pixelToView(QRectF(100, 96, 200, 96), 2.0);
    QCOMPARE(m.viewToPixel(viewRect, 2.0), QRect(100, 96, 200, 96));
    QCOMPARE(m.viewToPixel(m.pixelToView(QPointF(300, 192), 1.5), 1.5), QPointF(300, 192));
    // Clipped to the page.
    QCOMPARE(m.viewToPixel(QRectF(-50, -50, 60, 1e6), 1.0).top(), 0);
    QCOMPARE(m.viewToPixel(QRectF(-50, -50, 60, 1e6), 1.0).bottom(), 1099);
}

QTEST_GUILESS_MAIN(TstImgXEffects)
#include "tst_imgx_effects.moc"
