// Save, Save As, conversion and the page resolution command of Lumagrid.
#include "Lumagrid.h"

#include "LumagridDocument.h"
#include "PageView.h"
#include "Prompt.h"
#include "SaveAsFilter.h"
#include "frmResolution.h"

#include <QFileDialog>
#include <QFileInfo>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// The refusal to write over a file with pages that could not be read, in the user's words.
ImgXError toldUser(ImgXError error, const ::ImgX &engine)
{
    if (error.number != ImgXErrorCode::PagesLeftOut)
        return error;
    QStringList pages;
    for (const int page : engine.leftOutPages())
        pages << QString::number(page + 1);
    error.description =
        (pages.size() == 1 ? u"La pagina %1 del file non è leggibile e andrebbe persa: il file resta com'era."_s
                           : u"Le pagine %1 del file non sono leggibili e andrebbero perse: il file resta com'era."_s)
            .arg(pages.join(u", "_s)) +
        u" Per salvare le altre pagine usare \"Salva con nome\" con un nuovo nome."_s;
    return error;
}

} // namespace

bool Lumagrid::Save()
{
    Q_EMIT BeforeSave();
    m_lastError = {};
    switch (m_doc->save()) {
    case LumagridDocument::SaveResult::Failed:
        m_lastError = toldUser(m_doc->lastError(), m_doc->engine());
        return false;
    case LumagridDocument::SaveResult::NeedsSaveAs:
        // Nothing written (cancelled or failed) is no save: the host must not send the file on.
        if (!SaveAsDialog()) {
            if (!m_lastError)
                m_lastError = ImgXError::make(ImgXErrorCode::WriteFailed, u"The image was not saved"_s);
            return false;
        }
        m_doc->markSaved();
        break;
    case LumagridDocument::SaveResult::Saved:
        break;
    }
    m_stopThumbs = false;
    if (m_thumbsVisible)
        ThumbsGenerate();
    Q_EMIT AfterSave();
    return true;
}

// The Save As dialog: the entry of the page's own format is offered first; the chosen entry gives
// the format and, for a name without one, the extension. A name that carries another known image
// extension is written in that format, so a file's content always matches its name.
bool Lumagrid::SaveAsDialog()
{
    ::ImgX &engine = m_doc->engine();
    if (engine.isEmpty())
        return false;
    const QStringList filters = SaveAsFilter::nameFilters();
    const int own = SaveAsFilter::entryForFormat(engine.image().formatCode());
    if (own > 0)
        m_saveAsEntry = own;

    QFileDialog dialog(this, u"Salva con nome"_s);
    dialog.setObjectName(u"Dialog"_s);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // The dialog keeps its entries with simplified spaces: index them by its own list.
    const QStringList entries = dialog.nameFilters();
    dialog.selectNameFilter(entries.at(m_saveAsEntry - 1));
    if (Prompt::exec(&dialog) != QDialog::Accepted)
        return false;
    QString name = dialog.selectedFiles().value(0);
    if (name.isEmpty() || QFileInfo(name).isDir())
        return false;
    const int entry = int(entries.indexOf(dialog.selectedNameFilter())) + 1;
    if (entry > 0)
        m_saveAsEntry = entry;
    qint32 code = imgTIF;
    const QString extension = SaveAsFilter::FormatFromFilter(m_saveAsEntry, &code);
    ImgFileType format = ImgFileType(code);
    const ImgFileType byName = ImgFileTypes::fromFileName(name);
    if (byName != imgUnknown)
        format = byName;
    else if (QFileInfo(name).suffix().isEmpty()) {
        // The entry's extension; the dialog only asked about the name as typed.
        name += u'.' + extension;
        if (QFileInfo::exists(name) &&
            !Prompt::question(this, QString(), u"Il file %1 esiste già. Sostituirlo?"_s.arg(name)))
            return false;
    }
    if (!engine.exportFile(name, format, ::ImgX::AllPages)) {
        m_lastError = toldUser(engine.lastError(), engine);
        ShowError(m_lastError);
        return false;
    }
    return true;
}

bool Lumagrid::ConvertImagePage(const QString &sFileName, const QString &sNewFileNAme, ImgFileType DestFormat,
                                short NPage)
{
    // Through a document of its own: the page shown stays as it is. The control's file options
    // (TIFCompression, JPGQuality, JPGProgressive, ...) apply to the converted file.
    ::ImgX doc;
    doc.exportOptions() = m_doc->engine().exportOptions();
    if (!doc.importPage(sFileName, NPage) || !doc.exportFile(sNewFileNAme, DestFormat, 0)) {
        m_lastError = doc.lastError();
        return false;
    }
    return true;
}

bool Lumagrid::ConvertImage(const QString &sFileName, const QString &sNewFileNAme, ImgFileType DestFormat)
{
    return ConvertImagePage(sFileName, sNewFileNAme, DestFormat, 0);
}

// New resolutions for every page, each resampled so that its printed size stays. Every page is
// checked first: a value no page can take changes nothing rather than half the document.
void Lumagrid::ApplyResolution()
{
    ::ImgX &engine = m_doc->engine();
    if (engine.isEmpty())
        return;
    frmResolution dialog(this);
    dialog.setValues(engine.image().xResolution(), engine.image().yResolution());
    Prompt::exec(&dialog);
    if (!dialog.ok())
        return;
    const int x = dialog.xDpi(), y = dialog.yDpi();
    for (const ImgXImage &page : engine.pages()) {
        // Pages always have a resolution of at least 1 dpi; the guard keeps it that way here too.
        const double w = std::floor(double(x) * page.width() / std::max(1, page.xResolution()));
        const double h = std::floor(double(y) * page.height() / std::max(1, page.yResolution()));
        if (!ImgXPageLimit::fits(qint64(w), qint64(h))) {
            ShowError(ImgXError::make(ImgXErrorCode::InvalidArgument,
                                      u"A page of %1 x %2 pixels cannot take %3 x %4 dpi"_s.arg(page.width())
                                          .arg(page.height())
                                          .arg(x)
                                          .arg(y)));
            return;
        }
    }
    const int current = engine.currentIndex();
    ::ImgX::Step step(engine); // one resolution change, one Changed
    engine.undoAddDocumentLevel(u"Resolution"_s); // and one undo step for every page, as FlipAll
    for (int i = 0; i < engine.count(); ++i) {
        engine.setCurrentIndex(i);
        if (!engine.changeResolution(x, y, ImgXNoUndo())) {
            m_lastError = engine.lastError();
            engine.setCurrentIndex(current);
            m_view->setPage(engine.image());
            ShowError(m_lastError);
            return;
        }
    }
    engine.setCurrentIndex(current);
    m_view->setPage(engine.image());
}
