// Any image file opened the way a user opens one. The first byte picks the format (and so the file's
// extension, which is all that tells TGA, PCX and WMF apart); the rest is the file. Every page the engine
// shows has a size of at least 1x1 within the page limit, the page count queries count the same pages,
// a page that decodes has the size it claimed, and every lossless writer gives back the same pixels.
#include "FormatCodecs.h"
#include "FuzzSupport.h"
#include "ImgX.h"
#include "ImgXPageSource.h"
#include "ImgXSupport.h"
#include "LumagridDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#ifdef QUORIN_HAVE_GRAPHICSMAGICK
#include <Magick++.h>
#endif

namespace {

constexpr ImgFileType Formats[] = {imgPCX, imgTGA, imgBMP,  imgGIF, imgWMF, imgEMF,
                                   imgJPG, imgPNG, imgWBMP, imgPSD, imgTIF};
// Pages decoded per file and the largest page decoded or written back: enough for every kind of page,
// small enough that one input takes milliseconds.
constexpr int DecodedPages = 8;
constexpr qint64 DecodedPixels = 1 << 22;
constexpr int WrittenPages = 2;
constexpr qint64 WrittenPixels = 1 << 16;

// What a format keeps of a page: alpha formats keep it all, the others lay it on white paper.
enum class Keeps { Everything, OnWhite, Bilevel };

struct Writer
{
    ImgFileType format;
    Keeps keeps;
    TIFCompression tiff = TIFCompression::Automatic;
    bool pngInterlaced = false;
    bool bmpRle = false;
    bool bilevelOnly = false; // fax schemes and WBMP: lossless for bilevel pages only
    const char *name;
};

const Writer Writers[] = {
    {imgTIF, Keeps::Everything, TIFCompression::None, false, false, false, "tif none"},
    {imgTIF, Keeps::Everything, TIFCompression::Lzw, false, false, false, "tif lzw"},
    {imgTIF, Keeps::Everything, TIFCompression::PackBits, false, false, false, "tif packbits"},
    {imgTIF, Keeps::Everything, TIFCompression::Deflate, false, false, false, "tif deflate"},
    {imgTIF, Keeps::Everything, TIFCompression::Automatic, false, false, false, "tif automatic"},
    {imgTIF, Keeps::Bilevel, TIFCompression::CcittG3, false, false, true, "tif g3"},
    {imgTIF, Keeps::Bilevel, TIFCompression::CcittG3_2D, false, false, true, "tif g3 2d"},
    {imgTIF, Keeps::Bilevel, TIFCompression::CcittG4, false, false, true, "tif g4"},
    {imgPNG, Keeps::Everything, TIFCompression::Automatic, false, false, false, "png"},
    {imgPNG, Keeps::Everything, TIFCompression::Automatic, true, false, false, "png interlaced"},
    {imgPSD, Keeps::Everything, TIFCompression::Automatic, false, false, false, "psd"},
    {imgTGA, Keeps::Everything, TIFCompression::Automatic, false, false, false, "tga"},
    {imgBMP, Keeps::OnWhite, TIFCompression::Automatic, false, false, false, "bmp"},
    {imgBMP, Keeps::OnWhite, TIFCompression::Automatic, false, true, false, "bmp rle"},
    {imgPCX, Keeps::OnWhite, TIFCompression::Automatic, false, false, false, "pcx"},
    {imgWBMP, Keeps::Bilevel, TIFCompression::Automatic, false, false, true, "wbmp"},
};

// The pixels a format is expected to give back. Colours under a fully transparent pixel carry nothing.
QImage comparable(const QImage &page, Keeps keeps)
{
    if (keeps != Keeps::Everything)
        return flattenedOnWhite(page).convertToFormat(QImage::Format_RGB32);
    QImage img = page.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                line[x] = 0;
        }
    }
    return img;
}

QString firstDifference(const QImage &a, const QImage &b)
{
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                return u"(%1,%2) %3 -> %4"_s.arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
        }
    }
    return {};
}

QString sizeText(QSize s)
{
    return u"%1x%2"_s.arg(s.width()).arg(s.height());
}

// Saves page `index` of the opened document as Save As does (the page keeps its source facts, such
// as its fax compression) and reads the file back.
void roundTrip(const ImgX &opened, int index, const QString &folder)
{
    const ImgXImage &page = opened.page(index);
    const QImage &pixels = page.image();
    if (page.damage().isError()) { // shown with white rows, never written so
        for (const ImgFileType format : {imgTIF, imgPNG}) {
            ImgX doc;
            doc.importDocument(opened, index);
            const QString out = folder + u"/damaged."_s + ImgFileTypes::extension(format);
            Fuzz::check(!doc.exportFile(out, format) && !QFile::exists(out), "a damaged page was written",
                        page.damage().description);
        }
        return;
    }
    for (const Writer &w : Writers) {
        if (w.bilevelOnly && !page.isBilevel())
            continue;
        ImgX doc;
        Fuzz::check(doc.importDocument(opened, index), "a decoded page cannot be taken");
        doc.setTIFCompression(w.tiff);
        doc.exportOptions().pngInterlaced = w.pngInterlaced;
        doc.exportOptions().bmpUseRleCompression = w.bmpRle;
        const QString out = folder + u"/back."_s + ImgFileTypes::extension(w.format);
        QFile::remove(out);
        if (!doc.exportFile(out, w.format)) {
            Fuzz::fail("a decoded page did not write",
                       QString::fromLatin1(w.name) + u": "_s + doc.lastError().description);
        }
        ImgX back;
        Fuzz::check(back.importFile(out) && back.count() == 1, "a written page did not read back",
                    QString::fromLatin1(w.name) + u": "_s + back.lastError().description);
        const ImgXImage &again = back.image();
        Fuzz::check(again.size() == page.size(), "a page changed size through a write",
                    QString::fromLatin1(w.name) + u": "_s + sizeText(page.size()) + u" -> "_s +
                        sizeText(again.size()));
        const QImage before = comparable(pixels, w.keeps), after = comparable(again.image(), w.keeps);
        const QString difference = firstDifference(before, after);
        Fuzz::check(difference.isEmpty(), "a page changed pixels through a write",
                    QString::fromLatin1(w.name) + u", pixel format %1: "_s.arg(int(page.pixelFormat())) +
                        difference);
    }
    // JPEG is lossy: it writes, and reads back at the page's size.
    ImgX doc;
    doc.importDocument(opened, index);
    const QString out = folder + u"/back.jpg"_s;
    Fuzz::check(doc.exportFile(out, imgJPG), "a decoded page did not write as JPEG",
                doc.lastError().description);
    ImgX back;
    Fuzz::check(back.importFile(out) && back.image().size() == page.size(), "a JPEG page did not read back",
                back.lastError().description);
}

// The folder the files are written to. Its name is the same from run to run (the first free of
// fuzz-image-file-0, -1, ...), so nothing random enters a run through the file names; saving syncs the
// file to disk, so it lies in memory where that costs nothing.
struct WorkFolder
{
    WorkFolder()
    {
        const QString base = QFileInfo(u"/dev/shm"_s).isWritable() ? u"/dev/shm"_s : QDir::tempPath();
        for (int i = 0; i < 1000 && path.isEmpty(); ++i) {
            const QString name = base + u"/fuzz-image-file-"_s + QString::number(i);
            if (QDir().mkdir(name))
                path = name;
        }
        Fuzz::check(!path.isEmpty(), "no folder for the files");
    }
    ~WorkFolder() { QDir(path).removeRecursively(); }
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;

    QString path;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool once = [] {
        // One thread in GraphicsMagick, however many cores the machine has.
        qputenv("OMP_NUM_THREADS", "1");
        qputenv("MAGICK_THREAD_LIMIT", "1");
        Fuzz::application<QGuiApplication>();
        // Pages up to the page limit cost seconds and a gigabyte here; the hostile-file tests take those.
        // The harness keeps to small pages so one input takes milliseconds: the readers below the
        // engine refuse larger pictures, which the engine reports as damaged files.
        QImageReader::setAllocationLimit(int((DecodedPixels * 4) >> 20));
#ifdef QUORIN_HAVE_GRAPHICSMAGICK
        (void)ImgXSupport::canRead(imgPCX); // sets the engine's own limits first
        MagickLib::SetMagickResourceLimit(MagickLib::PixelsResource, DecodedPixels);
#endif
        return true;
    }();
    (void)once;
    static const WorkFolder folder;
    Fuzz::Input input(data, size);
    const ImgFileType format = Formats[input.byte() % std::size(Formats)];
    // Qt's TGA reader and our own Photoshop reader take no allocation limit: the size a header claims
    // is looked at here, as the engine's own header check reads it.
    {
        const QByteArrayView rest = input.rest();
        const QByteArray head = QByteArray::fromRawData(rest.data(), rest.size());
        const QString name = u"page."_s + ImgFileTypes::extension(format);
        const QSize claimed = FormatCodecs::headerSize(head, FormatCodecs::detect(name, head));
        if (claimed.width() > 0 && claimed.height() > 0 &&
            qint64(claimed.width()) * claimed.height() > DecodedPixels)
            return 0;
    }
    const QString file = folder.path + u"/page."_s + ImgFileTypes::extension(format);
    {
        QFile f(file);
        Fuzz::check(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "the input cannot be written");
        const QByteArrayView rest = input.rest();
        f.write(rest.data(), rest.size());
    }

    const ImgXFileInfo info = ImgXSupport::fileInfo(file);
    Fuzz::check(info.isValid() || !info.error.description.isEmpty(), "a refused file has no reason");
    if (info.isValid())
        Fuzz::check(info.size.width() >= 1 && info.size.height() >= 1 &&
                        ImgXPageLimit::fits(info.size.width(), info.size.height()),
                    "the file query tells a page size out of range", sizeText(info.size));

    LumagridDocument viewer;
    const LumagridDocument::OpenResult opened = viewer.openSource(file);
    const ImgX &doc = viewer.engine();
    if (opened != LumagridDocument::OpenResult::Opened) {
        Fuzz::check(doc.isEmpty(), "a refused file left pages behind");
        Fuzz::check(opened == LumagridDocument::OpenResult::NotAnImage || viewer.lastError().isError(),
                    "a refused file has no reason");
        return 0;
    }
    Fuzz::check(doc.count() >= 1 && viewer.PagesNumber() == doc.count(), "an opened file has no pages");
    Fuzz::check(info.isValid() && info.pageCount == doc.count(),
                "the page count differs from the pages opened",
                u"%1 counted, %2 opened"_s.arg(info.pageCount).arg(doc.count()));
    Fuzz::check(info.size == doc.page(0).size(), "the file query tells another size than the first page",
                sizeText(info.size) + u" <> "_s + sizeText(doc.page(0).size()));
    for (const ImgXImage &page : doc.pages()) {
        Fuzz::check(page.width() >= 1 && page.height() >= 1 &&
                        ImgXPageLimit::fits(page.width(), page.height()),
                    "a page has a size out of range", sizeText(page.size()));
    }
    for (int i = 0; i < std::min(doc.count(), DecodedPages); ++i) {
        const ImgXImage &page = doc.page(i);
        if (qint64(page.width()) * page.height() > DecodedPixels)
            continue;
        const QSize claimed = page.size();
        const QImage &pixels = page.image();
        if (pixels.isNull()) {
            Fuzz::check(i > 0, "the first page of an opened file does not decode");
            Fuzz::check(ImgXErrorCode::isNotAnImage(page.decodeError().number) &&
                            !page.decodeError().description.isEmpty(),
                        "a page that does not decode has no reason");
            continue;
        }
        Fuzz::check(pixels.size() == claimed && page.size() == claimed, "a page decoded at another size",
                    sizeText(claimed) + u" -> "_s + sizeText(pixels.size()));
        if (i < WrittenPages && qint64(page.width()) * page.height() <= WrittenPixels)
            roundTrip(doc, i, folder.path);
    }
    return 0;
}
