#include "frmPrint.h"

#include "AppPaths.h"
#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FmPrinter.h"
#include "FormHelpers.h"
#include "PlainToolTip.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "RUBfrmRubrica.h"
#include "SendoraConfig.h"
#include "SendoraOptions.h"
#include "ServerDates.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "clsLog.h"
#include "frmMail.h"
#include "frmRubCondivisa.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTime>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

using namespace Qt::StringLiterals;
using namespace Sendora;

namespace {

// Runs `what` once `window` is on the screen: a box shown before it would stay behind it.
void whenShown(QWidget *window, const std::function<void()> &what)
{
    if (window->isVisible())
        return what();
    QTimer::singleShot(200, window, [window, what] { whenShown(window, what); });
}

} // namespace

frmPrint::frmPrint(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"frmPrint"_s);
    setWindowTitle(u"Sendora"_s);
    setAttribute(Qt::WA_QuitOnClose, false); // the start-up decides when the program ends
    buildForm();
    ClientSock = new QuorinSock(this);
    ClientSock->setObjectName(u"ClientSock"_s);
    ClientSock->hide();
    FmPrinter1 = new FmPrinter(this);
    FmPrinter1->setObjectName(u"FmPrinter1"_s);
    wireLink();
    m_relink = new QTimer(this);
    m_relink->setInterval(RelinkIntervalMs);
    connect(m_relink, &QTimer::timeout, this, &frmPrint::relink);

    // Form_Initialize
    Connected = false;
    UserReceived = false;
    cbSend->setEnabled(false);
    CbSaveRx->setEnabled(false);
    CbSaveRx->setVisible(IsSettingOn(G.SalvaRicevuti));
    txtServer->setText(u"Connessione al server in corso..."_s);
    cFaxSending = std::make_unique<collFaxSending>();
    connect(FmPrinter1, &FmPrinter::PrintComplete, this, &frmPrint::FmPrinter1_PrintComplete);
    connect(FmPrinter1, &FmPrinter::CaptureFailed, this, [this](const QString &message) {
        txtStatus->setText(message);
        txtStatus->setCursorPosition(0);
        txtStatus->setToolTip(plainToolTip(message));
        AppLog().WriteLog(message);
        // The status line may be too short for it: the whole text in a box, once the signal returned and
        // over the window (the spool folder is looked at before the window is shown).
        QTimer::singleShot(0, this, [this, message] {
            whenShown(this, [this, message] { Prompt::message(this, QMessageBox::Warning, ProgramTitle(), message); });
        });
    });
    connect(FmPrinter1, &FmPrinter::WaitingForOtherWindow, this, [this] {
        const QString text = u"Il documento stampato è già aperto in un'altra finestra di invio: questa finestra "
                             u"attende che quella termini, poi prende il documento o si chiude."_s;
        txtStatus->setText(text);
        txtStatus->setCursorPosition(0); // its start is what says what happens
        txtStatus->setToolTip(text);
        AppLog().WriteLog(text);
        QTimer::singleShot(0, this, [this, text] {
            Prompt::message(this, QMessageBox::Information, ProgramTitle(), text);
        });
    });
    connect(FmPrinter1, &FmPrinter::NothingLeftToTake, this, [this] {
        const QString text = u"L'altra finestra di invio ha finito con il documento e nessun altro documento "
                             u"stampato è in attesa: questa finestra si chiude."_s;
        txtStatus->setText(text);
        txtStatus->setCursorPosition(0);
        AppLog().WriteLog(text);
        QTimer::singleShot(0, this, [this, text] {
            Prompt::message(this, QMessageBox::Information, ProgramTitle(), text);
            close();
        });
    });
    // A run that sends a job file leaves printed documents in the spool for a run with the window:
    // taken here they would have no recipient and be deleted at the end.
    if (!G.HiddenMode)
        FmPrinter1->setPrinterName(u"QuorinPrinter"_s);
}

frmPrint::~frmPrint() = default;

void frmPrint::buildForm()
{
    auto *menuBar = new QMenuBar(this);
    mnuTools = menuBar->addMenu(u"1025"_s);
    mnuTools->setObjectName(u"mnuTools"_s);
    mnuToolsOptions = mnuTools->addAction(u"1026"_s);
    mnuToolsOptions->setObjectName(u"mnuToolsOptions"_s);
    mnuServerConf = mnuTools->addAction(u"1122"_s);
    mnuServerConf->setObjectName(u"mnuServerConf"_s);
    mnuToolsBar0 = mnuTools->addSeparator();
    mnuToolsBar0->setObjectName(u"mnuToolsBar0"_s); // no caption: a style draws a separator's text
    mnuLiveUpdate = mnuTools->addAction(u"1180"_s);
    mnuLiveUpdate->setObjectName(u"mnuLiveUpdate"_s);

    auto *frmDest = new QGroupBox(this);
    tbTo = NamedLineEdit(frmDest, u"tbTo"_s);
    tbCompany = NamedLineEdit(frmDest, u"tbCompany"_s);
    tbFaxNumber = NamedLineEdit(frmDest, u"tbFaxNumber"_s);
    cmdRub = NamedButton(frmDest, u"cmdRub"_s, u"Rubrica"_s);
    tbDate = NamedLineEdit(frmDest, u"tbDate"_s);
    tbTime = NamedLineEdit(frmDest, u"tbTime"_s);
    auto *dest = new QGridLayout(frmDest);
    dest->addWidget(new QLabel(u"A"_s, frmDest), 0, 0);
    dest->addWidget(tbTo, 0, 1);
    dest->addWidget(new QLabel(u"Azienda"_s, frmDest), 1, 0);
    dest->addWidget(tbCompany, 1, 1);
    dest->addWidget(new QLabel(u"Fax"_s, frmDest), 2, 0);
    dest->addWidget(tbFaxNumber, 2, 1);
    dest->addWidget(cmdRub, 2, 2);
    dest->addWidget(new QLabel(u"Data"_s, frmDest), 3, 0);
    dest->addWidget(tbDate, 3, 1);
    dest->addWidget(new QLabel(u"Ora Invio"_s, frmDest), 4, 0);
    dest->addWidget(tbTime, 4, 1);

    auto *frmMitt = new QGroupBox(this);
    tbFrom = NamedLineEdit(frmMitt, u"tbFrom"_s);
    tbSendCompany = NamedLineEdit(frmMitt, u"tbSendCompany"_s);
    tbSendVoiceNumber = NamedLineEdit(frmMitt, u"tbSendVoiceNumber"_s);
    tbSendFaxNumber = NamedLineEdit(frmMitt, u"tbSendFaxNumber"_s);
    auto *mitt = new QFormLayout(frmMitt);
    mitt->addRow(u"Da"_s, tbFrom);
    mitt->addRow(u"Azienda"_s, tbSendCompany);
    mitt->addRow(u"Numero Telefono"_s, tbSendVoiceNumber);
    mitt->addRow(u"Numero Fax"_s, tbSendFaxNumber);

    auto *frmNote = new QGroupBox(this);
    tbSubj = NamedLineEdit(frmNote, u"tbSubj"_s);
    tbNote = new QPlainTextEdit(frmNote);
    tbNote->setObjectName(u"tbNote"_s);
    auto *note = new QFormLayout(frmNote);
    note->addRow(u"Oggetto"_s, tbSubj);
    note->addRow(u"Note"_s, tbNote);

    auto *Frame1 = new QGroupBox(u"Opzioni"_s, this);
    chbCoverPage = new QCheckBox(u"&Copertina"_s, Frame1);
    chbCoverPage->setObjectName(u"chbCoverPage"_s);
    tbCover = NamedLineEdit(Frame1, u"tbCover"_s);
    tbCover->setReadOnly(true);
    chHiRes = new QCheckBox(u"&Alta risoluzione"_s, Frame1);
    chHiRes->setObjectName(u"chHiRes"_s);
    cmbQueue = new QComboBox(Frame1);
    cmbQueue->setObjectName(u"cmbQueue"_s);
    cmbQueue->setEditable(true);
    cmbPort = new QComboBox(Frame1);
    cmbPort->setObjectName(u"cmbPort"_s);
    cmbPort->setEditable(true);
    // Wide enough for the whole caption, and shown from its start, not scrolled to its end.
    for (const auto &[box, caption] :
         {std::pair{cmbQueue, u"Coda di Default:"_s}, std::pair{cmbPort, u"Qualsiasi porta:"_s}}) {
        box->setEditText(caption);
        box->setMinimumContentsLength(int(caption.size()));
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->lineEdit()->setCursorPosition(0);
    }
    tbBanner = NamedLineEdit(Frame1, u"tbBanner"_s);
    auto *opt = new QGridLayout(Frame1);
    opt->addWidget(chbCoverPage, 0, 0);
    opt->addWidget(tbCover, 0, 1);
    opt->addWidget(chHiRes, 1, 0);
    opt->addWidget(cmbQueue, 2, 0);
    opt->addWidget(cmbPort, 2, 1);
    opt->addWidget(new QLabel(u"Banner:"_s, Frame1), 3, 0);
    opt->addWidget(tbBanner, 3, 1);

    txtServer = NamedLineEdit(this, u"txtServer"_s);
    txtServer->setReadOnly(true);
    txtStatus = NamedLineEdit(this, u"txtStatus"_s);
    txtStatus->setReadOnly(true);
    cbSend = NamedButton(this, u"cbSend"_s, u"&Spedisci"_s);
    CbSaveRx = NamedButton(this, u"CbSaveRx"_s, u"Salva nei &Ricevuti"_s);
    cbCancel = NamedButton(this, u"cbCancel"_s, u"&Annulla"_s);

    auto *left = new QVBoxLayout;
    left->addWidget(frmDest);
    left->addWidget(frmMitt);
    auto *right = new QVBoxLayout;
    right->addWidget(frmNote, 1);
    right->addWidget(Frame1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right, 1);
    auto *actions = new QHBoxLayout;
    actions->addWidget(txtStatus, 1);
    actions->addWidget(cbSend);
    actions->addWidget(CbSaveRx);
    actions->addWidget(cbCancel);
    auto *layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(columns, 1);
    layout->addLayout(actions);
    layout->addWidget(txtServer);

    connect(cbSend, &QPushButton::clicked, this, &frmPrint::cbSend_Click);
    connect(CbSaveRx, &QPushButton::clicked, this, &frmPrint::CbSaveRx_Click);
    connect(cbCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdRub, &QPushButton::clicked, this, &frmPrint::cmdRub_Click);
    connect(chbCoverPage, &QCheckBox::clicked, this, &frmPrint::chbCoverPage_Click);
    connect(mnuToolsOptions, &QAction::triggered, this, &frmPrint::mnuToolsOptions_Click);
    connect(mnuServerConf, &QAction::triggered, this, &frmPrint::mnuServerConf_Click);
    connect(mnuLiveUpdate, &QAction::triggered, this, &frmPrint::mnuLiveUpdate_Click);
    connect(tbCover, &QLineEdit::textChanged, this, [this](const QString &text) {
        chbCoverPage->setToolTip(plainToolTip(text));
        tbCover->setToolTip(plainToolTip(text));
    });
    connect(cmbPort, &QComboBox::activated, this,
            [this](int index) { cmbQueue->setEnabled(index == cmbPort->count() - 1); });
    connect(cmbQueue, &QComboBox::activated, this,
            [this](int index) { cmbPort->setEnabled(index == cmbQueue->count() - 1); });
}

void frmPrint::showEvent(QShowEvent *event)
{
    m_shown = true;
    Form_Load();
    QWidget::showEvent(event);
}

void frmPrint::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    // What the capture already said (waiting for another window, a failure) stays.
    if (txtStatus->text().isEmpty())
        txtStatus->setText(u"Attendere!! Preparazione file appoggio in corso..."_s);
    // Menu captions hold string-table ids.
    for (QAction *action :
         {mnuTools->menuAction(), mnuToolsOptions, mnuServerConf, mnuToolsBar0, mnuLiveUpdate}) {
        bool isId = false;
        const int id = action->text().toInt(&isId);
        if (isId && StringTable::contains(id))
            action->setText(StringTable::text(id));
    }
    setWindowIcon(ProgramIcon());
    chbCoverPage->setChecked(false);
    tbCover->setText(u"nessuna"_s);
    ReloadSenderKeys();
    tbDate->setText(FormatShortDate(QDate::currentDate()));
    tbTime->setText(QTime::currentTime().toString(u"HH:mm:ss"_s));
    refreshFromSettings();
    CenterForm(this);
    m_PickedFromBook = false;
}

void frmPrint::refreshFromSettings()
{
    tbFrom->setText(ConfigIni.Name);
    tbSendCompany->setText(ConfigIni.Company);
    tbSendVoiceNumber->setText(ConfigIni.Voice);
    tbSendFaxNumber->setText(ConfigIni.Fax);
    chHiRes->setChecked(ConfigIni.Resolution == 1);
    CbSaveRx->setVisible(IsSettingOn(G.SalvaRicevuti));
}

void frmPrint::FmPrinter1_PrintComplete()
{
    if (FmPrinter1->DocumentCount() < 1)
        return;
    const CapturedDocument doc = FmPrinter1->Document();
    G.CapturedJobFile = doc.FilePath;
    FaxPages = qint16(qBound(0, doc.Pages, 32767));
    if (G.HiddenMode) {
        // A printed job has no recipient without the window: it waits for one, it is not sent blind.
        AppLog().WriteLog(u"Documento stampato ricevuto in modalità nascosta: non spedito"_s);
    } else {
        m_handedBefore = FmPrinter::handedOverAt(FmPrinter1->jobFile());
        const QString text =
            m_handedBefore.isValid()
                ? u"Preparazione completata. Attenzione: documento già consegnato al server "_s +
                      handedBeforeText() + u" senza conferma: potrebbe essere già archiviato."_s
                : u"Preparazione completata."_s;
        txtStatus->setText(text);
        txtStatus->setCursorPosition(0);
        txtStatus->setToolTip(m_handedBefore.isValid() ? text : QString());
        QApplication::beep();
    }
    cbSend->setEnabled(true);
    CbSaveRx->setEnabled(true);
    FilenamePrint = G.CapturedJobFile;
}

void frmPrint::CbSaveRx_Click()
{
    auto *dlg = new frmMail(this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->FilenamePrint = G.CapturedJobFile;
    dlg->FileNumPages = FaxPages;
    dlg->show();
}

void frmPrint::chbCoverPage_Click()
{
    if (!chbCoverPage->isChecked()) {
        tbCover->setText(u"nessuna"_s);
        return;
    }
    const QString covers = AddPathSeparator(AppPaths::programDir()) + u"Covers/"_s;
    const QString folder = DirExists(covers) ? covers : AppPaths::programDir();
    const QString file = Prompt::openFileName(this, QString(), folder, u"Copertine (*.cpe)"_s);
    if (file.isEmpty()) {
        chbCoverPage->setChecked(false);
        tbCover->setText(u"nessuna"_s);
        return;
    }
    tbCover->setText(file);
    tbCover->setCursorPosition(int(file.size()));
}

void frmPrint::applyPick(const PickedList &picked, bool localBook)
{
    m_PickedFromBook = true;
    if (localBook) {
        // The local book keeps the typed name and company, only locked.
        tbTo->setEnabled(false);
        tbCompany->setEnabled(false);
    } else {
        tbTo->clear();
        tbCompany->clear();
        tbTo->setEnabled(false);
        tbCompany->setEnabled(false);
    }
    m_PickedList = picked;
    tbFaxNumber->setText(Recipients::ProposeNumbers(tbFaxNumber->text(), m_PickedList));
}

void frmPrint::cmdRub_Click()
{
    if (ConfigIni.RubricaCondivisa) {
        frmRubCondivisa book(ClientSock, this);
        book.setShowMode(0);
        Prompt::exec(&book);
        if (book.ok())
            applyPick(Recipients::ReadSelectedList(book.findChild<QTreeWidget *>(u"LVSelezionati"_s)), false);
        return;
    }
    ConfigIni.FieldRubrica = ReadConfigKey(u"FieldRubrica"_s, u"2"_s).toInt();
    RUBfrmRubrica book(this);
    book.setConfigurable(false);
    book.setOpenMode(ConfigIni.FieldRubrica == 3 ? 3 : 2);
    book.setShowing(1);
    book.Load();
    Prompt::exec(&book);
    if (book.ok())
        applyPick(book.Selected(), true);
}

void frmPrint::mnuToolsOptions_Click()
{
    SendoraOptions dlg(this, this);
    Prompt::exec(&dlg);
}

void frmPrint::mnuServerConf_Click()
{
    ClientSock->LaunchServerConf(1);
    G.CurrentServer = ClientSock->SockServer();
    G.CurrentPort = ClientSock->SockPort();
    WriteConfigKey(u"Server"_s, G.CurrentServer);
    WriteConfigKey(u"Port"_s, QString::number(G.CurrentPort));
}

void frmPrint::mnuLiveUpdate_Click()
{
    if (!StartProgram(u"Dozeza.exe"_s)) {
        ReportError(u"mnuLiveUpdate_Click"_s);
        Err().Clear();
    }
}

void frmPrint::closeEvent(QCloseEvent *event)
{
    if (!queryUnload()) {
        event->ignore();
        return;
    }
    event->accept();
    QWidget::closeEvent(event);
}

bool frmPrint::queryUnload()
{
    if (m_unloaded)
        return true;
    if (!G.HiddenMode && Connected && cFaxSending && cFaxSending->anyPending()) {
        Prompt::message(this, QMessageBox::Information, ProgramTitle(),
                        u"Attendere!! Spedizione file in corso..."_s);
        return false;
    }
    m_unloaded = true;
    // Every other window of the program goes with this one, the newest first.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (qsizetype i = windows.size() - 1; i >= 0; --i) {
        QWidget *w = windows.at(i);
        if (w != this && w->isVisible() && !w->inherits("QMenu"))
            w->close();
    }
    settleSpooledJob();
    deleteCapturedFiles();
    cFaxSending.reset();
    Q_EMIT unloaded();
    return true;
}

void frmPrint::settleSpooledJob()
{
    const QString document = FmPrinter1->Document().FilePath;
    if (FmPrinter1->jobFile().isEmpty() || document.isEmpty())
        return;
    bool handed = m_sendTried, delivered = false;
    if (cFaxSending) {
        for (const auto &entry : *cFaxSending) {
            if (!entry->StrFiles().split(u'+').contains(document))
                continue;
            handed = true;
            delivered = delivered || entry->Sent();
        }
    }
    // Delivered, or seen and closed without sending: the user is done with it. A fax the server never
    // confirmed, or a window never shown (start-up given up), leaves the job for the next run.
    if (delivered || (m_shown && !handed))
        FmPrinter1->releaseJob();
    else
        AppLog().WriteLog(u"Documento stampato lasciato in coda per il prossimo avvio: "_s +
                          FmPrinter1->jobFile());
}

void frmPrint::deleteCapturedFiles()
{
    QStringList files = FmPrinter1->capturedFiles();
    if (!G.CapturedJobFile.isEmpty() && !files.contains(G.CapturedJobFile))
        files.append(G.CapturedJobFile);
    for (const QString &f : files)
        QFile::remove(f); // a file already gone is fine
}
