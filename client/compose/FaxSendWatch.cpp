#include "FaxSendWatch.h"

#include "FRMSEND2.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SocketAdapter.h"
#include "clsLog.h"

#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

constexpr int ErrFileNotFound = 53;
constexpr int ErrFileAccess = 75;

} // namespace

FaxSendWatch *FaxSendWatch::of(QuorinSock *sock)
{
    if (!sock)
        return nullptr;
    if (auto *watch = sock->findChild<FaxSendWatch *>(QString(), Qt::FindDirectChildrenOnly))
        return watch;
    return new FaxSendWatch(sock);
}

FaxSendWatch::FaxSendWatch(QuorinSock *sock) : QObject(sock), m_sock(sock)
{
    connect(sock, &QuorinSock::Error, this,
            [this](int number, const QString &description, int, const QString &source, const QString &, int,
                   bool) { onError(number, description, source); });
    connect(sock, &QuorinSock::SentFax2Server, this, [this](const QString &key) {
        m_pending.remove(key);
        m_order.removeAll(key);
    });
}

void FaxSendWatch::track(const QString &key, const FaxDraft &draft, QWidget *dialog, QWidget *mainWindow)
{
    m_pending.insert(key, {draft, dialog, mainWindow});
    m_order.removeAll(key);
    m_order.append(key);
}

bool FaxSendWatch::uploadingFrom(const QWidget *dialog) const
{
    for (const Pending &p : m_pending) {
        if (p.dialog == dialog)
            return true;
    }
    return false;
}

QString FaxSendWatch::recipients(const QWidget *dialog) const
{
    QStringList out;
    for (const QString &key : m_order) {
        const Pending p = m_pending.value(key);
        if (!dialog || p.dialog == dialog)
            out.append(p.draft.recipients);
    }
    return out.join(u"; "_s);
}

QString FaxSendWatch::reasonFor(int number, const QString &description, const QString &file)
{
    switch (number) {
    case ErrFileNotFound:
        return u"il documento "_s + file + u" non è più presente."_s;
    case ErrFileAccess:
        return u"il documento "_s + file + u" non può essere letto."_s;
    case SocketAdapter::sckBadState:
        return u"il collegamento al server si è interrotto prima della fine dell'invio."_s;
    default:
        return description;
    }
}

void FaxSendWatch::onError(int number, const QString &description, const QString &source)
{
    // The link names a fax it gave up as "SendFax : key : files" (or the one file at fault).
    static const QString prefix = u"SendFax : "_s;
    if (!source.startsWith(prefix))
        return;
    const QString rest = source.mid(prefix.size());
    const qsizetype cut = rest.indexOf(u" : "_s);
    const QString key = cut < 0 ? rest : rest.left(cut);
    if (!m_pending.contains(key))
        return;
    const QString file = cut < 0 ? QString() : rest.mid(cut + 3);
    report(key, m_stopReason.isEmpty() ? reasonFor(number, description, file) : m_stopReason);
}

void FaxSendWatch::report(const QString &key, const QString &reason)
{
    const Pending p = m_pending.take(key);
    m_order.removeAll(key);
    AppLog().WriteLog(u"Fax "_s + key + u" per "_s + p.draft.recipients + u" non inviato: "_s + reason);
    Q_EMIT notSent(key, p.draft.recipients, reason);
    if (m_quiet)
        return;
    // Told once the link's event has returned; a link lost under the fax is brought back meanwhile,
    // so the fax can go again.
    QTimer::singleShot(0, this, [this, p, reason] {
        if (m_sock && !m_sock->SockServer().isEmpty() && m_sock->State() != SocketAdapter::sckConnected &&
            m_sock->State() != SocketAdapter::sckConnecting)
            m_sock->ReConnect();
        QWidget *owner = p.dialog ? p.dialog.data() : p.mainWindow.data();
        const QString text = u"Il fax per "_s + p.draft.recipients + u" non è stato inviato.\n"_s +
                             u"Motivo: "_s + reason + u"\n\n"_s +
                             u"Inviarlo di nuovo? Si riapre la finestra di spedizione con gli stessi "_s +
                             u"destinatari, testi e documenti."_s;
        if (Prompt::message(owner, QMessageBox::Critical, u"Fax non inviato"_s, text,
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes)
            reopen(p.draft, p.mainWindow);
    });
}

void FaxSendWatch::stopAll(const QString &reason, bool quiet)
{
    if (m_pending.isEmpty() || !m_sock)
        return;
    m_stopReason = reason;
    m_quiet = quiet;
    // The link reports each fax it drops; those it has confirmed meanwhile leave the list as sent.
    if (quiet)
        m_sock->ConnectClose();
    else
        m_sock->ReConnect();
    const QStringList left = m_order;
    for (const QString &key : left)
        report(key, reason);
    m_stopReason.clear();
    m_quiet = false;
}

bool FaxSendWatch::confirmClose(QWidget *parent, const QWidget *dialog, Closing what)
{
    if (dialog ? !uploadingFrom(dialog) : !uploading())
        return true;
    const bool program = what == Closing::Program;
    const QString text =
        u"Un fax è ancora in invio al server, destinatari: "_s + recipients(dialog) + u".\n"_s +
        (program ? u"Uscendo adesso da Quorin l'invio viene interrotto"_s
                 : u"Chiudendo adesso la finestra di spedizione l'invio viene interrotto"_s) +
        u" e il fax non sarà spedito.\n\n"_s + (program ? u"Uscire comunque?"_s : u"Chiudere comunque?"_s);
    if (Prompt::message(parent, QMessageBox::Warning, u"Fax in invio"_s, text,
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return false;
    stopAll(program ? u"invio interrotto all'uscita dal programma."_s
                    : u"invio interrotto alla chiusura della finestra di spedizione."_s,
            program);
    return true;
}

void FaxSendWatch::reopen(const FaxDraft &draft, QWidget *mainWindow)
{
    auto *dlg = new FRMSEND2(mainWindow);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setClientSock(m_sock);
    dlg->setfMain(mainWindow);
    dlg->restoreDraft(draft);
    dlg->show();
    dlg->raise();
    dlg->activateWindow();
}
