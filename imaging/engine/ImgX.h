#pragma once

#include "ImgFileType.h"
#include "ImgXError.h"
#include "ImgXImage.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

#include <deque>

// TIFCompression values for writing TIFF. Automatic: a bilevel page from a CCITT source keeps its
// scheme (G3 1D, G3 2D or G4), other bilevel pages get G4, grey and colour pages get LZW.
enum class TIFCompression : int {
    Automatic = 0,
    None = 1,
    CcittG3 = 2, // Group 3, 1D (Modified Huffman per row)
    CcittG3_2D = 3,
    CcittG4 = 4,
    Lzw = 5,
    PackBits = 6,
    Deflate = 7,
};

// Options read by exportFile; set by the control (its viewer's pass-through members).
struct ImgXExportOptions
{
    TIFCompression tifCompression = TIFCompression::Automatic;
    int jpgQuality = 100;
    bool jpgProgressive = false;
    bool pngInterlaced = false;
    bool bmpUseRleCompression = false;
};

// Settings the drawing tools share (fill colour with its opacity, modes). Kept here so the marking
// tools and the logo stamp read and write one place per document.
struct ImgXDrawSettings
{
    QColor fillColor = Qt::black;
    int opacity = 255; // 0..255
    int drawMode = 6;
    int renderMode = 6;
};

// Resize modes. 4 resamples the whole page keeping its pixel format (bilevel pages by nearest
// neighbour); 5 makes a smooth reduction for thumbnails (bilevel pages become grey).
namespace ImgXResize {
constexpr int Nearest = 1;
constexpr int Page = 4;
constexpr int Thumbnail = 5;
} // namespace ImgXResize

// Undo text that records no undo level.
inline const QString &ImgXNoUndo()
{
    static const QString s = QStringLiteral("NoUndo");
    return s;
}

// A document of image pages (the engine's ImgX object with its Images, Import, Export, Effects and
// Draw). One instance per viewer; all state, settings and undo history belong to the instance.
// Methods return false on failure and leave the reason in lastError(); a failed call changes nothing.
class ImgX : public QObject
{
    Q_OBJECT
public:
    static constexpr int AllPages = -1;

    explicit ImgX(QObject *parent = nullptr);
    ~ImgX() override;

    // --- Images -----------------------------------------------------------------------------
    int count() const { return int(m_pages.size()); }
    bool isEmpty() const { return m_pages.isEmpty(); }
    bool hasPage(int index) const { return index >= 0 && index < count(); }
    const ImgXImage &page(int index) const; // a null page for a bad index
    const QList<ImgXImage> &pages() const { return m_pages; }
    int currentIndex() const { return m_current; }
    bool setCurrentIndex(int index); // emits CurrentImageChanged when it changes
    // The current page (null when empty).
    const ImgXImage &image() const { return page(m_current); }

    // Empties the document and its undo history.
    void clear();
    // Appends a page after the existing ones (a scanned page); it becomes current when the document
    // was empty. undoText other than "NoUndo" records the addition as an undo level.
    void append(const ImgXImage &page, const QString &undoText = ImgXNoUndo());
    // Replaces page index (edits made outside the engine); recorded as an undo level unless "NoUndo".
    bool replacePage(int index, const ImgXImage &page, const QString &undoText = QString());
    bool removePage(int index, const QString &undoText = QString());

    // --- Import -----------------------------------------------------------------------------
    // Loads every page of a file (pages decode on demand); currentPage becomes current. Replaces the
    // document and clears the undo history. Errors: ImgXErrorCode::NotAnImage/EmptyFile/CorruptImage
    // for a file that is no readable image, FileNotFound, ReadFailed, FormatNotReadable.
    bool importFile(const QString &fileName, int currentPage = 0);
    // As importFile with page 0 current, but no page is decoded, not even that one: for a reader that
    // takes the pages one at a time through copies and must not keep any (a damaged page shows when
    // it is decoded).
    bool importFileUndecoded(const QString &fileName);
    // Pages of the file importFile last loaded that could not be read and were left out (a TIFF
    // directory that is damaged); the document holds the others. They are still in that file, so
    // exportFile refuses to write over it (PagesLeftOut); another file takes what is shown.
    int unreadablePages() const { return int(m_leftOut.size()); }
    // Their places in the file, 0-based.
    const QList<int> &leftOutPages() const { return m_leftOut; }
    // The file importFile last loaded is a TIFF whose page chain links back to a page already read:
    // the document holds the pages up to that link.
    bool chainLoops() const { return m_chainLoops; }
    // Loads only page `page` (0-based) of a file as a one-page document.
    bool importPage(const QString &fileName, int page);
    // Takes pages from another document (AllPages, or one index); clears the history.
    bool importDocument(const ImgX &other, int page = AllPages);
    // A picture as a one-page document (source format imgUnknown).
    bool importImage(const QImage &picture, double xDpi = 96.0, double yDpi = 96.0);

    // --- Export -----------------------------------------------------------------------------
    // Writes the document to fileName in format: every page (AllPages) or page `page`. Formats that
    // hold one page only (everything but TIFF) get the current page when AllPages is asked. The file
    // is written to a temporary name and renamed into place: a failure leaves no new file behind and
    // an existing file untouched. Reading pages that still come from fileName itself is safe.
    bool exportFile(const QString &fileName, ImgFileType format, int page = AllPages);
    // A page as a picture (Format_RGB32, or ARGB32 when it has alpha); null for a bad index.
    QImage exportPicture(int page) const;
    ImgXExportOptions &exportOptions() { return m_export; }
    const ImgXExportOptions &exportOptions() const { return m_export; }
    TIFCompression tifCompression() const { return m_export.tifCompression; }
    void setTIFCompression(TIFCompression c) { m_export.tifCompression = c; }

    // --- Effects (current page) -------------------------------------------------------------
    // Turns by angle degrees clockwise. 90, 180 and 270 are exact and keep bilevel pages bilevel;
    // other angles widen the page and fill the corners with background. Resolutions stay as they
    // are (the caller exchanges them for quarter turns if it wants to).
    bool rotate(double angle, const QColor &background = Qt::black, const QString &undoText = QString());
    // Resizes to width x height pixels; a height of 0 keeps the aspect (in physical units), so does a
    // width of 0. Modes in ImgXResize.
    bool resize(int width, int height, int mode = ImgXResize::Page, const QString &undoText = QString());
    bool convertPixelFormat(ImgXPixelFormat format, const QString &undoText = QString());
    // New resolution, pixels unchanged.
    bool setResolution(int xDpi, int yDpi, const QString &undoText = QString());
    // New resolution and a resample so that the physical size stays: width = floor(x*w/oldX),
    // height = floor(y*h/oldY). One undo level.
    bool changeResolution(int xDpi, int yDpi, const QString &undoText = QString());

    // --- Draw (current page) ----------------------------------------------------------------
    // Fills a rectangle of page pixels (clipped to the page) with colour at opacity 0..255. On a
    // bilevel page opaque black or white is a bit fill and the page stays bilevel; any other fill
    // turns the page into a colour page first.
    bool fillRect(const QRect &pixels, const QColor &colour, int opacity,
                  const QString &undoText = QString());
    // Draws picture with its top-left corner at pos (page pixels) at opacity 0..255, blending by the
    // picture's own alpha when useAlpha. A bilevel page becomes a colour page.
    bool drawImage(const QImage &picture, QPoint pos, int opacity = 255, bool useAlpha = true,
                   const QString &undoText = QString());
    ImgXDrawSettings &drawSettings() { return m_draw; }
    const ImgXDrawSettings &drawSettings() const { return m_draw; }

    // --- Undo -------------------------------------------------------------------------------
    int undoLevels() const { return m_undoLevels; }
    void setUndoLevels(int levels); // 0 turns undo off; dropping below the kept count drops the oldest
    int undos() const { return int(m_undo.size()); }
    int redos() const { return int(m_redo.size()); }
    bool undo();
    bool redo();
    // Text of an undo/redo level, 0 the most recent; empty when there is none.
    QString undoText(int item = 0) const;
    QString redoText(int item = 0) const;
    // Records the current page as an undo level (before an edit made outside the engine).
    void undoAddLevel(const QString &text);
    // Records every page as one undo level (before one step that edits several pages).
    void undoAddDocumentLevel(const QString &text);
    void clearUndo();

    ImgXError lastError() const { return m_error; }

    // One user step made of several edits (a quarter turn and its resolutions, every page turned,
    // a logo on a squared page): while a Step lives, Changed is held back and raised once at its end
    // when anything changed. Steps nest.
    class Step
    {
    public:
        explicit Step(ImgX &doc) : m_doc(doc) { ++m_doc.m_stepDepth; }
        ~Step()
        {
            if (--m_doc.m_stepDepth == 0 && m_doc.m_changedHeld) {
                m_doc.m_changedHeld = false;
                Q_EMIT m_doc.Changed();
            }
        }
        Step(const Step &) = delete;
        Step &operator=(const Step &) = delete;

    private:
        ImgX &m_doc;
    };

Q_SIGNALS:
    // A page changed (an edit, an undo or a redo); not raised by loading or emptying.
    void Changed();
    void CurrentImageChanged();
    // Loading and saving tell how far they are (0..100); a handler that sets *Cancel stops them
    // (the call fails with Cancelled and changes nothing: no document loaded, no file written).
    void Progress(int Percent, const QString &Description, bool *Cancel);

private:
    struct Level
    {
        QString text;
        int index = 0;           // page the level belongs to
        ImgXImage page;          // state of that page (null page: the page did not exist)
        bool structural = false; // page inserted/removed rather than changed
        QList<ImgXImage> allPages;
        int current = 0;
    };

    bool fail(qint32 code, const QString &description);
    bool ok();
    bool requireCurrent(ImgXImage **page);
    bool progress(int percent, const QString &what); // false: cancelled
    void record(const QString &undoText, const QString &defaultText);
    void recordStructure(const QString &undoText, const QString &defaultText);
    void trimUndo();
    void finishEdit();
    void setLeftOut(const QList<int> &pages, const QString &fileName);
    Level snapshot(const QString &text, bool structural) const;
    void restore(const Level &level);
    // Takes the newest level of from back onto the page and keeps what it replaced on to.
    bool stepLevel(std::deque<Level> &from, std::deque<Level> &to, const QString &noneText);

    QList<ImgXImage> m_pages;
    int m_current = 0;
    int m_undoLevels = 5;
    std::deque<Level> m_undo; // front = most recent
    std::deque<Level> m_redo;
    ImgXExportOptions m_export;
    ImgXDrawSettings m_draw;
    ImgXError m_error;
    int m_stepDepth = 0;
    bool m_changedHeld = false;
    QList<int> m_leftOut;
    QString m_leftOutOf; // the file they are in
    bool m_chainLoops = false;
};
