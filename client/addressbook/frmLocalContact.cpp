#include "frmLocalContact.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

frmLocalContact::frmLocalContact(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmLocalContact"_s);
    setWindowTitle(u"Contatto"_s);
    auto *form = new QFormLayout(this);
    auto field = [&](const QString &name, const QString &label) {
        auto *box = new QLineEdit(this);
        box->setObjectName(name);
        form->addRow(label, box);
        return box;
    };
    txtDisplayName = field(u"txtDisplayName"_s, u"Nome visualizzato"_s);
    txtFirstName = field(u"txtFirstName"_s, u"Nome"_s);
    txtSurname = field(u"txtSurname"_s, u"Cognome"_s);
    txtCompany = field(u"txtCompany"_s, u"Società"_s);
    txtEmail = field(u"txtEmail"_s, u"Email"_s);
    txtBusinessFax = field(u"txtBusinessFax"_s, u"Fax ufficio"_s);
    txtHomeFax = field(u"txtHomeFax"_s, u"Fax casa"_s);
    txtPhone = field(u"txtPhone"_s, u"Telefono"_s);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(u"buttons"_s);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(u"cmdOk"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"Annulla"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void frmLocalContact::setContact(const LocalContact &c)
{
    m_contact = c;
    txtDisplayName->setText(c.displayName);
    txtFirstName->setText(c.firstName);
    txtSurname->setText(c.surname);
    txtCompany->setText(c.company);
    txtEmail->setText(c.email);
    txtBusinessFax->setText(c.businessFax);
    txtHomeFax->setText(c.homeFax);
    txtPhone->setText(c.phone);
}

LocalContact frmLocalContact::contact() const
{
    LocalContact c = m_contact;
    c.displayName = txtDisplayName->text();
    c.firstName = txtFirstName->text();
    c.surname = txtSurname->text();
    c.company = txtCompany->text();
    c.email = txtEmail->text();
    c.businessFax = txtBusinessFax->text();
    c.homeFax = txtHomeFax->text();
    c.phone = txtPhone->text();
    for (QString *field : {&c.displayName, &c.firstName, &c.surname, &c.company, &c.email, &c.businessFax,
                           &c.homeFax, &c.phone})
        *field = field->normalized(QString::NormalizationForm_C); // typed or pasted, composed
    if (c.displayName.trimmed().isEmpty())
        c.displayName = c.shownName();
    return c;
}

bool frmLocalContact::trySave()
{
    m_saved = !m_saver || m_saver(contact());
    return m_saved;
}

void frmLocalContact::accept()
{
    if (trySave())
        QDialog::accept();
}
