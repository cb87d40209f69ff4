#pragma once

#include <QDialog>

#include <functional>

class Lumagrid;
class QPushButton;
class QWidget;

// Scan to fax: pages from the scanner into a TIFF file in the temporary folder, handed on by the opener
// (main window) to the send dialog or to mail after the window has closed. Lumagrid1 scans in the
// background; "&Invia per Fax" and "&Manda Email" wait until it has finished.
class frmScan : public QDialog
{
    Q_OBJECT
public:
    explicit frmScan(QWidget *parent = nullptr);

    QString FileScanned() const { return m_fileScanned; }
    bool bEmail() const { return m_email; }
    bool bFax() const { return m_fax; }
    Lumagrid *Lumagrid1() const { return m_lumagrid; }

    // "Nome file automatico": up to ten names made of two numbers 1..99999 drawn by `draw`, in upper-case
    // hexadecimal, joined, last six characters, + ".tif" in `folder`; the first free one, else "".
    static QString AutoFileName(const QString &folder, const std::function<int()> &draw);

    void cmdSelect_Click();
    void cmdScan_Click();
    void cmdSend_Click();
    void cmdEmail_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool saveScan();

    QString m_fileScanned;
    bool m_email = false;
    bool m_fax = false;
    bool m_scanOk = false; // a scan into FileScanned brought pages
    Lumagrid *m_lumagrid = nullptr;
    QPushButton *cmdEmail = nullptr;
};

// What the opener does after the scan window closed: an existing file goes to mail or to the send
// dialog; a chosen hand-off without a file gets "Nessun salvataggio". Returns the file handed on, or "".
QString ScanHandOff(const frmScan &scan, QWidget *owner, const std::function<void(const QString &)> &sendMail,
                    const std::function<void(const QString &)> &sendFax);
