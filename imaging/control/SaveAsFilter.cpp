#include "SaveAsFilter.h"

using namespace Qt::StringLiterals;

namespace {
struct Entry
{
    const char16_t *description;
    const char16_t *extension;
    qint32 format;
};
// Only what this engine writes: metafiles (WMF, EMF) and GIF can be read where they can, never
// written, so offering them would only lead to a failed save.
constexpr Entry kEntries[] = {
    {u"[JPG]  (Joint Photographic Experts Group)", u"jpg", imgJPG},
    {u"[TIF]  (Tagged Image File)", u"tif", imgTIF},
    {u"[BMP]  (Windows Bitmap)", u"bmp", imgBMP},
    {u"[PNG]  (Portable Network Graphics)", u"png", imgPNG},
    {u"[PSD]  (Photoshop)", u"psd", imgPSD},
    {u"[PCX]  (ZSoft PaintBrush)", u"pcx", imgPCX},
    {u"[TGA]  (Truevision Targa)", u"tga", imgTGA},
    {u"[WBMP] (Wireless Bitmap)", u"wbmp", imgWBMP},
};
constexpr int kCount = int(std::size(kEntries));
} // namespace

namespace SaveAsFilter {

QString text()
{
    QString s;
    for (const Entry &e : kEntries)
        s += QString::fromUtf16(e.description) + u"|*."_s + QString::fromUtf16(e.extension) + u'|';
    return s;
}

QStringList nameFilters()
{
    QStringList list;
    for (const Entry &e : kEntries)
        list << QString::fromUtf16(e.description) + u" (*."_s + QString::fromUtf16(e.extension) + u')';
    return list;
}

QString FormatFromFilter(int index, qint32 *format)
{
    if (index < 1 || index > kCount)
        return QString();
    if (format)
        *format = kEntries[index - 1].format;
    return QString::fromUtf16(kEntries[index - 1].extension);
}

int entryForFormat(qint32 format)
{
    for (int i = 0; i < kCount; ++i) {
        if (kEntries[i].format == format)
            return i + 1;
    }
    return 0;
}

} // namespace SaveAsFilter
