#include "frmLogin.h"

#include "ProgramInfo.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmLogin::frmLogin(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmLogin"_s);
    setWindowTitle(u"Accesso"_s);
    setWindowIcon(ProgramIcon());
    setModal(true);

    txtUserName = new QLineEdit(this);
    txtUserName->setObjectName(u"txtUserName"_s);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(u"txtPassword"_s);
    txtPassword->setEchoMode(QLineEdit::Password);
    auto *lblUserName = new QLabel(u"&Nome utente:"_s, this);
    lblUserName->setObjectName(u"lblLabels0"_s);
    lblUserName->setBuddy(txtUserName);
    auto *lblPassword = new QLabel(u"&Password:"_s, this);
    lblPassword->setObjectName(u"lblLabels1"_s);
    lblPassword->setBuddy(txtPassword);
    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(u"Annulla"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);

    auto *form = new QFormLayout;
    form->addRow(lblUserName, txtUserName);
    form->addRow(lblPassword, txtPassword);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
}

void frmLogin::cmdOK_Click()
{
    LoginSucceeded = true;
    accept();
}

void frmLogin::cmdCancel_Click()
{
    reject();
}

void frmLogin::reject()
{
    LoginSucceeded = false;
    QDialog::reject();
}
