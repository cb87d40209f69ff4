// "&Spedisci": checks, recipients, and the hand-over of one faxOut to the server link.
#include "FRMSEND2.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FaxSendWatch.h"
#include "FormHelpers.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SystemUtils.h"
#include "faxOut.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

// Letters fitted for the server: the question names this many changes, the rest are in its detail area.
constexpr int ShownChanges = 8;

bool checkDocument(QWidget *owner, const QString &path)
{
    if (!FileExists(path)) {
        MsgBoxEx(owner, u"Il file "_s + path + u" non è più presente! Impossibile proseguire"_s,
                 QMessageBox::Critical);
        return false;
    }
    // The server link joins the documents with "+": a "+" in a name would cut it in two.
    if (path.contains(u'+')) {
        MsgBoxEx(owner,
                 u"Il nome del file "_s + path +
                     u" contiene il carattere '+'. Rinominare il file per poterlo spedire."_s,
                 QMessageBox::Critical);
        return false;
    }
    return true;
}

} // namespace

bool FRMSEND2::collectDocuments(QString &documents)
{
    QStringList parts;
    auto contribution = [](const QString &f) -> QString { return AddBackslash(GetPath(f)) + GetFileName(f); };
    if (!m_itemOpen.isEmpty()) {
        if (!checkDocument(this, m_itemOpen))
            return false;
        parts.append(contribution(m_itemOpen));
    }
    for (int i = 0; i < lbFiles->count(); ++i) {
        if (IsForwardedItem(lbFiles->item(i)))
            continue;
        lbFiles->setCurrentRow(i); // a missing file stays selected
        const QString f = lbFiles->item(i)->text();
        if (!checkDocument(this, f))
            return false;
        parts.append(contribution(f));
    }
    documents = parts.join(u'+');
    return true;
}

void FRMSEND2::cbSend_Click()
{
    QString documents;
    if (!collectDocuments(documents))
        return;
    const bool cover = chbCoverPage->isChecked();
    if (documents.isEmpty() && !cover) {
        MsgBoxEx(this, u"E' obbligatorio definire un fax o una copertina"_s);
        return;
    }
    if (documents.isEmpty() && tbNote->toPlainText().isEmpty()) {
        MsgBoxEx(this, u"Si deve specificare un fax o una nota"_s);
        return;
    }
    if (cover && !checkDocument(this, tbCover->text()))
        return;
    if (tbFaxNumber->text().isEmpty()) {
        MsgBoxEx(this, u"E' obbligatorio inserire un numero di fax"_s);
        return;
    }
    QList<RecipientRow> table;
    QStringList refused;
    const int unusable = Recipients::ProcessNumbers(tbFaxNumber->text(), m_pickedFromBook, m_pickedList,
                                                    tbTo->text(), tbCompany->text(), table, &refused);
    if (unusable > 0) {
        const QString question = Recipients::UnusableQuestion(unusable, refused);
        if (Prompt::detailed(this, QMessageBox::Question, {}, question,
                             refused.size() > 10 ? refused.join(u"\r\n"_s) : QString(),
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
            return;
    }
    const RecipientLists to = Recipients::JoinUsable(table);
    // A fax without a single usable number would be handed over with no recipient at all.
    if (to.numbers.isEmpty()) {
        MsgBoxEx(this, u"Nessun numero fax valido: il fax non è stato spedito."_s, QMessageBox::Critical);
        return;
    }
    // Text the server would cut at a separator or receive with "?" in place of letters is named here,
    // before anything is handed over; for picked contacts, the contact.
    if (m_pickedFromBook) {
        for (const RecipientRow &row : std::as_const(table)) {
            if (row.fax.isEmpty())
                continue;
            for (const auto &[field, text] : {std::pair{u"destinatario"_s, row.name},
                                              std::pair{u"azienda del destinatario"_s, row.company}}) {
                if (const QString problem = Recipients::FieldProblem(field, text); !problem.isEmpty()) {
                    MsgBoxEx(this, u"Contatto «%1» della rubrica: "_s.arg(row.name) + problem, QMessageBox::Critical);
                    return;
                }
            }
        }
    }
    const std::pair<QString, QString> fields[] = {
        {u"destinatario"_s, to.names},
        {u"azienda del destinatario"_s, to.companies},
        {u"mittente"_s, tbFrom->text()},
        {u"azienda del mittente"_s, tbSendCompany->text()},
        {u"telefono del mittente"_s, tbSendVoiceNumber->text()},
        {u"fax del mittente"_s, tbSendFaxNumber->text()},
        {u"oggetto"_s, tbSubj->text()},
        {u"note"_s, tbNote->toPlainText()},
        {u"file del fax"_s, documents + (cover ? u"+"_s + tbCover->text() : QString())},
    };
    QList<std::pair<QString, QString>> fitted;
    for (const auto &[field, text] : fields) {
        if (const QString problem = Recipients::FieldProblem(field, text); !problem.isEmpty()) {
            MsgBoxEx(this, problem, QMessageBox::Critical);
            return;
        }
        // The joined recipient texts are named one recipient at a time: only the changed ones are quoted.
        const bool names = field == u"destinatario"_s;
        if (names || field == u"azienda del destinatario"_s) {
            for (const RecipientRow &row : std::as_const(table)) {
                if (!row.fax.isEmpty())
                    fitted.append({field, QString(names ? row.name : row.company).replace(u';', u',')});
            }
            continue;
        }
        fitted.append({field, text});
    }
    if (const QString changes = Recipients::BestFitChanges(fitted); !changes.isEmpty()) {
        const QStringList lines = changes.split(u"\r\n"_s);
        const QString question = Prompt::firstItems(lines, ShownChanges).replace(u'\n', u"\r\n"_s) +
                                 u"\r\n\r\nSpedire comunque?"_s;
        if (Prompt::detailed(this, QMessageBox::Question, {}, question,
                             lines.size() > ShownChanges ? changes : QString(),
                             QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
    }
    bool dateOk = false, timeOk = false;
    const QString sendDate = Recipients::TrasformaData(tbDate->text(), &dateOk);
    const QString sendTime = Recipients::TrasformaOra(tbTime->text(), &timeOk);
    if (!dateOk || !timeOk) {
        ShowErrorMessage(ErrNumber::TypeMismatch,
                         dateOk ? u"Ora non valida: "_s + tbTime->text()
                                : u"Data non valida: "_s + tbDate->text(),
                         u"FRMSEND2.cbSend_Click"_s);
        return;
    }

    auto fax = std::make_unique<faxOut>();
    fax->setUser(0); // the fax client never names a user number
    fax->setAppName(u"FaxClient"_s);
    fax->setAllFaxFiles(documents);
    fax->setRetries(ConfigIni.Retries);
    fax->setRetryDelay(ConfigIni.DelayRetries);
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

    const FaxDraft sent = draft(table, sendDate, sendTime);
    // The link tells why it refuses a fax through its Error event, during the call.
    QString refusal;
    QMetaObject::Connection heard;
    if (m_sock)
        heard = connect(m_sock, &QuorinSock::Error, this,
                        [&refusal](int, const QString &description, int, const QString &, const QString &,
                                   int, bool) { refusal = description; });
    m_idFaxSending = m_sock ? m_sock->SendNewFax(std::move(fax)) : u"-1"_s;
    disconnect(heard);
    if (m_idFaxSending == u"-1") {
        // The link refused or could not announce the fax: nothing went to the server.
        MsgBoxEx(this,
                 u"Il fax per "_s + sent.recipients + u" non è stato consegnato al server."_s +
                     (refusal.isEmpty() ? QString() : u"\r\nMotivo: "_s + refusal) +
                     u"\r\nVerificare il collegamento e premere di nuovo \"Spedisci\"."_s,
                 QMessageBox::Critical);
        return;
    }
    // From here the watch follows the upload: a fax the link loses is told, with the offer to send it again.
    FaxSendWatch::of(m_sock)->track(m_idFaxSending, sent, this, m_fMain);
    cbCancel->setText(u"&Chiudi"_s);
}

FaxDraft FRMSEND2::draft(const QList<RecipientRow> &table, const QString &sendDate,
                         const QString &sendTime) const
{
    FaxDraft d;
    d.itemOpen = m_itemOpen;
    for (int i = 0; i < lbFiles->count(); ++i) {
        if (!IsForwardedItem(lbFiles->item(i)))
            d.files.append(lbFiles->item(i)->text());
    }
    d.cover = chbCoverPage->isChecked();
    d.coverFile = tbCover->text();
    d.to = tbTo->text();
    d.company = tbCompany->text();
    d.faxNumber = tbFaxNumber->text();
    d.pickedFromBook = m_pickedFromBook;
    d.picked = m_pickedList;
    d.from = tbFrom->text();
    d.sendCompany = tbSendCompany->text();
    d.voice = tbSendVoiceNumber->text();
    d.fax = tbSendFaxNumber->text();
    d.subject = tbSubj->text();
    d.note = tbNote->toPlainText();
    d.hiRes = chHiRes->isChecked();
    d.date = tbDate->text();
    d.time = tbTime->text();
    d.sendDate = sendDate;
    d.sendTime = sendTime;
    QStringList who;
    for (const RecipientRow &row : table) {
        if (!row.fax.isEmpty())
            who.append(row.name.trimmed().isEmpty() ? row.fax
                                                    : row.name.trimmed() + u" ("_s + row.fax + u')');
    }
    d.recipients = who.join(u", "_s);
    return d;
}
