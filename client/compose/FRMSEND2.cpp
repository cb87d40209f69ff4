#include "FRMSEND2.h"

#include "AppPaths.h"
#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FaxSendWatch.h"
#include "FormHelpers.h"
#include "PlainToolTip.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "RUBfrmRubrica.h"
#include "ServerDates.h"
#include "SystemUtils.h"
#include "faxOut.h"
#include "frmRubCondivisa.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTime>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QPointer<FRMSEND2> &sharedInstance()
{
    static QPointer<FRMSEND2> instance;
    return instance;
}

} // namespace

FRMSEND2::FRMSEND2(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"FRMSEND2"_s);
    setWindowTitle(u"Spedizione Fax"_s);
    setModal(false);

    auto *Label1 = new QLabel(u"Fax"_s, this);
    Label1->setObjectName(u"Label1"_s);
    Label1->setFont(QFont(u"Times New Roman"_s, 20, QFont::Bold));

    auto *frmDest = new QGroupBox(this);
    frmDest->setObjectName(u"frmDest"_s);
    tbTo = NamedLineEdit(frmDest, u"tbTo"_s);
    tbCompany = NamedLineEdit(frmDest, u"tbCompany"_s);
    tbFaxNumber = NamedLineEdit(frmDest, u"tbFaxNumber"_s);
    auto *cmdRub = NamedButton(frmDest, u"cmdRub"_s, u"Rubrica"_s);
    tbDate = NamedLineEdit(frmDest, u"tbDate"_s);
    tbTime = NamedLineEdit(frmDest, u"tbTime"_s);
    auto *destGrid = new QGridLayout(frmDest);
    destGrid->addWidget(new QLabel(u"A"_s, frmDest), 0, 0);
    destGrid->addWidget(tbTo, 0, 1);
    destGrid->addWidget(new QLabel(u"Azienda"_s, frmDest), 1, 0);
    destGrid->addWidget(tbCompany, 1, 1);
    destGrid->addWidget(new QLabel(u"Fax"_s, frmDest), 2, 0);
    destGrid->addWidget(tbFaxNumber, 2, 1);
    destGrid->addWidget(cmdRub, 2, 2);
    destGrid->addWidget(new QLabel(u"Data"_s, frmDest), 3, 0);
    destGrid->addWidget(tbDate, 3, 1);
    destGrid->addWidget(new QLabel(u"Ora Invio"_s, frmDest), 4, 0);
    destGrid->addWidget(tbTime, 4, 1);

    auto *frmMitt = new QGroupBox(this);
    frmMitt->setObjectName(u"frmMitt"_s);
    tbFrom = NamedLineEdit(frmMitt, u"tbFrom"_s);
    tbSendCompany = NamedLineEdit(frmMitt, u"tbSendCompany"_s);
    tbSendVoiceNumber = NamedLineEdit(frmMitt, u"tbSendVoiceNumber"_s);
    tbSendFaxNumber = NamedLineEdit(frmMitt, u"tbSendFaxNumber"_s);
    auto *mittForm = new QFormLayout(frmMitt);
    mittForm->addRow(u"Da"_s, tbFrom);
    mittForm->addRow(u"Azienda"_s, tbSendCompany);
    mittForm->addRow(u"Numero Telefono"_s, tbSendVoiceNumber);
    mittForm->addRow(u"Numero Fax"_s, tbSendFaxNumber);

    auto *frmNote = new QGroupBox(this);
    frmNote->setObjectName(u"frmNote"_s);
    tbSubj = NamedLineEdit(frmNote, u"tbSubj"_s);
    tbNote = new QPlainTextEdit(frmNote);
    tbNote->setObjectName(u"tbNote"_s);
    auto *noteForm = new QFormLayout(frmNote);
    noteForm->addRow(u"Oggetto"_s, tbSubj);
    noteForm->addRow(u"Note"_s, tbNote);

    lbFiles = new QListWidget(this);
    lbFiles->setObjectName(u"lbFiles"_s);
    auto *cbFiles = NamedButton(this, u"cbFiles"_s, u"&Agg. Fax File"_s);
    auto *cbDelFiles = NamedButton(this, u"cbDelFiles"_s, u"&Cancella File"_s);
    auto *Command1 = NamedButton(this, u"Command1"_s, u"Elimina tutti"_s);

    auto *Frame1 = new QGroupBox(u"Opzioni"_s, this);
    Frame1->setObjectName(u"Frame1"_s);
    chbCoverPage = new QCheckBox(u"&Copertina"_s, Frame1);
    chbCoverPage->setObjectName(u"chbCoverPage"_s);
    tbCover = NamedLineEdit(Frame1, u"tbCover"_s);
    tbCover->setText(u"nessuna"_s);
    tbCover->setReadOnly(true);
    chHiRes = new QCheckBox(u"&Alta risoluzione"_s, Frame1);
    chHiRes->setObjectName(u"chHiRes"_s);
    cmbPort = new QComboBox(Frame1);
    cmbPort->setObjectName(u"cmbPort"_s);
    cmbPort->setEditable(true);
    cmbPort->setEditText(u"Qualsiasi porta:"_s);
    cmbQueue = new QComboBox(Frame1);
    cmbQueue->setObjectName(u"cmbQueue"_s);
    cmbQueue->setEditable(true);
    cmbQueue->setEditText(u"Coda di Default:"_s);
    tbBanner = NamedLineEdit(Frame1, u"tbBanner"_s);
    auto *optGrid = new QGridLayout(Frame1);
    optGrid->addWidget(chbCoverPage, 0, 0);
    optGrid->addWidget(tbCover, 0, 1);
    optGrid->addWidget(chHiRes, 1, 0);
    optGrid->addWidget(cmbPort, 2, 0);
    optGrid->addWidget(cmbQueue, 2, 1);
    optGrid->addWidget(tbBanner, 3, 0, 1, 2);

    auto *cbSend = NamedButton(this, u"cbSend"_s, u"&Spedisci"_s);
    cbCancel = NamedButton(this, u"cbCancel"_s, u"&Annulla"_s);

    auto *fileButtons = new QVBoxLayout;
    fileButtons->addWidget(cbFiles);
    fileButtons->addWidget(cbDelFiles);
    fileButtons->addWidget(Command1);
    fileButtons->addStretch();
    auto *files = new QHBoxLayout;
    files->addWidget(lbFiles, 1);
    files->addLayout(fileButtons);
    auto *left = new QVBoxLayout;
    left->addWidget(Label1);
    left->addWidget(frmDest);
    left->addWidget(frmMitt);
    auto *right = new QVBoxLayout;
    right->addWidget(frmNote, 1);
    right->addLayout(files);
    right->addWidget(Frame1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right, 1);
    auto *actions = new QHBoxLayout;
    actions->addStretch();
    actions->addWidget(cbSend);
    actions->addWidget(cbCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(actions);

    connect(cbFiles, &QPushButton::clicked, this, &FRMSEND2::cbFiles_Click);
    connect(cbDelFiles, &QPushButton::clicked, this, &FRMSEND2::cbDelFiles_Click);
    connect(Command1, &QPushButton::clicked, this, &FRMSEND2::Command1_Click);
    connect(chbCoverPage, &QCheckBox::clicked, this, &FRMSEND2::chbCoverPage_Click);
    connect(cmdRub, &QPushButton::clicked, this, &FRMSEND2::cmdRub_Click);
    connect(cbSend, &QPushButton::clicked, this, &FRMSEND2::cbSend_Click);
    connect(cbCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(lbFiles, &QListWidget::itemPressed, this, [this] {
        lbFiles->setToolTip(lbFiles->currentItem() ? plainToolTip(lbFiles->currentItem()->text())
                                                   : QString());
    });
    connect(tbCover, &QLineEdit::textChanged, this, [this](const QString &text) {
        chbCoverPage->setToolTip(plainToolTip(text));
        tbCover->setToolTip(plainToolTip(text));
    });
    // Choosing the last entry of one box enables the other; both start without entries.
    connect(cmbPort, &QComboBox::activated, this,
            [this](int index) { cmbQueue->setEnabled(index == cmbPort->count() - 1); });
    connect(cmbQueue, &QComboBox::activated, this,
            [this](int index) { cmbPort->setEnabled(index == cmbQueue->count() - 1); });
}

FRMSEND2::~FRMSEND2() = default;

FRMSEND2 *FRMSEND2::defaultInstance(QWidget *parent)
{
    QPointer<FRMSEND2> &instance = sharedInstance();
    if (!instance)
        instance = new FRMSEND2(parent);
    return instance;
}

void FRMSEND2::showEvent(QShowEvent *event)
{
    if (!m_loaded)
        Load();
    QDialog::showEvent(event);
}

bool IsForwardedItem(const QListWidgetItem *item)
{
    return item && item->data(Qt::UserRole).toBool();
}

void FRMSEND2::Load()
{
    m_loaded = true;
    tbDate->setText(FormatShortDate(QDate::currentDate()));
    tbTime->setText(QTime::currentTime().toString(u"HH:mm:ss"_s));
    tbFrom->setText(ConfigIni.Name);
    tbSendCompany->setText(ConfigIni.Company);
    tbSendVoiceNumber->setText(ConfigIni.Voice);
    tbSendFaxNumber->setText(ConfigIni.Fax);
    chHiRes->setChecked(ConfigIni.Resolution == 1);
    chbCoverPage->setChecked(false);
    tbCover->setText(u"nessuna"_s);
    if (m_itemOpen.isEmpty()) {
        LoadFilesToSend(lbFiles);
    } else {
        // The fax being forwarded heads the list, shown but fixed: it is sent once, ahead of the others.
        lbFiles->clear();
        auto *item = new QListWidgetItem(m_itemOpen, lbFiles);
        item->setFlags(Qt::ItemIsEnabled);
        item->setData(Qt::UserRole, true);
    }
    m_filesEdited = false;
    m_pickedFromBook = false;
    m_pickedList.clear();
    tbTo->setEnabled(true);
    tbCompany->setEnabled(true);
    cbCancel->setText(u"&Annulla"_s);
}

void FRMSEND2::rebuildRememberedList()
{
    QStringList paths;
    for (int i = 0; i < lbFiles->count(); ++i) {
        if (!IsForwardedItem(lbFiles->item(i)))
            paths.append(lbFiles->item(i)->text());
    }
    ConfigIni.File = paths.join(u'+');
}

void FRMSEND2::cbFiles_Click()
{
    const QString path = ShowOpenFileDialog(ConfigIni.FileFilter);
    if (path.isEmpty())
        return;
    ConfigIni.File = ConfigIni.File.isEmpty() ? path : ConfigIni.File + u'+' + path;
    lbFiles->addItem(path);
    lbFiles->setCurrentRow(lbFiles->count() - 1);
    m_filesEdited = true;
}

void FRMSEND2::cbDelFiles_Click()
{
    QListWidgetItem *item = lbFiles->currentItem();
    if (!item || !item->isSelected())
        return;
    delete item;
    m_filesEdited = true;
    rebuildRememberedList();
}

void FRMSEND2::Command1_Click()
{
    bool removed = false;
    for (int i = lbFiles->count() - 1; i >= 0; --i) {
        if (!IsForwardedItem(lbFiles->item(i))) {
            delete lbFiles->item(i);
            removed = true;
        }
    }
    if (!removed)
        return;
    m_filesEdited = true;
    ConfigIni.File.clear();
}

void FRMSEND2::chbCoverPage_Click()
{
    if (!chbCoverPage->isChecked()) {
        tbCover->setText(u"nessuna"_s);
        return;
    }
    const QString program = AppPaths::programDir();
    const QString covers = program + u"/Covers"_s;
    const QString folder = DirExists(covers) ? covers : program;
    const QString file = Prompt::openFileName(this, QString(), folder, u"Copertine (*.cpe)"_s);
    if (file.isEmpty()) {
        chbCoverPage->setChecked(false);
        tbCover->setText(u"nessuna"_s);
        return;
    }
    tbCover->setText(file);
    tbCover->setCursorPosition(int(file.size())); // the end of a long path stays visible
}

void FRMSEND2::applyPick(const PickedList &picked)
{
    m_pickedFromBook = true;
    tbTo->clear();
    tbCompany->clear();
    tbTo->setEnabled(false);
    tbCompany->setEnabled(false);
    m_pickedList = picked;
    tbFaxNumber->setText(Recipients::ProposeNumbers(tbFaxNumber->text(), m_pickedList));
}

void FRMSEND2::cmdRub_Click()
{
    if (ConfigIni.RubricaCondivisa) {
        frmRubCondivisa book(m_sock, this);
        book.setShowMode(0);
        Prompt::exec(&book);
        if (book.ok())
            applyPick(Recipients::ReadSelectedList(book.findChild<QTreeWidget *>(u"LVSelezionati"_s)));
        return;
    }
    RUBfrmRubrica book(this);
    book.setOpenMode(ConfigIni.FieldRubrica == 3 ? 3 : 2);
    book.setShowing(1);
    book.Load();
    Prompt::exec(&book);
    if (book.ok())
        applyPick(book.Selected());
}

void FRMSEND2::done(int result)
{
    // Closing while a fax of this window uploads stops it: asked first.
    if (FaxSendWatch *watch = FaxSendWatch::of(m_sock);
        watch && !watch->confirmClose(this, this, FaxSendWatch::Closing::SendWindow))
        return;
    saveFileList();
    m_itemOpen.clear();
    m_loaded = false;
    QDialog::done(result);
}

void FRMSEND2::saveFileList()
{
    // Opened for one listed fax, the list starts empty: unless the user changed it, the remembered
    // documents stay as they were.
    if (!m_itemOpen.isEmpty() && !m_filesEdited)
        return;
    rebuildRememberedList();
    WriteConfigKey(u"File"_s, ConfigIni.File);
}

void FRMSEND2::restoreDraft(const FaxDraft &d)
{
    m_itemOpen = d.itemOpen;
    Load();
    if (d.itemOpen.isEmpty())
        lbFiles->clear();
    for (const QString &file : d.files)
        lbFiles->addItem(file);
    chbCoverPage->setChecked(d.cover);
    tbCover->setText(d.cover ? d.coverFile : u"nessuna"_s);
    tbTo->setText(d.to);
    tbCompany->setText(d.company);
    tbFaxNumber->setText(d.faxNumber);
    m_pickedFromBook = d.pickedFromBook;
    m_pickedList = d.picked;
    tbTo->setEnabled(!d.pickedFromBook);
    tbCompany->setEnabled(!d.pickedFromBook);
    tbFrom->setText(d.from);
    tbSendCompany->setText(d.sendCompany);
    tbSendVoiceNumber->setText(d.voice);
    tbSendFaxNumber->setText(d.fax);
    tbSubj->setText(d.subject);
    tbNote->setPlainText(d.note);
    chHiRes->setChecked(d.hiRes);
    // A fax planned for later keeps its time; one that was to go at once goes now.
    const QDateTime planned = QDateTime::fromString(d.sendDate + u' ' + d.sendTime, u"dd-MM-yyyy HH:mm:ss"_s);
    if (planned.isValid() && planned > QDateTime::currentDateTime()) {
        tbDate->setText(d.date);
        tbTime->setText(d.time);
    }
}

QuorinSock *FRMSEND2::ClientSock() const
{
    return m_sock;
}

void FRMSEND2::setClientSock(QuorinSock *sock)
{
    m_sock = sock;
}
