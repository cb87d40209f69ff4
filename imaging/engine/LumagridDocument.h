#pragma once

#include "ImgX.h"

#include <QObject>
#include <QString>

// The control's document state without any window: the opened file, page count, current page, the
// scanned pages, the saved flag and the low-resolution fax flag, over one ImgX per instance.
// The widget control keeps its counter, strip and view in step with this object.
class LumagridDocument : public QObject
{
    Q_OBJECT
public:
    enum class OpenResult {
        Opened,     // the file was loaded, page 0 current
        Missing,    // no such file (nothing changed but the scanned state and the engine pages)
        NotAnImage, // the engine cannot read it as an image (error cleared, no message owed)
        Failed,     // any other error: lastError() for the error box
    };
    enum class SaveResult {
        Saved,       // written; Saved() is true
        NeedsSaveAs, // no source name or format: the caller runs its Save As dialog, then markSaved()
        Failed,      // lastError(); Saved() unchanged
    };

    explicit LumagridDocument(QObject *parent = nullptr);

    ImgX &engine() { return m_engine; }
    const ImgX &engine() const { return m_engine; }

    // FileName write keeps the name and sets FileExt (upper case of the last three characters). A
    // name of fewer than three characters is kept but FileExt stays; the call returns false then.
    QString FileName() const { return m_fileName; }
    bool setFileName(const QString &name);
    QString FileExt() const { return m_fileExt; }

    int PagesNumber() const { return m_scanned ? m_scannedCount : m_pageCount; }
    int Page() const { return m_currentPage; }
    int lNumPage() const { return m_pageCount; }
    bool Scanned() const { return m_scanned; }
    int ScannedCount() const { return m_scannedCount; }
    QString ScanSaveName() const { return m_scanSaveName; }
    void setScanSaveName(const QString &name) { m_scanSaveName = name; }
    bool Saved() const { return m_saved; }
    void setSaved(bool saved) { m_saved = saved; }
    bool LowResFax() const { return m_lowResFax; }
    // Counter text "n/m", or "0/0" when nothing is shown.
    QString counterText() const;

    // Opens a file as the document: leaves the scanned state, empties the engine, keeps the name,
    // loads every page (decoded on demand), page 0 current. A missing file keeps lNumPage and Page.
    OpenResult openSource(const QString &fileName);
    // Empties the engine's pages; Saved false.
    void clearEngine();
    // Empties the control: engine pages and scanned state. FileName, lNumPage and Page stay.
    void pulizia();
    // Shows page pageNumber (0-based); the page count itself means the last page. Returns false when
    // the engine has no such page (the state is still updated as the control's counter expects).
    bool goToPage(int pageNumber);
    // An acquired page: appended after the others; scanned state on, count + 1, last page current.
    void addScannedPage(const ImgXImage &page);
    // Writes the document back: scanned pages to ScanSaveName as one TIFF, otherwise every page to
    // the first page's source file in its source format. TIFCompression is set to automatic first.
    SaveResult save();
    void markSaved() { m_saved = true; }

    ImgXError lastError() const { return m_error; }

    // Small shared routines of the control library.
    static bool FileExists(const QString &path);
    static QString StripQuotes(const QString &s);
    static qint32 MinLong(qint32 a, qint32 b) { return a < b ? a : b; }

Q_SIGNALS:
    // Raised when the engine reports a change; Saved() is already false then.
    void Changed();

private:
    void updateLowResFax();

    ImgX m_engine;
    QString m_fileName;
    QString m_fileExt;
    int m_pageCount = 0;
    int m_currentPage = 0;
    bool m_scanned = false;
    int m_scannedCount = 0;
    QString m_scanSaveName;
    bool m_saved = false;
    bool m_lowResFax = false;
    bool m_shown = false;
    ImgXError m_error;
};
