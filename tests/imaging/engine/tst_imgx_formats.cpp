// Formats other than TIFF: Qt image I/O and GraphicsMagick, read and write.
#include "ImgX.h"
#include "ImgXSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstImgXFormats : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void readsGif();
    void readsWmf();
    void wbmpKeepsBilevelPages();
    void detectsByContentNotName();
    void supportQueries_data();
    void supportQueries();
    void fileInfoOfOtherFormats();
    void damagedFiles_data();
    void damagedFiles();

private:
    QTemporaryDir m_dir;
};

void TstImgXFormats::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toLocal8Bit());
    qputenv("TMPDIR", m_dir.path().toLocal8Bit());
}

static QImage testPicture()
{
    QImage img(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(x * 4, y * 5, (x + y) % 2 ? 255 : 0));
    return img;
}

void TstImgXFormats::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<bool>("lossless");
    QTest::addColumn<bool>("keepsResolution");
    QTest::newRow("png") << int(imgPNG) << u"png"_s << true << true;
    QTest::newRow("bmp") << int(imgBMP) << u"bmp"_s << true << true;
    QTest::newRow("jpg") << int(imgJPG) << u"jpg"_s << false << true;
    QTest::newRow("pcx (GraphicsMagick)") << int(imgPCX) << u"pcx"_s << true << false;
    QTest::newRow("psd (GraphicsMagick)") << int(imgPSD) << u"psd"_s << true << false;
    QTest::newRow("tga (GraphicsMagick write, Qt read)") << int(imgTGA) << u"tga"_s << true << false;
}

void TstImgXFormats::roundTrip()
{
    QFETCH(int, format);
    QFETCH(QString, ext);
    QFETCH(bool, lossless);
    QFETCH(bool, keepsResolution);
    if (!ImgXSupport::canWrite(ImgFileType(format)))
        QSKIP("no writer for this format in this build");
    ImgX doc;
    QVERIFY(doc.importImage(testPicture(), 150, 150));
    const QString file = m_dir.filePath(u"pic."_s + ext);
    QVERIFY2(doc.exportFile(file, ImgFileType(format)), qPrintable(doc.lastError().description));
    QCOMPARE(ImgXSupport::detectFormat(file), ImgFileType(format));

    ImgX back;
    QVERIFY2(back.importFile(file), qPrintable(back.lastError().description));
    QCOMPARE(back.count(), 1);
    QCOMPARE(back.image().formatCode(), ImgFileType(format));
    QCOMPARE(back.image().sourceFileName(), file);
    QCOMPARE(back.image().size(), QSize(64, 48));
    if (keepsResolution)
        QCOMPARE(back.image().xResolution(), 150);
    const QImage got = back.image().image().convertToFormat(QImage::Format_RGB32);
    const QImage want = testPicture();
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
            worst = std::max(
                {worst, qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))});
        }
    QVERIFY2(lossless ? worst == 0 : worst < 128, qPrintable(QString::number(worst)));
}

void TstImgXFormats::readsGif()
{
    // 2x1 GIF: a red and a blue pixel.
    const QByteArray gif = QByteArray::fromHex("474946383961"
                                               "02000100"
                                               "800000"
                                               "ff0000"
                                               "0000ff"
                                               "2c000000000200010000"
                                               "02"
                                               "02440a00"
                                               "3b");
    const QString file = m_dir.filePath(u"two.gif"_s);
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(gif);
    f.close();
    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.image().formatCode(), imgGIF);
    QCOMPARE(doc.image().size(), QSize(2, 1));
    const QImage img = doc.image().image().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(img.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(img.pixel(1, 0), qRgb(0, 0, 255));
}

void TstImgXFormats::readsWmf()
{
    if (!ImgXSupport::canRead(imgWMF))
        QSKIP("no WMF reader in this GraphicsMagick build");
    // Placeable metafile, 100 x 50 units at 1440 a inch, one rectangle.
    const QByteArray wmf = QByteArray::fromHex(
        "d7cdc69a00000000000064003200a00500000000e7520100090000031d0000000000070000000000050000000b020000"
        "0000050000000c0232006400070000001b0428003c000a001400030000000000");
    const QString file = m_dir.filePath(u"logo.wmf"_s);
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(wmf);
    f.close();
    QCOMPARE(ImgXSupport::detectFormat(file), imgWMF);
    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.image().formatCode(), imgWMF);
    QVERIFY(!doc.image().isNull());
    // Nothing here writes WMF: saving back fails and leaves the file alone.
    QVERIFY(!doc.exportFile(file, imgWMF));
    QCOMPARE(doc.lastError().number, ImgXErrorCode::FormatNotWritable);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), wmf);
}

void TstImgXFormats::wbmpKeepsBilevelPages()
{
    QImage mono(37, 11, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    for (int i = 0; i < 11; ++i)
        mono.setPixel(i * 3, i, 1);
    ImgX doc;
    QVERIFY(doc.importImage(mono));
    const QString file = m_dir.filePath(u"page.wbmp"_s);
    QVERIFY2(doc.exportFile(file, imgWBMP), qPrintable(doc.lastError().description));
    ImgX back;
    QVERIFY(back.importFile(file));
    QCOMPARE(back.image().formatCode(), imgWBMP);
    QVERIFY(back.image().isBilevel());
    QCOMPARE(back.image().image(), doc.image().image());
}

void TstImgXFormats::detectsByContentNotName()
{
    ImgX doc;
    QVERIFY(doc.importImage(testPicture()));
    const QString file = m_dir.filePath(u"really-a-png.jpg"_s);
    QVERIFY(doc.exportFile(file, imgPNG));
    ImgX back;
    QVERIFY(back.importFile(file));
    QCOMPARE(back.image().formatCode(), imgPNG);
    // A PNG saved back goes back as PNG, whatever the name says.
    QVERIFY(back.exportFile(file, back.image().formatCode()));
    QCOMPARE(ImgXSupport::detectFormat(file), imgPNG);
}

void TstImgXFormats::supportQueries_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("read");
    QTest::addColumn<bool>("write");
    QTest::newRow("tif") << int(imgTIF) << true << true;
    QTest::newRow("jpg") << int(imgJPG) << true << true;
    QTest::newRow("png") << int(imgPNG) << true << true;
    QTest::newRow("bmp") << int(imgBMP) << true << true;
    QTest::newRow("wbmp") << int(imgWBMP) << true << true;
    QTest::newRow("gif") << int(imgGIF) << true << false;
    QTest::newRow("tga") << int(imgTGA) << true << true;
    QTest::newRow("pcx") << int(imgPCX) << true << true;
    QTest::newRow("psd") << int(imgPSD) << true << true;
    QTest::newRow("emf") << int(imgEMF) << false << false;
    QTest::newRow("tla") << int(imgTLA) << false << false;
}

void TstImgXFormats::supportQueries()
{
    QFETCH(int, format);
    QFETCH(bool, read);
    QFETCH(bool, write);
    QCOMPARE(ImgXSupport::canRead(ImgFileType(format)), read);
    QCOMPARE(ImgXSupport::canWrite(ImgFileType(format)), write);
}

void TstImgXFormats::fileInfoOfOtherFormats()
{
    ImgX doc;
    QVERIFY(doc.importImage(testPicture(), 300, 300));
    const QString file = m_dir.filePath(u"info.png"_s);
    QVERIFY(doc.exportFile(file, imgPNG));
    const ImgXFileInfo info = ImgXSupport::fileInfo(file);
    QVERIFY(info.isValid());
    QCOMPARE(info.format, imgPNG);
    QCOMPARE(info.pageCount, 1);
    QCOMPARE(info.size, QSize(64, 48));
    QCOMPARE(info.xResolution, 300);
    QCOMPARE(info.tiffCompression, 0);
    QCOMPARE(ImgXSupport::pageCount(m_dir.filePath(u"missing.png"_s)), 0);
    QCOMPARE(ImgXSupport::fileInfo(m_dir.filePath(u"missing.png"_s)).error.number,
             ImgXErrorCode::FileNotFound);
}

void TstImgXFormats::damagedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("keep");
    QTest::newRow("png cut short") << u"cut.png"_s << int(imgPNG) << 60;
    QTest::newRow("psd cut short") << u"cut.psd"_s << int(imgPSD) << 200;
    QTest::newRow("psd header only") << u"head.psd"_s << int(imgPSD) << 26;
}

void TstImgXFormats::damagedFiles()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    QFETCH(int, keep);
    ImgX doc;
    QVERIFY(doc.importImage(testPicture()));
    const QString file = m_dir.filePath(name);
    QVERIFY(doc.exportFile(file, ImgFileType(format)));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.resize(keep));
    f.close();
    ImgX back;
    QVERIFY(!back.importFile(file));
    QVERIFY2(ImgXErrorCode::isNotAnImage(back.lastError().number), qPrintable(back.lastError().description));
    QVERIFY(back.isEmpty());
}

QTEST_GUILESS_MAIN(TstImgXFormats)
#include "tst_imgx_formats.moc"
