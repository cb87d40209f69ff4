#include "frmConnecting.h"

#include "LinkUtils.h"
#include "WindowPlacement.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int Steps = 54;

QPointer<frmConnecting> &theInstance()
{
    static QPointer<frmConnecting> window;
    return window;
}

} // namespace

frmConnecting::frmConnecting(QWidget *parent) : QWidget(parent, Qt::Dialog)
{
    setObjectName(u"frmConnecting"_s);
    setWindowTitle(u"Quorin"_s);
    m_conn = new QLabel(u"Connessione in corso al server:"_s, this);
    m_conn->setObjectName(u"lblConn"_s);
    m_serverLabel = new QLabel(this);
    m_serverLabel->setObjectName(u"lblServer"_s);
    m_serverLabel->setTextFormat(Qt::PlainText);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(u"pbarConnecting"_s);
    m_bar->setTextVisible(false);
    m_timer = new QTimer(this);
    m_timer->setObjectName(u"tmrConnecting"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_conn);
    layout->addWidget(m_serverLabel);
    layout->addWidget(m_bar);
    connect(m_timer, &QTimer::timeout, this, &frmConnecting::tick);
    // In the middle of the screen at the size it shows at, whatever the server's name makes of it.
    WindowPlacement::centerWhenShown(this);
}

frmConnecting *frmConnecting::instance()
{
    QPointer<frmConnecting> &window = theInstance();
    if (!window) {
        window = new frmConnecting;
        qAddPostRoutine([] { delete theInstance().data(); });
    }
    return window;
}

void frmConnecting::setServer(const QString &server)
{
    m_server = server;
    m_serverLabel->setText(server);
}

void frmConnecting::Load(qint32 timeCheckServer)
{
    m_serverLabel->setText(m_server);
    if (TimeConnecting == 0)
        TimeConnecting = 3 * timeCheckServer;
    m_timer->setInterval(qMax(1, int(std::lround(double(TimeConnecting) / Steps))));
    m_step = 0;
    m_bar->setRange(0, Steps);
    m_bar->setValue(0);
    Tentativicompleti = 0;
}

void frmConnecting::showFor(const QString &server, qint32 timeCheckServer)
{
    setServer(server);
    if (!isVisible()) {
        Load(timeCheckServer);
        LinkUtils::CenterForm(this);
    }
    show();
    m_timer->start();
}

void frmConnecting::stopAndHide()
{
    m_timer->stop();
    hide();
}

void frmConnecting::hideInstance()
{
    if (frmConnecting *window = theInstance().data())
        window->stopAndHide();
}

void frmConnecting::tick()
{
    ++m_step;
    if (m_step < Steps + 1)
        m_bar->setValue(m_step);
    else
        m_step = 0;
}
