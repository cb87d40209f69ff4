// Showing and printing pages in their true proportions.
#include "ImgX.h"
#include "ImgXRender.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
ImgXImage faxPage(double yDpi)
{
    // 1728 x 1100 white page with a black top band of 10% of the page height.
    QImage img(1728, 1100, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    for (int y = 0; y < 110; ++y)
        memset(img.scanLine(y), 0xff, size_t(img.bytesPerLine()));
    return ImgXImage(img, 204, yDpi);
}
} // namespace

class TstImgXRender : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void thumbnailProportions_data();
    void thumbnailProportions();
    void drawPageFillsTarget();
    void printPagesAtTrueSize();
    void printRefusesBadPages();
};

void TstImgXRender::thumbnailProportions_data()
{
    QTest::addColumn<double>("yDpi");
    QTest::addColumn<QSize>("expected");
    // True height of 1100 rows: 1100/98 inch (11.2") at low resolution, 5.6" at fine; width 8.47".
    QTest::newRow("204x98") << 98.0 << QSize(151, 200);
    QTest::newRow("204x196") << 196.0 << QSize(200, 133);
}

void TstImgXRender::thumbnailProportions()
{
    QFETCH(double, yDpi);
    QFETCH(QSize, expected);
    const QImage t = ImgXRender::thumbnail(faxPage(yDpi), QSize(200, 200));
    QCOMPARE(t.size(), expected);
    // Smoothly reduced: the band edge is grey, not lost.
    QVERIFY(qGray(t.pixel(t.width() / 2, 2)) < 60);
    QVERIFY(qGray(t.pixel(t.width() / 2, t.height() - 2)) > 200);
}

void TstImgXRender::drawPageFillsTarget()
{
    QImage canvas(300, 300, QImage::Format_RGB32);
    canvas.fill(Qt::red);
    QPainter p(&canvas);
    const ImgXImage page = faxPage(98);
    const QRectF target = page.mapping().fitInto(QRectF(0, 0, 300, 300));
    ImgXRender::drawPage(p, page, target, true);
    p.end();
    QCOMPARE(qRound(target.height()), 300);
    QCOMPARE(qRound(target.width()), qRound(300 * (1728 / 204.0) / (1100 / 98.0)));
    QCOMPARE(canvas.pixel(150, 150), qRgb(255, 255, 255));
    QCOMPARE(canvas.pixel(2, 150), qRgb(255, 0, 0)); // outside the page
}

void TstImgXRender::printPagesAtTrueSize()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"out.pdf"_s);
    ImgX doc;
    doc.append(faxPage(196));
    doc.append(faxPage(196));
    doc.append(faxPage(196));
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        const ImgXError err = ImgXRender::printPages(writer, doc, {0, 2});
        QVERIFY2(!err.isError(), qPrintable(err.description));
    }
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 2);
}

void TstImgXRender::printRefusesBadPages()
{
    QTemporaryDir dir;
    QPdfWriter writer(dir.filePath(u"bad.pdf"_s));
    ImgX doc;
    doc.append(faxPage(98));
    QCOMPARE(ImgXRender::printPages(writer, doc, {3}).number, ImgXErrorCode::PrintFailed);
    QCOMPARE(ImgXRender::printPages(writer, doc, {}).number, ImgXErrorCode::PrintFailed);
}

QTEST_MAIN(TstImgXRender)
#include "tst_imgx_render.moc"
