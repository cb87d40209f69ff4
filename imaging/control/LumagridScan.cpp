// Scanning into Lumagrid: choosing the scanner and acquiring pages as a document of scanned pages.
#include "Lumagrid.h"

#include "LumagridDocument.h"
#include "Prompt.h"
#include "SaneScanner.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QListWidget>
#include <QPointer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

SaneScanner *Lumagrid::scanner()
{
    if (!m_scanner) {
        m_scanner = new SaneScanner(this);
        connect(m_scanner, &SaneScanner::opened, this, &Lumagrid::scanOpened);
        connect(m_scanner, &SaneScanner::unreachable, this, [this](const QString &device, const QString &) {
            Prompt::warning(this, u"Attenzione"_s,
                            u"Lo scanner "_s + device.trimmed() + u" risulta NON raggiungibile."_s);
        });
        connect(m_scanner, &SaneScanner::pageAcquired, this, &Lumagrid::ImageAcquired);
        connect(m_scanner, &SaneScanner::finished, this, [this](const QString &error) {
            setBusy(false);
            if (!error.isEmpty()) {
                m_lastError = ImgXError::make(ImgXErrorCode::ReadFailed, error);
                m_lastError.source = u"Scanner"_s;
                ShowError(m_lastError);
            }
            m_takeScannedPages = false;
            Q_EMIT scanFinished(error.isEmpty());
        });
    }
    return m_scanner;
}

bool Lumagrid::Scanning() const
{
    return m_scanner && m_scanner->busy();
}

// The scanner list is gathered in the worker; the window stays live meanwhile.
void Lumagrid::SelectScannerSource()
{
    if (Scanning())
        return;
    QStringList devices;
    QString error;
    QEventLoop wait;
    QPointer<Lumagrid> self(this);
    const auto c = connect(scanner(), &SaneScanner::devicesListed, &wait,
                           [&](const QStringList &names, const QString &why) {
                               devices = names;
                               error = why;
                               wait.quit();
                           });
    setBusy(true);
    scanner()->listDevices();
    wait.exec();
    if (!self)
        return;
    disconnect(c);
    setBusy(false);
    if (devices.isEmpty()) {
        Prompt::warning(this, u"Attenzione"_s,
                        error.isEmpty() ? u"Nessuno scanner disponibile."_s
                                        : u"Nessuno scanner disponibile: "_s + error);
        return;
    }
    QDialog dialog(this);
    dialog.setObjectName(u"SelectSource"_s);
    dialog.setWindowTitle(u"Seleziona scanner"_s);
    auto *list = new QListWidget(&dialog);
    list->setObjectName(u"lstSources"_s);
    list->addItems(devices);
    const int current = int(devices.indexOf(SaneScanner::currentSource()));
    list->setCurrentRow(current >= 0 ? current : 0);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (Prompt::exec(&dialog) == QDialog::Accepted && list->currentItem())
        SaneScanner::setCurrentSource(list->currentItem()->text());
}

// Starts an acquisition and returns; pages arrive one by one (ImageAcquired), scanFinished ends it.
QVariant Lumagrid::Scan(const QString &DefaultSaveName)
{
    if (Scanning())
        return {};
    m_pendingScanName = DefaultSaveName;
    m_takeScannedPages = true;
    setBusy(true, true);
    scanner()->acquire(SaneScanner::currentSource());
    return {};
}

// The scanner answered: a document that is not made of scanned pages is emptied first; further
// scans add their pages to the scanned ones.
void Lumagrid::scanOpened()
{
    if (!m_takeScannedPages)
        return;
    if (!m_doc->Scanned()) {
        m_takeScannedPages = false; // the emptying is ours: it must not end this scan
        OpenSource(QString(), false);
        m_takeScannedPages = true;
    }
    m_doc->setScanSaveName(m_pendingScanName);
}

// Another document replaces the scanned one: the running scan is stopped and whatever it still
// delivers is dropped.
void Lumagrid::abandonScan()
{
    if (!m_takeScannedPages)
        return;
    m_takeScannedPages = false;
    if (m_scanner)
        m_scanner->cancel();
}

void Lumagrid::ImageAcquired(const QImage &page, double xDpi, double yDpi)
{
    if (page.isNull() || !m_takeScannedPages)
        return;
    m_doc->addScannedPage(ImgXImage(page, xDpi, yDpi));
    m_stopThumbs = false;
    if (m_thumbsVisible)
        ThumbsGenerate();
    GoToPage(m_doc->ScannedCount(), false);
}
