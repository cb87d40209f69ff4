#include "ServerDiscovery.h"

#include "LinkUtils.h"
#include "Prompt.h"
#include "ServerSearch.h"
#include "frmSearchServers.h"
#include "frmServerConf.h"
#include "frmServersAvaliable.h"

using namespace Qt::StringLiterals;

namespace {

const QString AskManual = u"Vuoi impostare i parametri manualmente"_s;

bool askManual(QWidget *parent, const QString &text)
{
    return Prompt::message(parent, QMessageBox::Critical, u"Errore impostazioni"_s, text,
                           QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

bool LookForServer(FindServerContext &ctx, const QString &server, qint32 port)
{
    const qint32 linkPort = (port == 0 || port == -1) ? ctx.SockPort : port;
    const QStringList answers = runServerSearch(ctx.parent, server, linkPort, ctx.UserName, ctx.TimeSearch);
    if (answers.size() != 1)
        return false;
    ctx.SockServer = answers.constFirst();
    return true;
}

bool FindServer(FindServerContext &ctx, const QString &pSockServer, qint32 pSockPort)
{
    QString server = pSockServer;
    qint32 port = pSockPort;
    // Each pass checks what the user typed in the settings window, until a server answers or the
    // user declines.
    for (;;) {
        ctx.SockPort = (port == -1 || port == 0) ? Discovery::DefaultLinkPort : port;
        ctx.SockServer = server;
        if (!server.isEmpty()) {
            if (LookForServer(ctx, server, -1))
                return true;
            if (!askManual(ctx.parent, u"Impossibile trovare il server: "_s + server + u'\n' + AskManual))
                return false;
        } else if (!LinkUtils::GetWinPlatform()) {
            const QStringList answers =
                runServerSearch(ctx.parent, QString(), ctx.SockPort, ctx.UserName, ctx.TimeSearch);
            if (answers.size() == 1) {
                ctx.SockServer = answers.constFirst();
                return true;
            }
            if (answers.isEmpty()) {
                if (!askManual(ctx.parent, u"Nessun server attivo"_s + u'\n' + AskManual))
                    return false;
            } else {
                frmServersAvaliable list(ctx.parent);
                list.PortConnection = ctx.SockPort;
                list.EseguiSearch = false;
                list.UserName = ctx.UserName;
                list.TimeSearch = ctx.TimeSearch;
                list.Load();
                Prompt::exec(&list);
                if (list.Ok && !list.ServerSelected.isEmpty()) {
                    ctx.SockServer = list.ServerSelected;
                    return true;
                }
                if (!askManual(ctx.parent, AskManual))
                    return false;
            }
        }
        frmServerConf *conf = frmServerConf::instance();
        conf->m_sockPort = ctx.SockPort;
        conf->UserName = ctx.UserName;
        conf->TimeSearch = ctx.TimeSearch;
        conf->Load();
        Prompt::exec(conf);
        if (!conf->Ok)
            return false;
        server = conf->m_sockServer;
        port = conf->m_sockPort;
    }
}
