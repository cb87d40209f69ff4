#pragma once

#include <QAbstractPrintDialog>
#include <QString>

class QPrintDialog;

// What the user chose in a print dialog (a printer or a PDF file, and which pages), given back to the
// next dialog on the same printer object. Qt's dialog is built on the system's default printer and
// switches the printer object to it, so without this a second Enter would print to the default queue
// (the fax printer) whatever was chosen the first time.
class PrintChoice
{
public:
    // Before the dialog is shown: it shows the last choice (when the printer is still there).
    void restore(QPrintDialog &dialog) const;
    // After the dialog was accepted.
    void keep(const QPrintDialog &dialog);

private:
    bool m_kept = false;
    bool m_toFile = false;
    QString m_printer;
    QString m_file;
    QAbstractPrintDialog::PrintRange m_range = QAbstractPrintDialog::AllPages;
};
