#include "frmSearchServers.h"

#include "Prompt.h"
#include "ServerSearch.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressBar>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmSearchServers::frmSearchServers(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmSearchServers"_s);
    setWindowTitle(u"frmSearchServers"_s);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(u"pbNumServer"_s);
    m_bar->setTextVisible(false);
    m_search = new ServerSearch(this);
    m_search->setObjectName(u"sckCheck"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_bar);
    resize(320, 60);
    connect(m_search, &ServerSearch::progress, m_bar, &QProgressBar::setValue);
    connect(m_search, &ServerSearch::finished, this, &frmSearchServers::onFinished);
}

frmSearchServers::~frmSearchServers()
{
    if (m_started && !m_done)
        QApplication::restoreOverrideCursor();
}

void frmSearchServers::startSearch()
{
    if (m_started)
        return;
    m_started = true;
    const QStringList candidates =
        ServerConnection.isEmpty() ? Discovery::candidates() : QStringList{ServerConnection};
    m_bar->setRange(0, int(candidates.size()));
    m_bar->setValue(0);
    m_search->setLinkPort(PortConnection);
    m_search->setUserName(UserName);
    m_search->setTimeout(TimeSearch);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_search->start(candidates);
}

QStringList frmSearchServers::answers() const
{
    return m_search->answers();
}

void frmSearchServers::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    startSearch();
}

void frmSearchServers::onFinished()
{
    m_done = true;
    QApplication::restoreOverrideCursor();
    if (isVisible())
        accept();
}

QStringList runServerSearch(QWidget *parent, const QString &server, qint32 port, const QString &userName,
                            int timeSearch)
{
    frmSearchServers window(parent);
    window.PortConnection = port > 0 ? port : 9456;
    window.UserName = userName;
    window.ServerConnection = server;
    window.TimeSearch = timeSearch;
    window.startSearch();
    if (!window.searchDone())
        Prompt::exec(&window);
    // Answered prompts (tests) return at once: the search still runs its course.
    if (!window.searchDone()) {
        QEventLoop wait;
        QObject::connect(window.findChild<ServerSearch *>(), &ServerSearch::finished, &wait,
                         &QEventLoop::quit);
        if (!window.searchDone())
            wait.exec();
    }
    return window.answers();
}
