#include "FaxMail.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "SystemUtils.h"
#include "clsLog.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int SignOnFailure = 32003;
}

bool FaxMail::StartMail()
{
    m_isMail = ConfigIni.AbilitaMail != 0;
    if (!m_isMail)
        return false;
    QString error;
    if (!m_session.SignOn(&error)) {
        Prompt::message(m_owner, QMessageBox::Critical, ProgramTitle(),
                        u"Impossibile spedire e-mail: ("_s + QString::number(SignOnFailure) + u") "_s +
                            error);
        m_isMail = false;
    }
    return m_isMail;
}

bool FaxMail::ensureSession()
{
    if (m_session.SessionID() != 0)
        return true;
    AppLog().WriteLog(u"rilancia startmail"_s);
    StartMail();
    if (m_session.SessionID() != 0)
        return true;
    Prompt::message(m_owner, QMessageBox::NoIcon, ProgramTitle(), u"Impossibile inizializzare Mapi"_s);
    return false;
}

void FaxMail::SpedisciMail(const QString &key, const QString &fileName, const QString &faxFile,
                           const QString &faxText)
{
    if (ConfigIni.AbilitaMail == 0)
        return;
    QList<MailHandover::Recipient> picked;
    if (ConfigIni.ShowRubrica && m_picker)
        picked = m_picker(m_owner);
    AppLog().WriteLog(u"SpedisciMail"_s);
    if (!ensureSession())
        return;
    if (key.isEmpty())
        return;

    MailHandover::Message message;
    for (const MailHandover::Recipient &r : std::as_const(picked))
        message.recipients.append({u"SMTP:"_s + r.address, r.displayName});
    const bool scanned = key == u"-1"_s;
    const QString file = scanned ? fileName : faxFile;
    if (file.isEmpty() || !FileExists(file)) {
        Prompt::message(m_owner, QMessageBox::NoIcon, ProgramTitle(),
                        u"Attenzione!! Non esiste il file associato al fax, impossibile inviare."_s);
        return;
    }
    message.subject = scanned ? u"Invio Fax"_s : u"Inoltro Fax"_s;
    message.body = scanned ? u"Invio di documento acquisito da scanner."_s : faxText;
    message.attachment = file;
    QString error;
    if (!m_session.Send(message, &error))
        ShowErrorMessage(ErrNumber::MailFailure, error, u"frmMain.SpedisciMail"_s);
}

QList<MailHandover::Recipient> FaxMail::recipientsOf(const QString &list)
{
    QList<MailHandover::Recipient> recipients;
    const QStringList parts = list.split(u';');
    for (const QString &part : parts) {
        const QString address = part.trimmed();
        if (!address.isEmpty())
            recipients.append({u"SMTP:"_s + address, address});
    }
    return recipients;
}

bool FaxMail::SendForwardMails(const QString &usersMails, const QString &usersMailsAttach,
                               const QString &text, const QString &attachment)
{
    if (!ensureSession())
        return false;
    const auto send = [&](const QString &list, const QString &file) {
        const QList<MailHandover::Recipient> recipients = recipientsOf(list);
        if (recipients.isEmpty())
            return;
        MailHandover::Message message{recipients, u"Inoltro Fax"_s, text, file};
        QString error;
        if (!m_session.Send(message, &error)) {
            Err().Raise(ErrNumber::MailFailure, u"frmMain.ClientSock_RxFrmForward"_s, error);
            ShowMailError();
        }
    };
    send(usersMails, {});
    send(usersMailsAttach, attachment);
    return true;
}
