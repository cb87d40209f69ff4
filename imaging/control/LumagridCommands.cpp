// The command toolbar's dispatcher and the save and print commands of Lumagrid.
#include "Lumagrid.h"

#include "ImgMenu.h"
#include "LumagridDocument.h"
#include "PageView.h"
#include "Prompt.h"

#include "ImgXRender.h"

#include <QApplication>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

using namespace Qt::StringLiterals;

void Lumagrid::onButtonClick()
{
    if (m_thumbsLoading) {
        busyMessage();
        return;
    }
    // No document; an emptied control (Pulizia, a file that did not open) has none either.
    if ((m_doc->FileName().isEmpty() && !m_doc->Scanned()) || m_doc->engine().isEmpty())
        return;
    const QString key = m_menu->KeyButton();
    ::ImgX &engine = m_doc->engine();
    const int current = m_doc->Page();
    const int pages = m_doc->PagesNumber();

    if (key == u"SaveAs"_s) {
        engine.setTIFCompression(TIFCompression::Automatic);
        if (m_askResSaveAs)
            ApplyResolution();
        SaveAsDialog();
    } else if (key == u"Save"_s) {
        if (!Save())
            ShowError(m_lastError);
    } else if (key == u"Print"_s) {
        printDocument();
    } else if (key == u"SetPrinter"_s) {
        printerSetup();
    } else if (key == u"Undo"_s || key == u"Redo"_s) {
        if (!undoRedo(key == u"Undo"_s))
            QApplication::beep();
    } else if (key == u"ZoomIn"_s) {
        m_view->setMouseTool(PageView::ToolZoomIn);
    } else if (key == u"ZoomOut"_s) {
        m_view->setMouseTool(PageView::ToolZoomOut);
    } else if (key == u"ZoomArea"_s) {
        m_view->setAutoZoom(false);
        m_view->setMouseTool(PageView::ToolZoomArea);
    } else if (key == u"Pan"_s) {
        m_view->setMouseTool(PageView::ToolPan);
    } else if (key == u"BestFit"_s || key == u"FitW"_s || key == u"FitH"_s) {
        m_view->setAutoZoom(false);
        m_view->setAutoZoomType(key == u"BestFit"_s ? PageView::FitBest
                                : key == u"FitW"_s  ? PageView::FitWidth
                                                    : PageView::FitHeight);
        m_view->ScaleImageToFit();
    } else if (key == u"Resolution"_s) {
        ApplyResolution();
    } else if (key == u"90DX"_s) {
        turnPage(90, true);
    } else if (key == u"90SX"_s) {
        turnPage(270, true);
    } else if (key == u"Flip"_s) {
        turnPage(180, false);
    } else if (key == u"FlipAll"_s) {
        turnAllPages();
    } else if (key == u"Evidenzia"_s || key == u"BlackRec"_s || key == u"WhiteRec"_s) {
        markingTool(key);
    } else if (key == u"AddLogo"_s) {
        addLogo();
    } else if (key == u"FirstPage"_s) {
        GoToPage(0, false);
    } else if (key == u"PrevPage"_s) {
        if (current > 0)
            GoToPage(current - 1, false);
        else
            QApplication::beep();
    } else if (key == u"NextPage"_s) {
        if (current < pages - 1)
            GoToPage(current + 1, false);
        else
            QApplication::beep();
    } else if (key == u"LastPage"_s) {
        GoToPage(pages, false);
    }
}

// Undo and Redo, from the toolbar and from a host alike: the page the level belongs to is shown,
// counter, strip selection and strip picture follow.
bool Lumagrid::undoRedo(bool undo)
{
    ::ImgX &engine = m_doc->engine();
    if (engine.isEmpty()) // a strip still building is no reason: it is rebuilt from the result
        return false;
    const QSize before = engine.image().size();
    if (!(undo ? engine.undo() : engine.redo()))
        return false;
    GoToPage(engine.currentIndex(), false);
    if (engine.image().size() != before)
        m_view->ScaleImageToFit();
    if (m_thumbsVisible)
        ThumbsGenerate();
    return true;
}

void Lumagrid::turnPage(double angle, bool exchangeResolutions)
{
    ::ImgX &engine = m_doc->engine();
    ::ImgX::Step step(engine);
    if (!engine.rotate(angle, Qt::black, QString())) {
        ShowError(engine.lastError());
        return;
    }
    if (exchangeResolutions) {
        // A quarter turn swaps the page's axes, and with them its two resolutions. The undo level
        // of the turn holds the page as it was, resolutions included.
        const ImgXImage &page = engine.image();
        engine.setResolution(page.yResolution(), page.xResolution(), ImgXNoUndo());
    }
    m_view->setPage(engine.image());
    if (exchangeResolutions)
        m_view->ScaleImageToFit();
    if (m_thumbsVisible)
        ThumbsGenerate();
}

void Lumagrid::turnAllPages()
{
    ::ImgX &engine = m_doc->engine();
    const int current = engine.currentIndex();
    ::ImgX::Step step(engine);
    engine.undoAddDocumentLevel(u"Flip All"_s); // one step, one undo level for every page
    for (int i = 0; i < engine.count(); ++i) {
        engine.setCurrentIndex(i);
        if (!engine.rotate(180, Qt::black, ImgXNoUndo())) {
            ShowError(engine.lastError());
            break;
        }
    }
    engine.setCurrentIndex(current);
    m_view->setPage(engine.image());
    if (m_thumbsVisible)
        ThumbsGenerate();
}

// ---- printing and scanning ------------------------------------------------------------------------

// The print queue shows the file's name; a scanned document has none.
QString Lumagrid::jobName(const QString &fileName)
{
    const QString name = QFileInfo(LumagridDocument::StripQuotes(fileName)).fileName();
    return name.isEmpty() ? u"Fax"_s : name;
}

QPrinter *Lumagrid::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printer.get();
}

void Lumagrid::printError(const ImgXError &error)
{
    QPrinter *pr = printer();
    const QSize paper = pr->paperRect(QPrinter::DevicePixel).size().toSize();
    const QSize page = pr->pageLayout().fullRectPixels(pr->resolution()).size();
    const QSize dims = pr->pageLayout().paintRectPixels(pr->resolution()).size();
    const auto pair = [](QSize s) -> QString {
        return QString::number(s.width()) + u" x "_s + QString::number(s.height());
    };
    const QStringList lines = {u"Si è verificato il seguente errore:"_s,
                               QString(),
                               error.description,
                               QString(),
                               u"Riferimenti:"_s,
                               QString(),
                               u"PAPER  ["_s + pair(paper) + u']',
                               u"PAGE   ["_s + pair(page) + u']',
                               u"DIMS   ["_s + pair(dims) + u']',
                               QString(),
                               u"Numero: "_s + QString::number(error.number),
                               u"Sorgente: "_s + error.source};
    setBusy(false);
    QApplication::beep();
    Prompt::critical(this, QString(), lines.join(u"\r\n"_s));
}

void Lumagrid::printDocument()
{
    Q_EMIT BeforePrint();
    ::ImgX &engine = m_doc->engine();
    const int n = engine.count();
    if (n < 1)
        return;
    QPrinter *pr = printer();
    pr->setDocName(jobName(m_doc->FileName()));
    pr->setFromTo(1, n);
    QPrintDialog dialog(pr, this);
    dialog.setObjectName(u"PrintDialog"_s);
    dialog.setMinMax(1, n);
    dialog.setFromTo(1, n);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    m_printChoice.restore(dialog);
    if (Prompt::exec(&dialog) != QDialog::Accepted)
        return; // no AfterPrint: the host leaves the fax unmarked
    m_printChoice.keep(dialog);
    if (pr->pageLayout().fullRectPoints().isEmpty())
        pr->setPageSize(QPageSize(QPageSize::A4));
    QList<int> pages;
    switch (dialog.printRange()) {
    case QAbstractPrintDialog::CurrentPage:
        pages << engine.currentIndex();
        break;
    case QAbstractPrintDialog::PageRange:
        for (int i = std::max(1, dialog.fromPage()); i <= std::min(n, dialog.toPage()); ++i)
            pages << i - 1;
        break;
    default:
        for (int i = 0; i < n; ++i)
            pages << i;
        break;
    }
    const ImgXError error = ImgXRender::printPages(*pr, engine, pages, 10.0);
    if (error) {
        if (error.number == ImgXErrorCode::PrintFailed)
            printError(error);
        else
            ShowError(error);
        return;
    }
    Q_EMIT AfterPrint();
}

void Lumagrid::printerSetup()
{
    QPageSetupDialog dialog(printer(), this);
    dialog.setObjectName(u"PageSetupDialog"_s);
    Prompt::exec(&dialog);
}

bool Lumagrid::PrintSource(const QString &sFileName)
{
    if (!LumagridDocument::FileExists(sFileName))
        return false;
    // Through a document of its own, so the page shown (and any unsaved edit of it) stays.
    ::ImgX doc;
    ImgXError error;
    if (doc.importFile(LumagridDocument::StripQuotes(sFileName))) {
        QList<int> pages;
        for (int i = 0; i < doc.count(); ++i)
            pages << i;
        printer()->setDocName(jobName(sFileName));
        printer()->setFromTo(1, doc.count());
        error = ImgXRender::printPages(*printer(), doc, pages, 10.0);
    } else {
        error = doc.lastError();
    }
    if (error) {
        m_lastError = error;
        ShowError(error);
        return false;
    }
    return true;
}
