#include "ImgX.h"
#include "FormatCodecs.h"
#include "ImgXPageSource.h"
#include "TiffCodec.h"
#include "WriteFailure.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// Reads a whole file and turns it into pages. onlyPage < 0: every page.
// One name for a file however it is reached (relative, through a link).
QString placeOf(const QString &fileName)
{
    const QFileInfo fi(fileName);
    const QString canonical = fi.canonicalFilePath();
    return canonical.isEmpty() ? fi.absoluteFilePath() : canonical;
}

bool loadPages(const QString &fileName, int onlyPage, QList<ImgXImage> *pages, ImgXError *error,
               QList<int> *unreadable = nullptr, bool *loops = nullptr)
{
    const QFileInfo fi(fileName);
    if (fileName.isEmpty() || !fi.exists()) {
        *error = ImgXError::make(ImgXErrorCode::FileNotFound, u"File not found: %1"_s.arg(fileName));
        return false;
    }
    QFile f(fileName);
    if (fi.isDir() || !f.open(QIODevice::ReadOnly)) {
        *error = ImgXError::make(ImgXErrorCode::ReadFailed,
                                 u"Cannot read %1: %2"_s.arg(fileName, f.errorString()));
        return false;
    }
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        *error = ImgXError::make(ImgXErrorCode::ReadFailed,
                                 u"Cannot read %1: %2"_s.arg(fileName, f.errorString()));
        return false;
    }
    if (data.isEmpty()) {
        *error = ImgXError::make(ImgXErrorCode::EmptyFile, u"The file %1 is empty"_s.arg(fileName));
        return false;
    }
    if (TiffCodec::hasSignature(data))
        return TiffCodec::readPages(fileName, data, onlyPage, pages, error, unreadable, loops);

    const ImgFileType format = FormatCodecs::detect(fileName, data);
    if (format == imgUnknown) {
        *error = ImgXError::make(ImgXErrorCode::NotAnImage,
                                 u"The file %1 is not a known image format"_s.arg(fileName));
        return false;
    }
    if (onlyPage > 0) {
        *error = ImgXError::make(ImgXErrorCode::InvalidArgument,
                                 u"The file %1 has no page %2"_s.arg(fileName).arg(onlyPage + 1));
        return false;
    }
    ImgXImage page;
    if (!FormatCodecs::read(fileName, data, format, &page, error))
        return false;
    pages->append(page);
    return true;
}

} // namespace

ImgX::ImgX(QObject *parent) : QObject(parent) {}

ImgX::~ImgX() = default;

const ImgXImage &ImgX::page(int index) const
{
    static const ImgXImage null;
    return hasPage(index) ? m_pages.at(index) : null;
}

bool ImgX::fail(qint32 code, const QString &description)
{
    m_error = ImgXError::make(code, description);
    return false;
}

bool ImgX::ok()
{
    m_error = {};
    return true;
}

bool ImgX::setCurrentIndex(int index)
{
    if (!hasPage(index))
        return fail(ImgXErrorCode::InvalidArgument, u"No page %1"_s.arg(index));
    if (index != m_current) {
        m_current = index;
        Q_EMIT CurrentImageChanged();
    }
    return ok();
}

void ImgX::clear()
{
    const bool had = !m_pages.isEmpty();
    m_pages.clear();
    setLeftOut({}, {});
    m_chainLoops = false;
    m_current = 0;
    clearUndo();
    m_error = {};
    if (had)
        Q_EMIT CurrentImageChanged();
}

void ImgX::append(const ImgXImage &page, const QString &undoText)
{
    if (page.isNull())
        return;
    recordStructure(undoText, u"Add Page"_s);
    m_pages.append(page);
    if (m_pages.size() == 1) {
        m_current = 0;
        Q_EMIT CurrentImageChanged();
    }
    m_error = {};
}

bool ImgX::replacePage(int index, const ImgXImage &newPage, const QString &undoText)
{
    if (!hasPage(index) || newPage.isNull())
        return fail(ImgXErrorCode::InvalidArgument, u"No page %1"_s.arg(index));
    const int saved = m_current;
    m_current = index;
    record(undoText, u"Edit"_s);
    m_current = saved;
    m_pages[index] = newPage;
    finishEdit();
    return ok();
}

bool ImgX::removePage(int index, const QString &undoText)
{
    if (!hasPage(index))
        return fail(ImgXErrorCode::InvalidArgument, u"No page %1"_s.arg(index));
    recordStructure(undoText, u"Remove Page"_s);
    m_pages.removeAt(index);
    if (m_current >= m_pages.size())
        m_current = std::max(0, int(m_pages.size()) - 1);
    Q_EMIT CurrentImageChanged();
    finishEdit();
    return ok();
}

bool ImgX::progress(int percent, const QString &what)
{
    bool cancel = false;
    Q_EMIT Progress(percent, what, &cancel);
    if (cancel)
        m_error = ImgXError::make(ImgXErrorCode::Cancelled, u"%1 was cancelled"_s.arg(what));
    return !cancel;
}

bool ImgX::importFile(const QString &fileName, int currentPage)
{
    QList<ImgXImage> pages;
    ImgXError err;
    const QString what = u"Loading %1"_s.arg(QFileInfo(fileName).fileName());
    if (!progress(0, what))
        return false;
    QList<int> unreadable;
    bool loops = false;
    if (!loadPages(fileName, -1, &pages, &err, &unreadable, &loops)) {
        m_error = err;
        return false;
    }
    if (currentPage < 0 || currentPage >= pages.size())
        return fail(ImgXErrorCode::InvalidArgument,
                    u"The file %1 has no page %2"_s.arg(fileName).arg(currentPage + 1));
    // The page shown first must decode; a damaged first page means the file is no usable image.
    if (pages.at(currentPage).image().isNull()) {
        m_error = pages.at(currentPage).decodeError();
        return false;
    }
    if (!progress(100, what))
        return false;
    m_pages = pages;
    m_current = currentPage;
    setLeftOut(unreadable, fileName);
    m_chainLoops = loops;
    clearUndo();
    Q_EMIT CurrentImageChanged();
    return ok();
}

bool ImgX::importFileUndecoded(const QString &fileName)
{
    QList<ImgXImage> pages;
    ImgXError err;
    QList<int> unreadable;
    bool loops = false;
    if (!loadPages(fileName, -1, &pages, &err, &unreadable, &loops)) {
        m_error = err;
        return false;
    }
    m_pages = pages;
    m_current = 0;
    setLeftOut(unreadable, fileName);
    m_chainLoops = loops;
    clearUndo();
    Q_EMIT CurrentImageChanged();
    return ok();
}

bool ImgX::importPage(const QString &fileName, int pageIndex)
{
    QList<ImgXImage> pages;
    ImgXError err;
    if (pageIndex < 0)
        return fail(ImgXErrorCode::InvalidArgument, u"No page %1"_s.arg(pageIndex));
    if (!loadPages(fileName, pageIndex, &pages, &err)) {
        m_error = err;
        return false;
    }
    if (pages.size() != 1)
        return fail(ImgXErrorCode::InvalidArgument,
                    u"The file %1 has no page %2"_s.arg(fileName).arg(pageIndex + 1));
    if (pages.first().image().isNull()) {
        m_error = pages.first().decodeError();
        return false;
    }
    m_pages = pages;
    setLeftOut({}, {});
    m_chainLoops = false;
    m_current = 0;
    clearUndo();
    Q_EMIT CurrentImageChanged();
    return ok();
}

bool ImgX::importDocument(const ImgX &other, int pageIndex)
{
    if (pageIndex != AllPages && !other.hasPage(pageIndex))
        return fail(ImgXErrorCode::InvalidArgument, u"No page %1"_s.arg(pageIndex));
    if (other.isEmpty())
        return fail(ImgXErrorCode::NoImage, u"The document has no pages"_s);
    // Copied first: other may be this document.
    QList<ImgXImage> pages =
        pageIndex == AllPages ? other.m_pages : QList<ImgXImage>{other.m_pages.at(pageIndex)};
    const int current = pageIndex == AllPages ? other.m_current : 0;
    m_pages = std::move(pages);
    setLeftOut({}, {});
    m_chainLoops = false;
    m_current = current;
    clearUndo();
    Q_EMIT CurrentImageChanged();
    return ok();
}

bool ImgX::importImage(const QImage &picture, double xDpi, double yDpi)
{
    if (picture.isNull())
        return fail(ImgXErrorCode::NoImage, u"The picture is empty"_s);
    m_pages = {ImgXImage(picture, xDpi, yDpi)};
    setLeftOut({}, {});
    m_chainLoops = false;
    m_current = 0;
    clearUndo();
    Q_EMIT CurrentImageChanged();
    return ok();
}

void ImgX::setLeftOut(const QList<int> &pages, const QString &fileName)
{
    m_leftOut = pages;
    m_leftOutOf = pages.isEmpty() ? QString() : placeOf(fileName);
}

bool ImgX::exportFile(const QString &fileName, ImgFileType format, int pageIndex)
{
    if (!ImgFileTypes::isValid(format))
        return fail(ImgXErrorCode::InvalidArgument, u"Unknown format code %1"_s.arg(int(format)));
    if (!ImgXSupport::canWrite(format))
        return fail(ImgXErrorCode::FormatNotWritable,
                    u"The %1 format cannot be written"_s.arg(ImgFileTypes::name(format)));
    if (isEmpty())
        return fail(ImgXErrorCode::NoImage, u"There is no image to save"_s);
    if (fileName.isEmpty())
        return fail(ImgXErrorCode::InvalidArgument, u"No file name"_s);
    if (pageIndex != AllPages && !hasPage(pageIndex))
        return fail(ImgXErrorCode::InvalidArgument, u"No page %1"_s.arg(pageIndex));
    // Pages left out at loading are still in their file; written over, it would lose them unsaid.
    if (!m_leftOut.isEmpty() && placeOf(fileName) == m_leftOutOf) {
        QStringList numbers;
        for (const int page : m_leftOut)
            numbers << QString::number(page + 1);
        return fail(ImgXErrorCode::PagesLeftOut,
                    u"Page %1 of %2 cannot be read and would be lost: the file is left as it was"_s.arg(
                        numbers.join(u", "_s), QFileInfo(fileName).fileName()));
    }

    QList<ImgXImage> out;
    if (pageIndex != AllPages)
        out.append(m_pages.at(pageIndex));
    else if (format == imgTIF)
        out = m_pages;
    else
        out.append(image());
    // The whole file is built in memory first: a page that cannot be read fails the save before the
    // file on disk is touched.
    if (format != imgTIF && (out.first().image().isNull() || out.first().damage().isError())) {
        m_error = out.first().image().isNull() ? out.first().decodeError() : out.first().damage();
        m_error.description = u"Page %1 is damaged and the file is left as it was: %2"_s
                                  .arg((pageIndex == AllPages ? m_current : pageIndex) + 1)
                                  .arg(m_error.description);
        return false;
    }

    const QString what = u"Saving %1"_s.arg(QFileInfo(fileName).fileName());
    if (!progress(0, what))
        return false;
    QByteArray bytes;
    ImgXError err;
    auto pageDone = [&](int done, int total) { return progress(done * 99 / std::max(1, total), what); };
    const bool encoded = format == imgTIF
                             ? TiffCodec::write(out, m_export.tifCompression, &bytes, &err, pageDone)
                             : FormatCodecs::write(out.first(), format, m_export, &bytes, &err);
    if (!encoded || bytes.isEmpty()) {
        m_error = err.isError() ? err : ImgXError::make(ImgXErrorCode::WriteFailed, u"Nothing to write"_s);
        return false;
    }
    if (format != imgTIF) {
        // Single-page writers are partly other people's: a file whose header our readers do not
        // take at the page's size is not written (a wrong size field makes a file nothing opens).
        const QSize found = FormatCodecs::headerSize(bytes, format);
        if (found != out.first().size())
            return fail(
                ImgXErrorCode::WriteFailed,
                u"The %1 file made for %2 does not read back: its header says %3x%4 for a page of %5x%6"_s
                    .arg(ImgFileTypes::name(format), QFileInfo(fileName).fileName())
                    .arg(found.width())
                    .arg(found.height())
                    .arg(out.first().width())
                    .arg(out.first().height()));
    }
    QString why;
    if (!WriteFailure::save(fileName, bytes, &why))
        return fail(ImgXErrorCode::WriteFailed, WriteFailure::sentence(fileName, why));
    progress(100, what); // written: too late to cancel
    return ok();
}

QImage ImgX::exportPicture(int pageIndex) const
{
    if (!hasPage(pageIndex))
        return {};
    const QImage &img = m_pages.at(pageIndex).image();
    if (img.isNull())
        return {};
    return img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

// --- undo -----------------------------------------------------------------------------------

ImgX::Level ImgX::snapshot(const QString &text, bool structural) const
{
    Level l;
    l.text = text;
    l.index = m_current;
    l.current = m_current;
    l.structural = structural;
    if (structural)
        l.allPages = m_pages;
    else
        l.page = page(m_current);
    return l;
}

void ImgX::restore(const Level &level)
{
    if (level.structural) {
        m_pages = level.allPages;
        m_current = std::clamp(level.current, 0, std::max(0, int(m_pages.size()) - 1));
    } else if (hasPage(level.index)) {
        m_pages[level.index] = level.page;
        m_current = level.index;
    }
}

void ImgX::record(const QString &undoText, const QString &defaultText)
{
    m_redo.clear();
    if (undoText == ImgXNoUndo() || m_undoLevels <= 0)
        return;
    m_undo.push_front(snapshot(undoText.isEmpty() ? defaultText : undoText, false));
    trimUndo();
}

void ImgX::recordStructure(const QString &undoText, const QString &defaultText)
{
    m_redo.clear();
    if (undoText == ImgXNoUndo() || m_undoLevels <= 0)
        return;
    m_undo.push_front(snapshot(undoText.isEmpty() ? defaultText : undoText, true));
    trimUndo();
}

void ImgX::trimUndo()
{
    while (int(m_undo.size()) > std::max(0, m_undoLevels))
        m_undo.pop_back();
    while (int(m_redo.size()) > std::max(0, m_undoLevels))
        m_redo.pop_back();
}

void ImgX::finishEdit()
{
    if (m_stepDepth > 0)
        m_changedHeld = true;
    else
        Q_EMIT Changed();
}

void ImgX::setUndoLevels(int levels)
{
    m_undoLevels = std::max(0, levels);
    trimUndo();
}

bool ImgX::undo()
{
    return stepLevel(m_undo, m_redo, u"Nothing to undo"_s);
}

bool ImgX::redo()
{
    return stepLevel(m_redo, m_undo, u"Nothing to redo"_s);
}

bool ImgX::stepLevel(std::deque<Level> &from, std::deque<Level> &to, const QString &noneText)
{
    if (from.empty())
        return fail(ImgXErrorCode::NothingToUndo, noneText);
    Level level = std::move(from.front());
    from.pop_front();
    const int before = m_current;
    m_current = level.structural ? m_current : level.index;
    Level back = snapshot(level.text, level.structural);
    m_current = before;
    restore(level);
    to.push_front(std::move(back));
    if (m_current != before)
        Q_EMIT CurrentImageChanged();
    finishEdit();
    return ok();
}

QString ImgX::undoText(int item) const
{
    return item >= 0 && item < int(m_undo.size()) ? m_undo.at(item).text : QString();
}

QString ImgX::redoText(int item) const
{
    return item >= 0 && item < int(m_redo.size()) ? m_redo.at(item).text : QString();
}

void ImgX::undoAddLevel(const QString &text)
{
    if (isEmpty())
        return;
    record(text, u"Edit"_s);
}

void ImgX::undoAddDocumentLevel(const QString &text)
{
    if (isEmpty())
        return;
    recordStructure(text, u"Edit"_s);
}

void ImgX::clearUndo()
{
    m_undo.clear();
    m_redo.clear();
}
