#include "PrintChoice.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>

using namespace Qt::StringLiterals;

void PrintChoice::restore(QPrintDialog &dialog) const
{
    if (!m_kept)
        return;
    if (m_toFile) {
        // Shown on the file entry when the printer object says PDF; the file box is the dialog's own.
        dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog.printer()->setOutputFileName(m_file);
        if (auto *file = dialog.findChild<QLineEdit *>(u"filename"_s))
            file->setText(m_file);
    } else if (auto *printers = dialog.findChild<QComboBox *>(u"printers"_s)) {
        const int at = printers->findText(m_printer);
        if (at >= 0)
            printers->setCurrentIndex(at);
    }
    using D = QAbstractPrintDialog;
    const bool offered = m_range == D::AllPages ||
                         (m_range == D::Selection && dialog.testOption(D::PrintSelection)) ||
                         (m_range == D::PageRange && dialog.testOption(D::PrintPageRange)) ||
                         (m_range == D::CurrentPage && dialog.testOption(D::PrintCurrentPage));
    if (offered)
        dialog.setPrintRange(m_range);
}

void PrintChoice::keep(const QPrintDialog &dialog)
{
    const QPrinter *printer = dialog.printer();
    m_kept = true;
    m_toFile = printer->outputFormat() == QPrinter::PdfFormat;
    m_file = printer->outputFileName();
    m_printer = printer->printerName();
    m_range = dialog.printRange();
}
