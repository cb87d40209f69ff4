#include "frmMail.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FaxJob.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SendoraConfig.h"
#include "ServerDates.h"
#include "faxOut.h"
#include "frmPrint.h"

#include <QComboBox>
#include <QDate>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace Sendora;

frmMail::frmMail(frmPrint *parent) : QDialog(parent), fParent(parent)
{
    setObjectName(u"frmMail"_s);
    setWindowTitle(u"Salva nei Ricevuti di Quorin"_s);
    setWindowIcon(ProgramIcon());
    setModal(false);
    auto make = [this](const QString &name) {
        auto *b = new QLineEdit(this);
        b->setObjectName(name);
        return b;
    };
    tbFrom = make(u"tbFrom"_s);
    tbCompany = make(u"tbCompany"_s);
    CboStato = new QComboBox(this);
    CboStato->setObjectName(u"CboStato"_s);
    const QStringList origins = {u"Posta Elettronica"_s, u"Adobe Acrobat®"_s, u"Ms Word®"_s, u"Ms Excel®"_s,
                                 u"Browser Internet"_s};
    for (int i = 0; i < origins.size(); ++i)
        CboStato->addItem(origins.at(i), i + 1);
    tbSubj = make(u"tbSubj"_s);
    tbDate = make(u"tbDate"_s);
    tbTime = make(u"tbTime"_s);
    cmdSalva = new QPushButton(u"&Salva"_s, this);
    cmdSalva->setObjectName(u"cmdSalva"_s);
    cmdSalva->setAutoDefault(false);
    cbCancel = new QPushButton(u"&Annulla"_s, this);
    cbCancel->setObjectName(u"cbCancel"_s);
    cbCancel->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(u"Mittente"_s, tbFrom);
    form->addRow(u"Azienda"_s, tbCompany);
    form->addRow(u"Stato"_s, CboStato);
    form->addRow(u"Oggetto"_s, tbSubj);
    form->addRow(u"Data"_s, tbDate);
    form->addRow(u"Ora"_s, tbTime);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSalva);
    buttons->addWidget(cbCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStrut(CaptionWidth(this)); // the whole caption, not "Salva n...Quorin"

    connect(cmdSalva, &QPushButton::clicked, this, &frmMail::cmdSalva_Click);
    connect(cbCancel, &QPushButton::clicked, this, &QWidget::close);

    // Form_Load
    tbDate->setText(FormatShortDate(QDate::currentDate()));
    tbTime->setText(QTime::currentTime().toString(u"HH:mm:ss"_s));
    CboStato->setCurrentIndex(0);
    CenterForm(this);
}

void frmMail::cmdSalva_Click()
{
    if (!fParent)
        return;
    if (!fParent->Connected)
        return fParent->tellNotSent(this, true);
    const QString document = FilenamePrint;
    QString date, time;
    if (!FormatDate(tbDate->text(), date) || !FormatTime(tbTime->text(), time)) {
        Err().Raise(ErrNumber::TypeMismatch, u"Sendora"_s,
                    u"Data o ora non valida: "_s + tbDate->text() + u" "_s + tbTime->text());
        ReportError(u"cmdSalva_Click"_s);
        Err().Clear();
        return;
    }
    auto fax = std::make_unique<faxOut>();
    fax->setUser(0);
    fax->setAppName(u"Sendora"_s);
    fax->setAllFaxFiles(document);
    fax->setStatusFax(CboStato->currentText());
    fax->setSentDate(date);
    fax->setSentTime(time);
    fax->setSendDate(date);
    fax->setSendTime(time);
    fax->setTotalPages(FileNumPages);
    fax->setRemoteID(tbFrom->text());
    fax->setToCompany(tbCompany->text());
    fax->setSubject(tbSubj->text());
    fax->setSendRes(QString::number(ConfigIni.Resolution));
    fax->setRead(true);
    if (const QString problem = QuorinSock::FaxProblem(*fax); !problem.isEmpty()) {
        Prompt::message(this, QMessageBox::Warning, ProgramTitle(), problem);
        return;
    }

    if (!fParent->beforeHandOver(this, true))
        return;
    fParent->IdFaxSending =
        fParent->handToLink([this, &fax] { return fParent->ClientSock->SaveFaxToRX(std::move(fax)); });
    // The link went down under the hand-over: the dialog stays, with the document still to store.
    if (!fParent->Connected)
        return fParent->tellNotSent(this, true);
    if (fParent->addPending(fParent->IdFaxSending, document, u"cmdSalva_Click"_s)) {
        fParent->cFaxSending->item(fParent->IdFaxSending)->setStored(true);
        cbCancel->setText(u"&Chiudi"_s);
    }
}
