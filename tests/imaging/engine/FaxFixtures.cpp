#include "FaxFixtures.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <tiffio.h>

using namespace Qt::StringLiterals;

namespace FaxFixtures {

static bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(TestWait::bound()))
        return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool toolsAvailable()
{
    return !QStandardPaths::findExecutable(u"gs"_s).isEmpty() &&
           !QStandardPaths::findExecutable(u"tiffcp"_s).isEmpty();
}

bool writePostScript(const QString &path, int pages)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray ps = "%!PS\n/Helvetica findfont 36 scalefont setfont\n";
    ps += "1 1 " + QByteArray::number(pages) + " { /n exch def\n";
    ps += "  72 760 moveto (Pagina ) show n 10 string cvs show\n";
    ps += "  72 700 moveto (Quorin fax test: the quick brown fox) show\n";
    ps += "  newpath 100 n 37 mod 15 mul 80 add moveto 300 0 rlineto 0 60 rlineto closepath fill\n";
    ps += "  newpath 400 400 n 5 mod 20 mul 30 add 0 360 arc stroke\n";
    ps += "  showpage } for\n";
    return f.write(ps) == ps.size();
}

bool ghostscript(const QString &device, const QString &ps, const QString &out, const QString &dpi)
{
    return run(u"gs"_s, {u"-q"_s, u"-dNOPAUSE"_s, u"-dBATCH"_s, u"-dSAFER"_s, u"-sDEVICE="_s + device,
                         u"-r"_s + dpi, u"-sPAPERSIZE=a4"_s, u"-sOutputFile="_s + out, ps});
}

bool tiffcp(const QString &compression, const QStringList &inputs, const QString &out,
            const QStringList &extra)
{
    QStringList args{u"-c"_s, compression};
    args += extra;
    args += inputs;
    args << out;
    return run(u"tiffcp"_s, args);
}

int pageCount(const QString &tiff)
{
    TIFF *t = TIFFOpen(QFile::encodeName(tiff).constData(), "r");
    if (!t)
        return 0;
    const int n = TIFFNumberOfDirectories(t);
    TIFFClose(t);
    return n;
}

PageTags tags(const QString &tiff, int page)
{
    PageTags r;
    TIFF *t = TIFFOpen(QFile::encodeName(tiff).constData(), "r");
    if (!t)
        return r;
    if (TIFFSetDirectory(t, tdir_t(page))) {
        uint32_t w = 0, h = 0, t4 = 0, sub = 0;
        uint16_t c = 0, ph = 0, a = 0, b = 0, unit = 0, bps = 0, spp = 0;
        float x = 0, y = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        r.width = int(w);
        r.height = int(h);
        if (TIFFGetField(t, TIFFTAG_COMPRESSION, &c))
            r.compression = c;
        if (TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &ph))
            r.photometric = ph;
        if (TIFFGetField(t, TIFFTAG_GROUP3OPTIONS, &t4))
            r.t4Options = int(t4);
        if (TIFFGetField(t, TIFFTAG_SUBFILETYPE, &sub))
            r.subfileType = int(sub);
        if (TIFFGetField(t, TIFFTAG_PAGENUMBER, &a, &b)) {
            r.pageNumber = a;
            r.pageTotal = b;
        }
        if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &x))
            r.xRes = x;
        if (TIFFGetField(t, TIFFTAG_YRESOLUTION, &y))
            r.yRes = y;
        if (TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit))
            r.resUnit = unit;
        TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
        r.bitsPerSample = bps;
        r.samplesPerPixel = spp;
    }
    TIFFClose(t);
    return r;
}

QImage referencePage(const QString &tiff, int page)
{
    TIFF *t = TIFFOpen(QFile::encodeName(tiff).constData(), "r");
    if (!t)
        return {};
    QImage out;
    if (TIFFSetDirectory(t, tdir_t(page))) {
        uint32_t w = 0, h = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        QImage rgba(int(w), int(h), QImage::Format_RGBA8888);
        if (TIFFReadRGBAImageOriented(t, w, h, reinterpret_cast<uint32_t *>(rgba.bits()), ORIENTATION_TOPLEFT,
                                      0))
            out = rgba.convertToFormat(QImage::Format_Grayscale8);
    }
    TIFFClose(t);
    return out;
}

QImage asGrey(const QImage &image)
{
    return image.convertToFormat(QImage::Format_Grayscale8);
}

QList<quint32> directoryOffsets(const QByteArray &tiff)
{
    QList<quint32> out;
    const auto *p = reinterpret_cast<const uchar *>(tiff.constData());
    for (quint32 off = qFromLittleEndian<quint32>(p + 4); off != 0 && !out.contains(off);) {
        out.append(off);
        off = qFromLittleEndian<quint32>(p + off + 2 + qFromLittleEndian<quint16>(p + off) * 12);
    }
    return out;
}

bool setDirectoryEntry(QByteArray &tiff, int dir, quint16 tag, quint32 value)
{
    const quint32 off = directoryOffsets(tiff).value(dir);
    const auto *p = reinterpret_cast<const uchar *>(tiff.constData());
    for (int i = 0; off && i < qFromLittleEndian<quint16>(p + off); ++i) {
        const qsizetype e = off + 2 + i * 12;
        if (qFromLittleEndian<quint16>(p + e) != tag || qFromLittleEndian<quint32>(p + e + 4) != 1)
            continue;
        if (qFromLittleEndian<quint16>(p + e + 2) == TIFF_SHORT)
            qToLittleEndian(quint16(value), tiff.data() + e + 8);
        else
            qToLittleEndian(value, tiff.data() + e + 8);
        return true;
    }
    return false;
}

bool linkDirectory(QByteArray &tiff, int from, int to)
{
    const QList<quint32> dirs = directoryOffsets(tiff);
    if (from >= dirs.size() || to >= dirs.size())
        return false;
    const auto *p = reinterpret_cast<const uchar *>(tiff.constData());
    const quint32 off = dirs.at(from);
    qToLittleEndian(dirs.at(to), tiff.data() + off + 2 + qFromLittleEndian<quint16>(p + off) * 12);
    return true;
}
} // namespace FaxFixtures
