#include "frmPropFax.h"

#include "FaxListText.h"
#include "ProgramInfo.h"
#include "WindowPlacement.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmPropFax::frmPropFax(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmPropFax"_s);
    setWindowTitle(u"Proprietà Fax"_s);
    setWindowIcon(ProgramIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    auto *grid = new QGridLayout;
    int row = 0;
    const auto field = [&](QLabel *&label, const QString &labelName, const QString &text, QLineEdit *&box,
                           const QString &boxName) {
        label = new QLabel(text, this);
        label->setObjectName(labelName);
        box = new QLineEdit(this);
        box->setObjectName(boxName);
        box->setReadOnly(true);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        ++row;
    };
    field(ldlDestName, u"ldlDestName"_s, u"Dest.:"_s, txtDestname, u"txtDestname"_s);
    field(lblCompany, u"lblCompany"_s, u"Azienda:"_s, txtToCompany, u"txtToCompany"_s);
    field(lblDestFax, u"lblDestFax"_s, u"Numero Fax:"_s, txtDestFax, u"txtDestFax"_s);
    field(lblSentDate, u"lblSentDate"_s, u"Data/ora sped:"_s, txtSentDate, u"txtSentDate"_s);
    field(Label1, u"Label1"_s, u"Pag. spedite:"_s, txtPagesSent, u"txtPagesSent"_s);
    field(lblSubject, u"lblSubject"_s, u"Oggetto:"_s, txtSubject, u"txtSubject"_s);
    field(lblRetries, u"lblRetries"_s, u"Tentativi:"_s, txtRetries, u"txtRetries"_s);

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(cmdOK, &QPushButton::clicked, this, &frmPropFax::cmdOK_Click);
    WindowPlacement::fixSize(this);
}

void frmPropFax::showEvent(QShowEvent *event)
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    QDialog::showEvent(event);
}

void frmPropFax::Form_Load()
{
    if (p_itemfax)
        MostraProprieta(*p_itemfax);
}

void frmPropFax::MostraProprieta(const FaxItem &Fax)
{
    switch (p_Activelist) {
    case 0:
        ldlDestName->setText(u"Mittente:"_s);
        lblSentDate->setText(u"Data/ora sped:"_s);
        break;
    case 1:
        ldlDestName->setText(u"Mittente:"_s);
        lblSentDate->setText(u"Data / ora"_s);
        lblRetries->setVisible(false);
        txtRetries->setVisible(false);
        break;
    case 2:
        ldlDestName->setText(u"Dest.:"_s);
        lblSentDate->setText(u"Data/ora sped:"_s);
        break;
    default:
        break;
    }
    txtDestname->setText(Fax.DestName());
    txtToCompany->setText(Fax.ToCompany());
    txtDestFax->setText(Fax.DestFax());
    // A time the server garbled (a ":" in the first two places) is shown as it came: the time reader
    // would stop at an error box, and this window opens inside the link's event.
    const QString sent = Fax.SentDate();
    const qsizetype colon = sent.indexOf(u':');
    txtSentDate->setText(colon == 0 || colon == 1 ? sent : FaxListText::DateColumn(sent));
    txtPagesSent->setText(QString::number(Fax.PageSent()));
    txtSubject->setText(Fax.Subject());
    txtRetries->setText(QString::number(Fax.Retries()));
}

void frmPropFax::cmdOK_Click()
{
    close();
}
