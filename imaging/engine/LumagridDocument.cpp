#include "LumagridDocument.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

LumagridDocument::LumagridDocument(QObject *parent) : QObject(parent)
{
    connect(&m_engine, &ImgX::Changed, this, [this] {
        m_saved = false;
        Q_EMIT Changed();
    });
}

bool LumagridDocument::setFileName(const QString &name)
{
    m_fileName = name;
    if (name.size() < 3)
        return false;
    m_fileExt = name.right(3).toUpper();
    return true;
}

QString LumagridDocument::counterText() const
{
    if (!m_shown || PagesNumber() <= 0)
        return u"0/0"_s;
    return u"%1/%2"_s.arg(m_currentPage + 1).arg(PagesNumber());
}

LumagridDocument::OpenResult LumagridDocument::openSource(const QString &fileName)
{
    m_error = {};
    m_scanSaveName.clear();
    m_scannedCount = 0;
    m_scanned = false;
    clearEngine();
    setFileName(fileName);
    if (!FileExists(fileName)) {
        m_shown = false;
        return OpenResult::Missing;
    }
    const bool loaded = m_engine.importFile(StripQuotes(fileName), 0);
    m_currentPage = 0;
    if (!loaded) {
        m_lowResFax = false;
        m_shown = false;
        m_error = m_engine.lastError();
        if (ImgXErrorCode::isNotAnImage(m_error.number)) {
            m_error = {};
            return OpenResult::NotAnImage;
        }
        return OpenResult::Failed;
    }
    m_pageCount = m_engine.count();
    m_shown = true;
    updateLowResFax();
    return OpenResult::Opened;
}

void LumagridDocument::clearEngine()
{
    m_saved = false;
    m_engine.clear();
}

void LumagridDocument::pulizia()
{
    clearEngine();
    m_scanSaveName.clear();
    m_scannedCount = 0;
    m_scanned = false;
}

bool LumagridDocument::goToPage(int pageNumber)
{
    const int count = m_scanned ? m_scannedCount : m_pageCount;
    if (!m_scanned && m_fileName.isEmpty())
        return false;
    if (pageNumber == count)
        pageNumber = count - 1;
    // An index outside the document changes nothing (the view keeps its page).
    if (pageNumber < 0 || pageNumber >= count)
        return false;
    m_currentPage = pageNumber;
    m_shown = true;
    if (!m_engine.hasPage(m_currentPage))
        return false;
    m_engine.setCurrentIndex(m_currentPage);
    updateLowResFax();
    return true;
}

void LumagridDocument::addScannedPage(const ImgXImage &page)
{
    if (page.isNull())
        return;
    // A scanned page is no edit: appending records no undo level.
    m_engine.append(page, ImgXNoUndo());
    ++m_scannedCount;
    m_scanned = true;
    goToPage(m_scannedCount);
}

LumagridDocument::SaveResult LumagridDocument::save()
{
    m_error = {};
    m_engine.setTIFCompression(TIFCompression::Automatic);
    bool ok = false;
    if (!m_scanSaveName.isEmpty() && m_scanned) {
        ok = m_engine.exportFile(m_scanSaveName, imgTIF, ImgX::AllPages);
    } else {
        const ImgXImage &first = m_engine.page(0);
        const QString name = first.sourceFileName();
        const ImgFileType format = first.formatCode();
        if (name.isEmpty() || format == imgUnknown)
            return SaveResult::NeedsSaveAs;
        // Every page goes back into the file, not only the one shown.
        ok = m_engine.exportFile(name, format, ImgX::AllPages);
    }
    if (!ok) {
        m_error = m_engine.lastError();
        return SaveResult::Failed;
    }
    m_saved = true;
    return SaveResult::Saved;
}

bool LumagridDocument::FileExists(const QString &path)
{
    QString p = StripQuotes(path);
    if (p.endsWith(u'/') && p.size() > 1)
        p.chop(1);
    if (p.isEmpty() || QFileInfo(p).isDir())
        return false;
    QFile f(p);
    return f.open(QIODevice::ReadOnly);
}

QString LumagridDocument::StripQuotes(const QString &s)
{
    const QString t = s.trimmed();
    if (t.size() >= 2 && t.startsWith(u'"') && t.endsWith(u'"'))
        return t.mid(1, t.size() - 2);
    return t;
}

void LumagridDocument::updateLowResFax()
{
    // A Group 3 page at fax low resolution (98 dpi, or no resolution at all: read as 96).
    const ImgXImage &page = m_engine.image();
    m_lowResFax =
        !page.isNull() && page.tiffCompression() == TiffCompressionTag::CcittG3 && page.yResolution() <= 100;
}
