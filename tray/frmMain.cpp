#include "frmMain.h"

#include "CSystrayIcon.h"
#include "ErrorReporting.h"
#include "LiveSettings.h"
#include "ProgramInfo.h"
#include "ProgramStarter.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SingleInstance.h"
#include "SocketAdapter.h"
#include "StringTable.h"
#include "frmConnecting.h"
#include "frmSendStatus.h"
#include "frmUpdateDownload.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace QuorinLive {

namespace {

constexpr int BlinkMs = 1500;
constexpr int LinkCheckMs = 1000;
constexpr int ReconnectMs = 30000;
constexpr int MouseMoveMessage = 512; // the icon's notifications come as the window's mouse moves
constexpr int PictureSize = 16;

QPixmap basePicture()
{
    return ProgramIcon().pixmap(PictureSize, PictureSize);
}

// The three pictures: the program's icon, the same with a few pixels changed, and crossed out.
QIcon makePicture(int index)
{
    QPixmap pm = basePicture();
    QPainter p(&pm);
    if (index == 1) {
        p.fillRect(QRect(10, 1, 5, 5), QColor(255, 200, 0));
    } else if (index == 2) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(220, 0, 0), 2));
        p.drawLine(1, 1, PictureSize - 2, PictureSize - 2);
    }
    p.end();
    return QIcon(pm);
}

} // namespace

frmMain::frmMain(QWidget *parent) : QWidget(parent), m_clientProgram(u"Quorin"_s)
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"QuorinLive"_s);
    setWindowIcon(ProgramIcon());
    buildForm();
    tmrIcon = new QTimer(this);
    tmrIcon->setObjectName(u"tmrIcon"_s);
    tmrIcon->setInterval(BlinkMs);
    connect(tmrIcon, &QTimer::timeout, this, &frmMain::tmrIcon_Timer);
    tmrLink = new QTimer(this);
    tmrLink->setObjectName(u"tmrLink"_s);
    tmrLink->setInterval(LinkCheckMs);
    connect(tmrLink, &QTimer::timeout, this, &frmMain::checkLink);
    tmrReconnect = new QTimer(this);
    tmrReconnect->setObjectName(u"tmrReconnect"_s);
    tmrReconnect->setInterval(ReconnectMs);
    connect(tmrReconnect, &QTimer::timeout, this, &frmMain::reconnect);
    connectClientSock();
}

frmMain::~frmMain()
{
    // The icon leaves the notification area with the window.
    delete m_sysIcon;
    m_sysIcon = nullptr;
    delete m_sendStatus.data();
    delete m_updateDownload.data();
}

void frmMain::buildForm()
{
    ClientSock = new QuorinSock(this);
    ClientSock->setObjectName(u"ClientSock"_s);
    ClientSock->hide();

    for (int i = 0; i < 3; ++i) {
        m_pictures[i] = makePicture(i);
        m_picfax[i] = new QLabel(this);
        m_picfax[i]->setObjectName(u"Picfax"_s);
        m_picfax[i]->setProperty("Index", i);
        m_picfax[i]->setPixmap(m_pictures[i].pixmap(PictureSize, PictureSize));
        m_picfax[i]->hide();
    }

    fraTCP = new QGroupBox(u"Opzioni Server"_s, this);
    fraTCP->setObjectName(u"fraTCP"_s);
    const auto field = [this](QLabel *&label, const QString &labelName, const QString &caption,
                              QLineEdit *&box, const QString &boxName) {
        label = new QLabel(caption, fraTCP);
        label->setObjectName(labelName);
        box = new QLineEdit(fraTCP);
        box->setObjectName(boxName);
        label->setBuddy(box);
    };
    field(Label1, u"Label1"_s, u"User:"_s, txtUser, u"txtUser"_s);
    field(Label2, u"Label2"_s, u"Server:"_s, txtSockServer, u"txtSockServer"_s);
    field(Label3, u"Label3"_s, u"Porta:"_s, txtSockPort, u"txtSockPort"_s);
    txtSockPort->setText(u"9456"_s);
    cmdSelectServer = new QPushButton(u"..."_s, fraTCP);
    cmdSelectServer->setObjectName(u"cmdSelectServer"_s);
    auto *grid = new QGridLayout(fraTCP);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(txtUser, 0, 1, 1, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(txtSockServer, 1, 1);
    grid->addWidget(cmdSelectServer, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(txtSockPort, 2, 1, 1, 2);

    cmdConnetti = new QPushButton(u"Connetti"_s, this);
    cmdConnetti->setObjectName(u"cmdConnetti"_s);
    cmdCancel = new QPushButton(u"Chiudi"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdConnetti);
    buttons->addWidget(cmdCancel);
    auto *box = new QVBoxLayout(this);
    box->addWidget(fraTCP);
    box->addLayout(buttons);
    connect(cmdConnetti, &QPushButton::clicked, this, &frmMain::cmdConnetti_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::hide);

    mnuMain = new QMenu(u"Main"_s, this);
    mnuMain->setObjectName(u"mnuMain"_s);
    mnulauch = mnuMain->addAction(u"Lancia Quorin"_s);
    mnulauch->setObjectName(u"mnulauch"_s);
    mnuApri = mnuMain->addAction(u"Apri"_s);
    mnuApri->setObjectName(u"mnuApri"_s);
    mnuseparator = mnuMain->addSeparator();
    mnuseparator->setObjectName(u"mnuseparator"_s);
    mnuExit = mnuMain->addAction(u"Esci"_s);
    mnuExit->setObjectName(u"mnuExit"_s);
    connect(mnulauch, &QAction::triggered, this, &frmMain::LaunchQuorin);
    connect(mnuApri, &QAction::triggered, this, &frmMain::mnuApri_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
}

void frmMain::later(std::function<void()> fn)
{
    // Boxes wait until the event in hand has returned, so the link keeps reading meanwhile.
    QTimer::singleShot(0, this, std::move(fn));
}

QIcon frmMain::Picfax(int index) const
{
    return m_pictures[qBound(0, index, 2)];
}

void frmMain::setPicture(int index)
{
    if (m_sysIcon)
        m_sysIcon->setIconHandle(Picfax(index));
}

void frmMain::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_sysIcon = new CSystrayIcon(this);
    connect(m_sysIcon, &CSystrayIcon::NIError, this, &frmMain::SysIcon_NIError);
    m_sysIcon->Initialize(this, Picfax(0), LoadResString(Text::Connecting), MouseMoveMessage);
    m_sysIcon->ShowIcon();
    setWindowState(Qt::WindowMinimized);
    tmrLink->start();
}

void frmMain::showStatus(const QString &p_status)
{
    G.StatusText = p_status;
    if (m_sysIcon)
        m_sysIcon->setTipText(p_status);
}

void frmMain::SysIcon_NIError(int ErrorNumber)
{
    // The blink retries a refused icon every tick: each failure is told once, one box at a time.
    if (m_reportedIconErrors.contains(ErrorNumber))
        return;
    m_reportedIconErrors.insert(ErrorNumber);
    later([ErrorNumber] {
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                        u"There was an error when trying to use the systray. #ERR="_s +
                            QString::number(ErrorNumber));
    });
}

bool frmMain::event(QEvent *event)
{
    if (event->type() == TrayNotifyEvent::eventType()) {
        const auto *n = static_cast<TrayNotifyEvent *>(event);
        if (n->callbackMessage() == MouseMoveMessage)
            iconNotification(n->message(), n->globalPos());
        return true;
    }
    if (event->type() == TrayCreatedEvent::eventType()) {
        // A notification area came after a refused add (the panel started after us): the icon goes up
        // with its picture and tip as they stand now.
        if (m_sysIcon && !m_sysIcon->Visible() && !m_unloaded)
            m_sysIcon->ShowIcon();
        return true;
    }
    return QWidget::event(event);
}

void frmMain::iconNotification(int message, QPoint pos)
{
    if (message == TrayMouse::LButtonDblClk)
        LaunchQuorin();
    else if (message == TrayMouse::RButtonUp)
        mnuMain->popup(pos);
}

void frmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!m_unloading && !m_unloaded) {
        // The close box only hides the window; the program goes on in the notification area.
        event->ignore();
        hide();
        return;
    }
    event->accept();
    queryUnload();
}

void frmMain::queryUnload()
{
    if (m_unloaded)
        return;
    // Every other window of the program goes first, then the icon.
    delete m_sendStatus.data();
    delete m_updateDownload.data();
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w != this && w->isVisible() && !qobject_cast<QMenu *>(w))
            w->close();
    }
    if (m_sysIcon)
        m_sysIcon->HideIcon();
    m_unloaded = true;
    setWindowState(Qt::WindowMinimized);
    hide();
    Q_EMIT unloaded();
}

void frmMain::Unload()
{
    m_unloading = true;
    if (!close())
        queryUnload(); // a window never shown may take no close event
}

void frmMain::mnuApri_Click()
{
    // What the window and the icon show is the link as it is now; a link that is down is tried at once.
    checkLink();
    if (!Connected)
        reconnect();
    txtSockPort->setText(QString::number(G.CurrentPort));
    txtSockServer->setText(G.CurrentServer);
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void frmMain::mnuExit_Click()
{
    if (m_sysIcon)
        m_sysIcon->HideIcon();
    Unload();
}

void frmMain::cmdConnetti_Click()
{
    const QString portText = txtSockPort->text().trimmed();
    bool ok = false;
    double port = portText.toDouble(&ok);
    if (!ok) {
        ShowErrorMessage(ErrNumber::TypeMismatch, u"Tipo non corrispondente"_s,
                         u"frmMain.cmdConnetti_Click"_s);
        return;
    }
    port = std::round(port);
    if (port < 0 || port > 65535) {
        // The link refuses such a port without a word: say it here and keep the link as it is.
        ShowErrorMessage(ErrNumber::Overflow, u"Overflow"_s, u"frmMain.cmdConnetti_Click"_s);
        return;
    }
    if (!txtSockServer->text().isEmpty() && port != 0) {
        ClientSock->ConnectClose();
        Connected = false;
        tmrReconnect->stop(); // the user's own server now; a failure starts the retries again
        // The user asked: the connecting window shows the attempt.
        ClientSock->setConnectingWindow(
            [this](const QString &server) {
                frmConnecting::instance()->showFor(server, ClientSock->TimeCheckServer());
            },
            [] { frmConnecting::hideInstance(); });
        ClientSock->Connect(txtSockServer->text(), int(port), txtUser->text());
    }
    hide();
}

void frmMain::checkLink()
{
    if (Connected && ClientSock->State() != SocketAdapter::sckConnected)
        linkLost();
}

void frmMain::linkLost()
{
    if (!Connected)
        return;
    Connected = false;
    UserReceived = false;
    tmrIcon->stop(); // the link's state wins over the new-fax blink
    setPicture(2);
    showStatus(LoadResString(Text::CannotConnect) + G.CurrentServer);
    if (m_sysIcon)
        m_sysIcon->ShowIcon();
    tmrReconnect->start();
    Q_EMIT startStateChanged();
}

void frmMain::reconnect()
{
    if (Connected || m_LanciaUpdate || m_unloaded || G.CurrentServer.isEmpty() || G.CurrentPort < 1 ||
        G.CurrentPort > 65535)
        return;
    if (!tmrReconnect->isActive())
        tmrReconnect->start(); // a failed attempt is followed by the next one
    // Retries run in the background: no connecting window for them.
    ClientSock->setConnectingWindow({}, [] { frmConnecting::hideInstance(); });
    ClientSock->Connect(G.CurrentServer, G.CurrentPort);
}

void frmMain::tmrIcon_Timer()
{
    if (!Connected) {
        tmrIcon->stop();
        setPicture(2);
        return;
    }
    m_blinkPhase = (m_blinkPhase + 1) % 2;
    setPicture(m_blinkPhase);
    if (m_sysIcon)
        m_sysIcon->ShowIcon();
}

void frmMain::LaunchQuorin()
{
    tmrIcon->stop();
    m_newFaxUnseen = false;
    if (Connected) {
        setPicture(0);
        showStatus(LoadResString(Text::ConnectedTo) + G.CurrentServer);
    } else {
        setPicture(2);
        showStatus(LoadResString(Text::CannotConnect));
    }
    if (m_sysIcon)
        m_sysIcon->ShowIcon();

    if (IsClientRunning(m_clientProgram)) {
        // A client that does not listen is left alone: there is no window to raise.
        SingleInstance::requestRaise(m_clientProgram, this, [](bool) {});
        return;
    }
    switch (ProgramStarter::start(m_clientProgram)) {
    case ProgramStarter::Result::Started:
        return;
    case ProgramStarter::Result::NotFound:
        QApplication::beep();
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                        LoadResString(Text::QuorinNotFound) + u"\n"_s + LoadResString(Text::CannotLaunch));
        return;
    case ProgramStarter::Result::Failed:
        ShowErrorMessage(ErrNumber::InvalidArgument,
                         u"Impossibile avviare "_s + ProgramStarter::programPath(m_clientProgram),
                         u"frmMain.LaunchQuorin"_s);
        return;
    }
}

} // namespace QuorinLive
