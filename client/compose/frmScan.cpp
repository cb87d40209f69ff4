#include "frmScan.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "Lumagrid.h"
#include "LumagridPropertyBag.h"
#include "Prompt.h"
#include "SystemUtils.h"
#include "clsLog.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRandomGenerator>
#include <QVBoxLayout>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

// A typed name must stay a plain file name inside the temporary folder.
bool plainName(const QString &name)
{
    return !name.trimmed().isEmpty() && !name.contains(u'/') && !name.contains(u'\\') && name != u".." &&
           !name.startsWith(u'.');
}

} // namespace

frmScan::frmScan(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmScan"_s);
    setWindowTitle(u"Acquisizione da Scanner"_s);
    setCursor(Qt::WaitCursor);
    AppLog().WriteLog(u"img 6"_s);
    m_lumagrid = new Lumagrid(this);
    m_lumagrid->setObjectName(u"Lumagrid1"_s);
    {
        LumagridDefaultsBag stored; // the form's settings of the control
        m_lumagrid->ReadProperties(stored);
    }
    m_lumagrid->setWorkType(Editor);
    unsetCursor();

    auto *picBottom = new QWidget(this);
    picBottom->setObjectName(u"picBottom"_s);
    cmdEmail = NamedButton(picBottom, u"cmdEmail"_s, u"&Manda Email"_s);
    auto *cmdScan = NamedButton(picBottom, u"cmdScan"_s, u"&Scansione"_s);
    auto *cmdSelect = NamedButton(picBottom, u"cmdSelect"_s, u"Sel. Scanner"_s);
    auto *cmdSend = NamedButton(picBottom, u"cmdSend"_s, u"&Invia per Fax"_s);
    auto *cmdCancel = NamedButton(picBottom, u"cmdCancel"_s, u"Annulla"_s);
    auto *bar = new QHBoxLayout(picBottom);
    bar->addWidget(cmdSelect);
    bar->addWidget(cmdScan);
    bar->addStretch();
    bar->addWidget(cmdEmail);
    bar->addWidget(cmdSend);
    bar->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lumagrid, 1);
    layout->addWidget(picBottom);
    cmdEmail->setVisible(ConfigIni.AbilitaMail != 0);

    connect(cmdSelect, &QPushButton::clicked, this, &frmScan::cmdSelect_Click);
    connect(cmdScan, &QPushButton::clicked, this, &frmScan::cmdScan_Click);
    connect(cmdSend, &QPushButton::clicked, this, &frmScan::cmdSend_Click);
    connect(cmdEmail, &QPushButton::clicked, this, &frmScan::cmdEmail_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_lumagrid, &Lumagrid::scanFinished, this, [this](bool ok) { m_scanOk = m_scanOk || ok; });
}

void frmScan::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    LogResizeLines(this, u"img 7"_s, u"img 8"_s);
}

QString frmScan::AutoFileName(const QString &folder, const std::function<int()> &draw)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QString first = QString::number(draw(), 16).toUpper();
        const QString second = QString::number(draw(), 16).toUpper();
        const QString path = AddBackslash(folder) + QString(first + second).right(6) + u".tif"_s;
        if (!FileExists(path))
            return path;
    }
    return {};
}

void frmScan::cmdSelect_Click()
{
    m_lumagrid->SelectScannerSource();
}

void frmScan::cmdScan_Click()
{
    if (m_lumagrid->Scanning()) {
        Prompt::information(this, u"Attenzione"_s, u"Scansione in corso: attendere la fine."_s);
        return;
    }
    const QString temp = GetTempDir();
    if (temp.isEmpty()) {
        Prompt::critical(this, u"Attenzione"_s, u"Cartella temporanea non disponibile."_s);
        return;
    }
    if (Prompt::message(this, QMessageBox::Question, u"Attenzione"_s, u"Nome file automatico?"_s,
                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
        QRandomGenerator random{quint32(QDateTime::currentMSecsSinceEpoch())};
        m_fileScanned = AutoFileName(temp, [&random] { return int(random.generateDouble() * 99999 + 1); });
    } else {
        for (;;) {
            bool ok = false;
            const QString name = Prompt::text(this, u"Attenzione"_s,
                                              u"Specificare un nome (senza estensione):"_s, QString(), &ok);
            if (!ok)
                return; // the name box was cancelled: nothing to scan
            if (!plainName(name)) {
                Prompt::message(this, QMessageBox::Warning, u"Attenzione"_s,
                                u"Nome non valido: indicare solo il nome del file, senza cartelle."_s);
                continue;
            }
            const QString path = AddBackslash(temp) + name + u".tif"_s;
            if (!FileExists(path)) {
                m_fileScanned = path;
                break;
            }
            if (Prompt::message(this, QMessageBox::Warning, u"Attenzione"_s,
                                u"File già esistente.\r\nSpecificare un altro nome"_s,
                                QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Cancel)
                return;
        }
    }
    if (m_fileScanned.isEmpty())
        return;
    // The control scans in the background and tells the user itself when the scanner fails;
    // scanFinished says how it went.
    m_scanOk = false;
    m_lumagrid->Scan(m_fileScanned);
}

bool frmScan::saveScan()
{
    if (m_lumagrid->Scanning()) {
        Prompt::information(this, u"Attenzione"_s, u"Scansione in corso: attendere la fine."_s);
        return false;
    }
    if (m_fileScanned.isEmpty() || !m_scanOk)
        return true; // nothing scanned: the opener says "Nessun salvataggio"
    if (m_lumagrid->Save())
        return true;
    Prompt::critical(this, u"Attenzione"_s,
                     u"Impossibile salvare la scansione: "_s + m_lumagrid->lastError().description);
    return false;
}

void frmScan::cmdSend_Click()
{
    if (!saveScan())
        return;
    m_fax = true;
    accept();
}

void frmScan::cmdEmail_Click()
{
    if (!saveScan())
        return;
    m_email = true;
    accept();
}

QString ScanHandOff(const frmScan &scan, QWidget *owner, const std::function<void(const QString &)> &sendMail,
                    const std::function<void(const QString &)> &sendFax)
{
    if (!scan.bEmail() && !scan.bFax())
        return {};
    if (!FileExists(scan.FileScanned())) {
        MsgBoxEx(owner, u"Nessun salvataggio"_s, QMessageBox::Critical);
        return {};
    }
    if (scan.bEmail() && sendMail)
        sendMail(scan.FileScanned());
    if (scan.bFax() && sendFax)
        sendFax(scan.FileScanned());
    return scan.FileScanned();
}
