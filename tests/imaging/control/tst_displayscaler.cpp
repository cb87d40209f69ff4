// The page view's scaling of bilevel pages: the grey of each screen pixel is the share of ink in the page
// pixels it covers, whatever the bit order and whichever colour index is the paper.
#include "DisplayScaler.h"

#include <QRandomGenerator>
#include <QTest>

class tst_DisplayScaler : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void averagesInk_data();
    void averagesInk();
};

namespace {

QImage randomPage(QSize size, QImage::Format format, bool paperIsZero, quint32 seed)
{
    QImage page(size, format);
    page.setColorTable(paperIsZero ? QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)}
                                   : QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)});
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            // Mostly paper, with runs of ink: whole paper bytes are skipped, partial ones counted.
            page.setPixel(x, y, (random.bounded(8) == 0) == paperIsZero ? 1 : 0);
        }
    }
    return page;
}

// The grey a screen pixel should have: the mean of the greys of the page pixels of its box.
int expectedGrey(const QImage &page, QSize target, int tx, int ty)
{
    const int sw = page.width(), sh = page.height();
    int ink = 0, all = 0;
    const int y0 = int(qint64(ty) * sh / target.height());
    const int y1 = qMax(y0 + 1, int(qint64(ty + 1) * sh / target.height()));
    for (int y = y0; y < y1 && y < sh; ++y) {
        for (int x = 0; x < sw; ++x) {
            if (int(qint64(x) * target.width() / sw) != tx)
                continue;
            ++all;
            ink += qGray(page.pixel(x, y)) == 0 ? 1 : 0;
        }
    }
    return all ? (all - ink) * 255 / all : 255;
}

} // namespace

void tst_DisplayScaler::averagesInk_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<bool>("paperIsZero");
    QTest::addColumn<QSize>("page");
    QTest::addColumn<QSize>("target");
    for (const bool paperIsZero : {true, false}) {
        for (const QImage::Format format : {QImage::Format_Mono, QImage::Format_MonoLSB}) {
            const QByteArray name = QByteArray(format == QImage::Format_Mono ? "msb" : "lsb") +
                                    (paperIsZero ? ", paper 0" : ", paper 1");
            // A fax page to a fitted view (bytes straddle two or three columns), an exact eighth (whole
            // bytes), a width that ends inside a byte, and a shrink to a single column.
            QTest::newRow(QByteArray(name + ", fitted").constData()) << format << paperIsZero << QSize(173, 220) << QSize(50, 67);
            QTest::newRow(QByteArray(name + ", eighth").constData()) << format << paperIsZero << QSize(160, 80) << QSize(20, 10);
            QTest::newRow(QByteArray(name + ", odd width").constData()) << format << paperIsZero << QSize(61, 9) << QSize(17, 4);
            QTest::newRow(QByteArray(name + ", one column").constData()) << format << paperIsZero << QSize(45, 12) << QSize(1, 3);
        }
    }
}

void tst_DisplayScaler::averagesInk()
{
    QFETCH(QImage::Format, format);
    QFETCH(bool, paperIsZero);
    QFETCH(QSize, page);
    QFETCH(QSize, target);
    const QImage src = randomPage(page, format, paperIsZero, quint32(page.width() * 31 + target.width()));
    const QImage out = DisplayScaler::scaled(src, target, true);
    QCOMPARE(out.size(), target);
    for (int ty = 0; ty < target.height(); ++ty) {
        for (int tx = 0; tx < target.width(); ++tx) {
            const QRgb px = out.pixel(tx, ty);
            QCOMPARE(qRed(px), qBlue(px));
            QVERIFY2(qAbs(qGray(px) - expectedGrey(src, target, tx, ty)) <= 1,
                     qPrintable(QStringLiteral("pixel %1,%2: %3 against %4")
                                    .arg(tx)
                                    .arg(ty)
                                    .arg(qGray(px))
                                    .arg(expectedGrey(src, target, tx, ty))));
        }
    }
}

QTEST_GUILESS_MAIN(tst_DisplayScaler)
#include "tst_displayscaler.moc"
