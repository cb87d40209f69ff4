#include "frmStatoInvio.h"

#include "ErrorReporting.h"
#include "FaxJob.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SendoraConfig.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "XmlReader.h"
#include "clsLog.h"
#include "faxOut.h"
#include "frmPrint.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace Sendora;

frmStatoInvio::frmStatoInvio(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(u"frmStatoInvio"_s);
    setWindowTitle(u"Invio in corso..."_s);
    setAttribute(Qt::WA_QuitOnClose, false);
    txtServer = new QLineEdit(this);
    txtServer->setObjectName(u"txtServer"_s);
    txtServer->setReadOnly(true);
    pbInvio = new QProgressBar(this);
    pbInvio->setObjectName(u"pbInvio"_s);
    cbCancel = new QPushButton(u"&Annulla"_s, this);
    cbCancel->setObjectName(u"cbCancel"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtServer);
    layout->addWidget(pbInvio);
    layout->addWidget(cbCancel, 0, Qt::AlignRight);
}

XmlJobRun::XmlJobRun(frmPrint *sendWindow, QObject *parent) : QObject(parent), m_window(sendWindow)
{
    if (!m_window)
        return;
    // A fax of the job goes on the link the run logged in on, or is told not delivered: never on a
    // later one that nobody waits for.
    m_window->ClientSock->setHoldAcrossRelogin(false);
    connect(m_window, &frmPrint::pendingChanged, this, &XmlJobRun::check);
    // Faxes the link settled as not delivered, by the run's own close or by a drop before it: said why.
    connect(m_window->ClientSock, &QuorinSock::FaxesSettled, this,
            [this](const QStringList &keys, int outcome) {
                if (outcome == QuorinSock::AcknowledgedOnly)
                    m_unconfirmed += int(keys.size());
                if (outcome != QuorinSock::Delivered)
                    Prompt::message(
                        nullptr, QMessageBox::Warning, ProgramTitle(),
                        outcome == QuorinSock::AcknowledgedOnly
                            ? u"Consegna non confermata: il sistema del server ha accettato tutti i "
                              u"dati dei fax, ma il server non ha chiuso il collegamento entro %1 s, "
                              u"quindi non ha confermato di averli letti. I fax potrebbero essere già "
                              u"stati archiviati dal server."_s.arg(runBounds().closeMs / 1000.0)
                            : u"Il collegamento col server si è interrotto prima della conferma: i "
                              u"fax potrebbero non essere arrivati."_s);
            });
}

XmlJobRun::~XmlJobRun()
{
    delete m_progress.data();
}

void XmlJobRun::SendFromXmlFile(const QString &FileName)
{
    if (checkJobFile(FileName) != ExitOk) {
        m_fileError = true;
        return finish();
    }
    m_progress = new frmStatoInvio;
    const qint64 size = QFileInfo(FileName).size();
    m_progress->pbInvio->setMaximum(int(qMin<qint64>(size + 1, INT_MAX)));
    m_progress->pbInvio->setValue(m_progress->pbInvio->minimum());
    if (m_window)
        m_progress->txtServer->setText(m_window->serverStatusText());
    m_progress->show();

    clsXMLParser parser;
    parser.setProgress([this](qint64 done, qint64) {
        if (m_progress)
            m_progress->pbInvio->setValue(
                int(qMin<qint64>(qMax<qint64>(done, 1), m_progress->pbInvio->maximum())));
    });
    parser.setFaxExecutor([this](const clsXMLNode &fax) { sendJobFax(fax); });
    if (!parser.Parse(FileName)) {
        // Faxes handed over before the fault stay handed over; the run waits for them.
        m_fileError = true;
        ReportError(QString());
        Err().Clear();
    } else if (m_faxes == 0) {
        m_fileError = true;
        AppLog().WriteLog(u"Nessun fax nel file "_s + FileName);
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                        u"Nessun fax nel file "_s + FileName + u": nessun elemento «fax» da inviare."_s);
    }
    m_waiting = true;
    check();
}

int XmlJobRun::checkJobFile(const QString &FileName)
{
    if (FileName.isEmpty()) {
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                        LoadResString(2074) + u"\r\n"_s + LoadResString(2075));
        return ExitUsage;
    }
    if (!FileExists(FileName)) {
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                        LoadResString(2072) + u' ' + FileName + u' ' + LoadResString(2073));
        return ExitJobFile;
    }
    return ExitOk;
}

int XmlJobRun::exitCode() const
{
    if (m_fileError)
        return ExitJobFile;
    // 0 only for a job each of whose faxes the server confirmed: a run that ended any other way (its
    // window gone before the faxes were settled) delivered nothing it can vouch for.
    return m_failed > 0 || m_delivered < m_faxes ? ExitUndelivered : ExitOk;
}

QString XmlJobRun::unreadableDocument(const faxOut &fax)
{
    const QStringList files = fax.AllFaxFiles().split(u'+', Qt::SkipEmptyParts);
    if (files.isEmpty() && fax.CoverPage().trimmed().isEmpty())
        return u"Il fax non ha documenti né copertina."_s;
    for (const QString &file : files) {
        const QFileInfo info(file);
        QFile f(file);
        if (!info.isFile() || !f.open(QIODevice::ReadOnly))
            return u"Documento del fax non leggibile: "_s + file;
    }
    return {};
}

void XmlJobRun::sendJobFax(const clsXMLNode &node)
{
    ++m_faxes;
    if (!m_window) {
        ++m_failed;
        return;
    }
    FaxJobDefaults d;
    d.SendRes = m_window->hiResTicked() ? u"1"_s : u"0"_s;
    d.DelayRetries = G.DelayRetries;
    d.SendDate = m_window->dateText();
    d.SendTime = m_window->timeText();
    d.FromLine = m_window->senderField(0);
    d.FromComp = m_window->senderField(1);
    d.FromPhon = m_window->senderField(2);
    d.FromFax = m_window->senderField(3);
    QString error;
    std::unique_ptr<faxOut> fax = FaxFromJob(node, d, error);
    if (!fax) {
        ++m_failed;
        Err().Raise(ErrNumber::TypeMismatch, u"Sendora"_s, error);
        ReportError(u"addChild"_s);
        Err().Clear();
        return;
    }
    // A fax whose document cannot be read would reach the server empty: reported and counted as failed.
    if (const QString why = unreadableDocument(*fax); !why.isEmpty()) {
        ++m_failed;
        Err().Raise(ErrNumber::FileNotFound, u"Sendora"_s, why);
        ReportError(u"addChild"_s);
        Err().Clear();
        return;
    }
    // The link's verdict on the text as it will go out: refused here, before anything is sent.
    if (const QString problem = QuorinSock::FaxProblem(*fax); !problem.isEmpty()) {
        ++m_failed;
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), problem);
        AppLog().WriteLog(u"Fax rifiutato: "_s + problem);
        return;
    }
    const QString files = fax->AllFaxFiles();
    // A link the server ended while the job was read (before or under this hand-over) takes nothing more.
    const auto linkLost = [this, &files] {
        ++m_failed;
        const QString why =
            u"Fax non consegnato al server (%1): collegamento col server interrotto prima della consegna."_s.arg(
                files);
        AppLog().WriteLog(why);
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), why);
    };
    if (!m_window->Connected)
        return linkLost();
    m_window->IdFaxSending =
        m_window->handToLink([this, &fax] { return m_window->ClientSock->SendNewFax(std::move(fax)); });
    if (!m_window->Connected)
        return linkLost();
    // A fax the link did not take is not delivered: addPending said so.
    if (m_window->addPending(m_window->IdFaxSending, files, u"addChild"_s))
        ++m_handedOver;
    else
        ++m_failed;
}

void XmlJobRun::check()
{
    if (!m_waiting || m_done || !m_window)
        return;
    // Also ends when the link went down: the faxes it gave up are marked, none will be confirmed.
    if (m_window->cFaxSending && m_window->cFaxSending->anyPending() && m_window->Connected)
        return;
    finish();
}

void XmlJobRun::finish()
{
    if (m_done || m_closing)
        return;
    m_waiting = false;
    if (m_window && m_window->cFaxSending && m_window->ClientSock) {
        // Delivered means the server read them: it ends its side of the link only after reading our end
        // of stream, which follows every byte of every fax. Anything else settles them as not delivered.
        bool anySent = false;
        for (const auto &entry : *m_window->cFaxSending)
            anySent = anySent || entry->Sent();
        if (anySent) {
            m_closing = true;
            QuorinSock *link = m_window->ClientSock;
            connect(link, &QuorinSock::LinkClosed, this, &XmlJobRun::conclude, Qt::QueuedConnection);
            link->CloseLink(runBounds().closeMs);
            return;
        }
    }
    conclude();
}

void XmlJobRun::conclude()
{
    if (m_done)
        return;
    m_done = true;
    m_waiting = false;
    if (m_window && m_window->cFaxSending) {
        int notSent = 0;
        for (const auto &entry : *m_window->cFaxSending)
            notSent += entry->Sent() ? 0 : 1;
        m_delivered = int(m_window->cFaxSending->Count()) - notSent;
        const int unconfirmed = qMin(notSent, m_unconfirmed);
        const auto tell = [this](const QString &what, int n) {
            if (n <= 0)
                return;
            AppLog().WriteLog(what + u": "_s + QString::number(n));
            Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                            what + u": %1 di %2."_s.arg(n).arg(m_window->cFaxSending->Count()));
        };
        tell(u"Fax non consegnati al server"_s, notSent - unconfirmed);
        tell(u"Fax con consegna non confermata dal server"_s, unconfirmed);
        m_failed += notSent;
    }
    if (m_progress)
        m_progress->hide();
    if (m_window)
        m_window->close();
    Q_EMIT finished();
}
