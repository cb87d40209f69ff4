// The menu bar of the main window and its commands: address books, sending, scanning, options, rules,
// server settings, user change, the outside programs, help and the status bar.
#include "frmMain.h"

#include "AppPaths.h"
#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "FRMSEND2.h"
#include "ProgramInfo.h"
#include "ProgramStarter.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "RUBfrmRubrica.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "ThemeIcons.h"
#include "frmAbout2.h"
#include "frmAuto.h"
#include "frmImportaRubrica.h"
#include "frmLogin.h"
#include "frmOptions.h"
#include "frmRubCondivisa.h"
#include "frmScan.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QUrl>

using namespace Qt::StringLiterals;

void frmMain::buildMenus()
{
    const auto item = [this](QMenu *menu, const QString &name, const QString &text,
                             void (frmMain::*command)()) {
        QAction *a = menu->addAction(text);
        a->setObjectName(name);
        a->setIcon(ThemeIcons::forMenuEntry(name));
        if (command)
            connect(a, &QAction::triggered, this, command);
        return a;
    };
    const auto separator = [](QMenu *menu, const QString &name) {
        menu->addSeparator()->setObjectName(name);
    };

    QMenu *file = menuBar()->addMenu(u"&File"_s);
    file->setObjectName(u"mnuFile"_s);
    item(file, u"mnuRubrica"_s, u"Rubrica"_s, &frmMain::mnuRubrica);
    item(file, u"mnuSendFax"_s, u"Spedisci Fax..."_s, &frmMain::mnuSendFax);
    item(file, u"mnuScan"_s, u"Acquisizione da scanner..."_s, &frmMain::mnuScan);
    separator(file, u"mnuFileBar0"_s);
    QAction *exit = item(file, u"mnuFileExit"_s, u"&Esci"_s, nullptr);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu *view = menuBar()->addMenu(u"&Visualizza"_s);
    view->setObjectName(u"mnuView"_s);
    QAction *toolbar = item(view, u"mnuViewToolbar"_s, u"Barra degli &strumenti"_s, nullptr);
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    toolbar->setVisible(false);
    m_statusBarAction = item(view, u"mnuViewStatusBar"_s, u"&Barra di stato"_s, nullptr);
    m_statusBarAction->setCheckable(true);
    m_statusBarAction->setChecked(true);
    // The action toggles its mark before the command runs.
    connect(m_statusBarAction, &QAction::triggered, this, &frmMain::mnuViewStatusBar);

    QMenu *tools = menuBar()->addMenu(u"&Strumenti"_s);
    tools->setObjectName(u"mnuTools"_s);
    item(tools, u"mnuToolsOptions"_s, u"&Opzioni..."_s, &frmMain::mnuToolsOptions);
    item(tools, u"mnuOpenRules"_s, u"Regole..."_s, &frmMain::mnuOpenRules)->setEnabled(false);
    QString importText = LoadResString(2094);
    if (importText.isEmpty())
        importText = u"Importa Rubrica..."_s;
    item(tools, u"mnuImportaRubrica"_s, importText, &frmMain::mnuImportaRubrica)->setEnabled(false);
    item(tools, u"mnuServerConf"_s, u"Configurazione Server..."_s, &frmMain::mnuServerConf);
    separator(tools, u"mnuToolsBar0"_s);
    item(tools, u"mnuLogin"_s, u"Cambia utente"_s, &frmMain::mnuLogin)->setVisible(false);
    item(tools, u"mnuInstallaPrinter"_s, u"Installa Sendora"_s, &frmMain::mnuInstallaPrinter);
    separator(tools, u"mnuToolsBar1"_s);
    item(tools, u"mnuLiveUpdate"_s, u"LiveUpdate"_s, &frmMain::mnuLiveUpdate);

    QMenu *help = menuBar()->addMenu(u"&?"_s);
    help->setObjectName(u"mnuHelp"_s);
    item(help, u"mnuHelpContents"_s, u"&Sommario"_s, &frmMain::mnuHelpContents)->setVisible(false);
    item(help, u"mnuHelpAbout"_s, LoadResString(1036), &frmMain::mnuHelpAbout);

    // The local address book picks the recipients of a fax sent by mail ("ShowRubrica").
    m_mail.setRecipientPicker([](QWidget *owner) {
        QList<MailHandover::Recipient> out;
        RUBfrmRubrica book(owner);
        book.setOpenMode(1);
        book.setShowing(1);
        book.Load();
        Prompt::exec(&book);
        for (const PickedRecipient &p : book.Selected())
            out.append({p.fax, p.name});
        return out;
    });
}

void frmMain::mnuRubrica()
{
    if (ConfigIni.RubricaCondivisa) {
        auto *book = new frmRubCondivisa(ClientSock, this);
        book->setAttribute(Qt::WA_DeleteOnClose);
        book->setShowMode(1);
        book->show();
    } else {
        auto *book = new RUBfrmRubrica(this);
        book->setAttribute(Qt::WA_DeleteOnClose);
        book->setOpenMode(ConfigIni.FieldRubrica);
        book->setShowing(0);
        book->show();
    }
}

void frmMain::mnuSendFax()
{
    auto *send = new FRMSEND2(this);
    send->setAttribute(Qt::WA_DeleteOnClose);
    send->setClientSock(ClientSock);
    send->setfMain(this);
    send->show();
}

void frmMain::mnuScan()
{
    frmScan scan(this);
    Prompt::exec(&scan);
    ScanHandOff(
        scan, this, [this](const QString &file) { SpedisciMail(u"-1"_s, file); },
        [this](const QString &file) {
            FRMSEND2 *send = FRMSEND2::defaultInstance(this);
            send->setClientSock(ClientSock);
            send->setfMain(this);
            send->setItemOpen(file);
            send->show();
        });
}

void frmMain::mnuToolsOptions()
{
    frmOptions options(this);
    connect(&options, &frmOptions::AskResSaveAsApplied, LumagPreview, &PreviewControl::setAskResSaveAs);
    connect(&options, &frmOptions::isMailApplied, this, [this](bool on) {
        // The mail session follows the option at once.
        isMail = on ? m_mail.StartMail() : false;
    });
    Prompt::exec(&options);
}

void frmMain::mnuOpenRules()
{
    frmAuto rules(this);
    Prompt::exec(&rules);
}

void frmMain::mnuImportaRubrica()
{
    frmImportaRubrica import(ClientSock, this);
    Prompt::exec(&import);
}

void frmMain::mnuServerConf()
{
    ClientSock->LaunchServerConf(1);
    ConfigIni.Server = ClientSock->SockServer();
    ConfigIni.Port = ClientSock->SockPort();
    WriteServerSettings(ConfigIni.Server, ConfigIni.Port);
}

void frmMain::mnuLogin()
{
    if (!m_login)
        m_login = new frmLogin(this);
    Prompt::exec(m_login);
    if (m_login->LoginSucceeded) {
        NomeUtente = m_login->txtUserName->text();
        ClientSock->Connect(ConfigIni.Server, ConfigIni.Port, NomeUtente);
    }
}

void frmMain::mnuInstallaPrinter()
{
    switch (ProgramStarter::start(u"Sendora.exe"_s)) {
    case ProgramStarter::Result::Started:
        break;
    case ProgramStarter::Result::NotFound:
        Prompt::message(
            this, QMessageBox::Warning, ProgramTitle(),
            u"Attenzione!! File Sendora.exe non trovato. \nImpossibile installare stampante Sendora."_s);
        break;
    case ProgramStarter::Result::Failed:
        ShowErrorMessage(ErrNumber::FileNotFound,
                         u"Impossibile avviare "_s + ProgramStarter::programPath(u"Sendora"_s),
                         u"frmMain.mnuInstallaPrinter"_s);
        break;
    }
}

void frmMain::mnuLiveUpdate()
{
    switch (ProgramStarter::start(u"Dozeza.exe"_s)) {
    case ProgramStarter::Result::Started:
        break;
    case ProgramStarter::Result::NotFound:
        Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                        LoadResString(2068) + u"\n"_s + LoadResString(2069));
        break;
    case ProgramStarter::Result::Failed:
        ShowErrorMessage(ErrNumber::FileNotFound,
                         u"Impossibile avviare "_s + ProgramStarter::programPath(u"Dozeza"_s),
                         u"frmMain.mnuLiveUpdate"_s);
        break;
    }
}

void frmMain::mnuHelpContents()
{
    if (HelpFile.isEmpty() || !QFileInfo(HelpFile).isFile()) {
        Prompt::message(
            this, QMessageBox::Information, windowTitle(),
            u"Impossibile visualizzare il Sommario della Guida. Nessun file della Guida associato al progetto."_s);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(HelpFile)))
        Prompt::message(this, QMessageBox::Warning, windowTitle(),
                        u"Impossibile aprire il file della Guida: "_s + HelpFile);
}

void frmMain::mnuViewStatusBar()
{
    sbStatusBar->setVisible(m_statusBarAction->isChecked());
    ResizeForm();
}

void frmMain::mnuHelpAbout()
{
    // Made for this exec() and destroyed once when it returns; closing it ends nothing else.
    frmAbout2 about(this);
    CenterForm(&about);
    Prompt::exec(&about);
}
