// "&Spedisci": the printed document handed to the server link as one fax, and the pending list.
#include "frmPrint.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FaxJob.h"
#include "FmPrinter.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SendoraConfig.h"
#include "ServerDates.h"
#include "clsLog.h"
#include "faxOut.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace Sendora;

namespace {

void tell(QWidget *owner, const QString &text)
{
    Prompt::message(owner, QMessageBox::Warning, ProgramTitle(), text);
}

} // namespace

void frmPrint::cbSend_Click()
{
    SendFax();
}

bool frmPrint::addPending(const QString &key, const QString &files, const QString &procName)
{
    if (key == u"-1") {
        // Nothing was queued by the link (it said why through its error): no confirmation will come.
        Err().Raise(ErrNumber::InvalidArgument, u"QuorinSock"_s,
                    u"Il fax non è stato consegnato al server: "_s + files);
        ReportError(procName);
        Err().Clear();
        return false;
    }
    if (!cFaxSending || !cFaxSending->Add(key, files)) {
        Err().Raise(457, u"collFaxSending"_s, u"Chiave già presente nell'elenco degli invii: "_s + key);
        ReportError(procName);
        Err().Clear();
        return false;
    }
    return true;
}

QString frmPrint::mayBeFiledAlready(bool storing)
{
    return storing ? u"Il documento potrebbe essere già stato archiviato dal server: salvandolo di nuovo "
                     u"potrebbe "
                     u"arrivare due volte."_s
                   : u"Il fax potrebbe essere già stato archiviato dal server: inviandolo di nuovo potrebbe "
                     u"arrivare "
                     u"due volte."_s;
}

QString frmPrint::handedBeforeText() const
{
    return u"il "_s + FormatShortDate(m_handedBefore.date()) + u" alle "_s +
           m_handedBefore.time().toString(u"HH:mm"_s);
}

bool frmPrint::beforeHandOver(QWidget *owner, bool storing)
{
    if (FilenamePrint.isEmpty())
        return true;
    if (m_handedBefore.isValid()) {
        const QString question =
            u"Questo documento stampato è già stato consegnato al server "_s + handedBeforeText() +
            u", ma Sendora si è chiuso prima che il server ne confermasse la ricezione.\r\n"_s +
            mayBeFiledAlready(storing) +
            (storing ? u"\r\nSalvarlo di nuovo?"_s : u"\r\nInviarlo di nuovo?"_s);
        AppLog().WriteLog(question);
        // No unless the user says so: a press of Enter does not file it twice.
        const bool again =
            Prompt::message(owner, QMessageBox::Warning, ProgramTitle(), question,
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
        AppLog().WriteLog(again ? u"Risposta: consegnarlo di nuovo"_s
                                : u"Risposta: non consegnarlo di nuovo"_s);
        if (!again)
            return false;
        m_handedBefore = {};
    }
    // Marked before the first frame goes out: whatever ends this run, the next one knows.
    QString why;
    if (!FmPrinter1->markHandedOver(&why)) {
        AppLog().WriteLog(u"Documento non segnato come consegnato: "_s + why);
        tell(owner, u"Impossibile segnare il documento stampato come consegnato nella cartella "_s +
                        QFileInfo(FmPrinter1->jobFile()).absolutePath() + u" ("_s + why + u"): "_s +
                        (storing ? u"il documento non è stato salvato"_s : u"il fax non è stato inviato"_s) +
                        u", per non consegnarlo due volte senza saperlo."_s);
        return false;
    }
    return true;
}

QString frmPrint::handToLink(const std::function<QString()> &call)
{
    m_inSendFax = true;
    const QString key = call();
    m_inSendFax = false;
    return key;
}

void frmPrint::tellNotSent(QWidget *owner, bool storing)
{
    // Handed over or not, the document is not done with: its spooled job stays for the next start.
    m_sendTried = m_sendTried || !FilenamePrint.isEmpty();
    AppLog().WriteLog(storing ? u"Salva con il collegamento al server interrotto: documento non salvato"_s
                              : u"Spedisci con il collegamento al server interrotto: fax non inviato"_s);
    linkDown();
    tell(
        owner ? owner : this,
        (storing
             ? u"Comunicazione col server non disponibile: il documento non è stato salvato nei Ricevuti.\r\n"_s
             : u"Comunicazione col server non disponibile: il fax non è stato inviato.\r\n"_s) +
            u"Il documento stampato è conservato e sarà proposto di nuovo al prossimo avvio; quando il "
            u"collegamento torna (\"Connesso al Server\") si può "_s +
            (storing ? u"salvare di nuovo da questa finestra"_s : u"spedire di nuovo da questa finestra"_s) +
            u".\r\nPrego verificare."_s);
}

void frmPrint::SendFax()
{
    if (!Connected) {
        if (m_shown)
            tellNotSent();
        return;
    }
    const QString document = FilenamePrint;
    const bool cover = chbCoverPage->isChecked();
    if (document.isEmpty() && !cover)
        return tell(this, u"E' obbligatorio definire un fax o una copertina"_s);
    if (document.isEmpty() && tbNote->toPlainText().isEmpty())
        return tell(this, u"Si deve specificare un fax o una nota"_s);
    if (tbFaxNumber->text().isEmpty())
        return tell(this, u"E' obbligatorio inserire un numero di fax"_s);

    QList<RecipientRow> table;
    QStringList refused;
    const int unusable = Recipients::ProcessNumbers(tbFaxNumber->text(), m_PickedFromBook, m_PickedList,
                                                    tbTo->text(), tbCompany->text(), table, &refused);
    if (unusable > 0) {
        const QString question = Recipients::UnusableQuestion(unusable, refused);
        if (Prompt::detailed(this, QMessageBox::Question, ProgramTitle(), question,
                             refused.size() > 10 ? refused.join(u"\r\n"_s) : QString(),
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
            return;
    }
    const RecipientLists to = Recipients::JoinUsable(table);
    // Without one usable number the fax would reach the server with no recipient at all.
    if (to.numbers.isEmpty())
        return tell(this, u"E' obbligatorio inserire un numero di fax"_s);

    qint16 retries = 0, delay = 0;
    QString sendDate, sendTime;
    auto fail = [](const QString &description) {
        Err().Raise(ErrNumber::TypeMismatch, u"Sendora"_s, description);
        ReportError(u"SendFax"_s);
        Err().Clear();
    };
    if (!ToInteger16(G.Retries, retries))
        return fail(u"Numero tentativi non valido: "_s + G.Retries);
    if (!ToInteger16(G.DelayRetries, delay))
        return fail(u"Ritardo tra i tentativi non valido: "_s + G.DelayRetries);
    if (!FormatDate(tbDate->text(), sendDate))
        return fail(u"Data non valida: "_s + tbDate->text());
    if (!FormatTime(tbTime->text(), sendTime))
        return fail(u"Ora non valida: "_s + tbTime->text());

    auto fax = std::make_unique<faxOut>();
    fax->setUser(0);
    fax->setAppName(u"Sendora"_s);
    fax->setAllFaxFiles(document);
    fax->setRetries(retries);
    fax->setRetryDelay(delay);
    fax->setSendDate(sendDate);
    fax->setSendTime(sendTime);
    const FaxContent content{.fromName = tbFrom->text(),
                             .fromCompany = tbSendCompany->text(),
                             .fromVoice = tbSendVoiceNumber->text(),
                             .fromFax = tbSendFaxNumber->text(),
                             .subject = tbSubj->text(),
                             .note = tbNote->toPlainText(),
                             .cover = cover ? tbCover->text() : QString(),
                             .fine = chHiRes->isChecked()};
    Recipients::FillFax(*fax, content, to);
    // The link's verdict on the text as it will go out, before anything is sent.
    if (const QString problem = QuorinSock::FaxProblem(*fax); !problem.isEmpty())
        return tell(this, problem);
    if (!beforeHandOver(this, false))
        return;

    IdFaxSending = handToLink([this, &fax] { return ClientSock->SendNewFax(std::move(fax)); });
    m_sendTried = m_sendTried || !document.isEmpty();
    // The link went down under the hand-over: the window stays, with the fax still to send.
    if (!Connected)
        return tellNotSent();
    if (addPending(IdFaxSending, document, u"SendFax"_s))
        cbCancel->setText(u"&Chiudi"_s);
}

QString frmPrint::dateText() const
{
    return tbDate->text();
}

QString frmPrint::timeText() const
{
    return tbTime->text();
}

bool frmPrint::hiResTicked() const
{
    return chHiRes->isChecked();
}

QString frmPrint::senderField(int index) const
{
    switch (index) {
    case 0:
        return tbFrom->text();
    case 1:
        return tbSendCompany->text();
    case 2:
        return tbSendVoiceNumber->text();
    default:
        return tbSendFaxNumber->text();
    }
}

QString frmPrint::serverStatusText() const
{
    return txtServer->text();
}
