#include "frmInst.h"

#include "AppPaths.h"
#include "FaxPrinter.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "clsLog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The window manager draws the caption beside the icon and its buttons, often in a larger bold font: the
// page stays wide enough for the whole caption, also with enlarged fonts.
int captionWidth(const QWidget *window)
{
    QFont font = window->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(window->windowTitle()) * 5 / 4 + 6 * metrics.height();
}

} // namespace

frmInst::frmInst(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmInst"_s);
    setWindowTitle(u"Installazione Quorin Printer"_s);
    setWindowIcon(ProgramIcon());
    setAttribute(Qt::WA_QuitOnClose, false);
    lblTitolo = new QLabel(windowTitle(), this);
    lblTitolo->setObjectName(u"lblTitolo"_s);
    QFont titleFont = lblTitolo->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    lblTitolo->setFont(titleFont);
    txtStato = new QPlainTextEdit(this);
    txtStato->setObjectName(u"txtStato"_s);
    txtStato->setReadOnly(true);
    txtStato->setLineWrapMode(QPlainTextEdit::NoWrap);
    cbNext = new QPushButton(u"A&vanti"_s, this);
    cbNext->setObjectName(u"cbNext"_s);
    cbNext->setAutoDefault(false);
    cbCancel = new QPushButton(u"&Annulla"_s, this);
    cbCancel->setObjectName(u"cbCancel"_s);
    cbCancel->setAutoDefault(false);
    FmPrinter1 = new FaxPrinter(this);
    FmPrinter1->setObjectName(u"FmPrinter1"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cbNext);
    buttons->addWidget(cbCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblTitolo);
    layout->addWidget(txtStato);
    layout->addLayout(buttons);
    connect(cbNext, &QPushButton::clicked, this, &frmInst::cbNext_Click);
    connect(cbCancel, &QPushButton::clicked, this, &frmInst::cbCancel_Click);
    txtStato->setPlainText(u"Procedura di installazione della stampante\r\n"
                           u"QuorinPrinter per l'invio dei documenti via Fax.\r\n"
                           u"Premere avanti per proseguire."_s);
    fitStatus();
    layout->addStrut(captionWidth(this));
}

void frmInst::fitStatus()
{
    // Every line of the status whole, without scrolling.
    const QFontMetrics metrics(txtStato->font());
    const QStringList lines = txtStato->toPlainText().split(u'\n');
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line.trimmed()));
    const int frame = 2 * (txtStato->frameWidth() + int(txtStato->document()->documentMargin()) + 2);
    txtStato->setMinimumSize(
        std::max(txtStato->minimumWidth(), width + frame + metrics.averageCharWidth()),
        std::max(txtStato->minimumHeight(), int(lines.size() + 1) * metrics.lineSpacing() + frame));
}

frmInst::~frmInst()
{
    delete m_result.data();
}

QString frmInst::printerCommandLine()
{
    // Quoted: the program folder may hold blanks.
    const QString program = AddBackslash(AppPaths::programDir()) +
                            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return u"\""_s + program + u"\" -N"_s;
}

void frmInst::cbNext_Click()
{
    if (FmPrinter1->busy())
        return;
    txtStato->setPlainText(u"Installazione Stampante in corso..."_s);
    fitStatus();
    cbNext->setEnabled(false);
    FmPrinter1->setPrinterName(u"QuorinPrinter"_s);
    FmPrinter1->disconnect(this);
    const QString programDir = QDir::cleanPath(AppPaths::programDir());
    connect(FmPrinter1, &FaxPrinter::installedChecked, this, [this, programDir](bool installed) {
        m_queueExisted = installed;
        m_ppd = FaxPrinter::ppdPath(programDir);
        // Without the backend CUPS refuses the queue ("Bad device-uri scheme"), and a queue left by an
        // install that stopped half way loses every job: say what to run.
        if (FaxPrinter::backendPath().isEmpty()) {
            AppLog().WriteLog(u"Installazione stampante: backend mancante "_s +
                              FaxPrinter::expectedBackendPath());
            return showResult(u"Errore durante l'installazione della stampante "_s +
                              u"\nManca il programma della stampante per CUPS ("_s +
                              FaxPrinter::expectedBackendPath() + u").\nEseguire come amministratore:\n"_s +
                              FaxPrinter::backendRepairCommand(programDir) +
                              u"\npoi ripetere l'installazione."_s);
        }
        if (!installed) {
            if (m_ppd.isEmpty())
                return showResult(u"Errore durante l'installazione della stampante "_s +
                                  u"\nFile QuorinFax.ppd non trovato: eseguire come amministratore\n"
                                  u"sudo scripts/install"_s);
        }
        FmPrinter1->install(printerCommandLine(), m_ppd, installed);
    });
    connect(FmPrinter1, &FaxPrinter::installFinished, this, [this](bool ok) {
        if (ok) {
            // The queue works; what could not be set up is a notice with what to do.
            const QString watcherError = FmPrinter1->watcherError();
            QString text = !m_queueExisted ? u"Stampante installata correttamente"_s
                           : watcherError.isEmpty()
                               ? u"Stampante già presente: invio dei documenti stampati attivato."_s
                               : u"Stampante già presente."_s;
            if (!watcherError.isEmpty()) {
                AppLog().WriteLog(u"Installazione stampante: "_s + watcherError);
                text += u"\n\nAvviso: l'avvio automatico dopo la stampa non è attivo:\n"_s
                        u"richiede una sessione utente di systemd (systemctl --user), che qui manca.\n"_s
                        u"Dopo aver stampato, avviare:\n"_s +
                        printerCommandLine() +
                        u"\n(ogni avvio prende il documento stampato in attesa da più tempo)."_s;
            }
            if (!FmPrinter1->fitError().isEmpty()) {
                AppLog().WriteLog(u"Installazione stampante: "_s + FmPrinter1->fitError());
                text += u"\n\nAvviso: la stampante non adatta ancora le pagine ai margini del fax\n"_s
                        u"(un documento a pagina intera arriva fino al bordo).\n"_s
                        u"Eseguire come amministratore:\n"_s +
                        FmPrinter1->fitCommand();
            }
            return showResult(text);
        }
        AppLog().WriteLog(u"Installazione stampante: "_s + FmPrinter1->lastError());
        QString text =
            u"Errore durante l'installazione della stampante "_s + u"\n"_s + FmPrinter1->lastError();
        if (FmPrinter1->queueFailed()) {
            text += u"\nEseguire come amministratore:\n"_s;
            // lpadmin's words when the scheduler is down ("Bad file descriptor" and the like).
            if (FmPrinter1->lastError().contains(u"Unable to connect to server"_s))
                text += u"sudo systemctl enable --now cups   (CUPS non è in esecuzione)\n"_s
                        u"oppure, senza systemd: sudo service cups start\n"_s;
            text += FmPrinter1->queueCommand(m_ppd) + u"\npoi ripetere l'installazione."_s;
        }
        showResult(text);
    });
    FmPrinter1->checkInstalled();
}

void frmInst::showResult(const QString &text)
{
    m_result = new frmInst2(this);
    m_result->txtRisultato->setText(text);
    hide();
    m_result->show();
}

void frmInst::cbCancel_Click()
{
    close();
}

void frmInst::closeEvent(QCloseEvent *event)
{
    // Closing the first page while the result page is up only hides it; the result page ends the run.
    if (m_result && m_result->isVisible()) {
        event->accept();
        return;
    }
    event->accept();
    if (!m_closed) {
        m_closed = true;
        Q_EMIT unloaded();
    }
}

frmInst2::frmInst2(frmInst *first) : QDialog(nullptr), firstPage(first)
{
    setObjectName(u"frmInst2"_s);
    setWindowTitle(u"Installazione Quorin Printer"_s);
    setWindowIcon(ProgramIcon());
    setAttribute(Qt::WA_QuitOnClose, false);
    txtRisultato = new QLabel(this);
    txtRisultato->setObjectName(u"txtRisultato"_s);
    txtRisultato->setTextFormat(Qt::PlainText); // the print system's own words
    OKButton = new QPushButton(u"OK"_s, this);
    OKButton->setObjectName(u"OKButton"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtRisultato);
    layout->addWidget(OKButton, 0, Qt::AlignRight);
    layout->addStrut(captionWidth(this));
    connect(OKButton, &QPushButton::clicked, this, &QWidget::close);
}

void frmInst2::closeEvent(QCloseEvent *event)
{
    event->accept();
    hide();
    if (firstPage)
        firstPage->close();
}
