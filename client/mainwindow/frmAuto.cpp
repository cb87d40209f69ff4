#include "frmAuto.h"

#include "ConfigIni.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmAuto::frmAuto(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmAuto"_s);
    setWindowTitle(u"Regole..."_s);
    setWindowIcon(ProgramIcon());
    setModal(true);

    const auto button = [this](const QString &name, const QString &text, const QString &tag) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setProperty("Tag", tag);
        return b;
    };
    cmdApply = button(u"cmdApply"_s, u"&Applica"_s, u"1063"_s);
    cmdCancel = button(u"cmdCancel"_s, u"Annulla"_s, u"1064"_s);
    cmdOK = button(u"cmdOK"_s, u"OK"_s, u"1065"_s);
    frame1 = new QGroupBox(u"Gestione nuovi fax"_s, this);
    frame1->setObjectName(u"frame1"_s);
    txtEmail = new QLineEdit(frame1);
    txtEmail->setObjectName(u"txtEmail"_s);
    ChkEmail = new QCheckBox(u"Manda email col fax in allegato a (questa opzione è consigliata solo con MS "
                             u"Outlook Express ®)"_s,
                             frame1);
    ChkEmail->setObjectName(u"ChkEmail"_s);
    ChkPrint = new QCheckBox(u"Stampa in automatico"_s, frame1);
    ChkPrint->setObjectName(u"ChkPrint"_s);
    Label1 = new QLabel(u"Indirizzo email :"_s, frame1);
    Label1->setObjectName(u"Label1"_s);

    auto *rules = new QGridLayout(frame1);
    rules->addWidget(ChkPrint, 0, 0, 1, 2);
    rules->addWidget(ChkEmail, 1, 0, 1, 2);
    rules->addWidget(Label1, 2, 0);
    rules->addWidget(txtEmail, 2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdApply);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame1);
    layout->addLayout(buttons);

    connect(cmdApply, &QPushButton::clicked, this, &frmAuto::cmdApply_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmAuto::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAuto::cmdCancel_Click);
    for (QCheckBox *box : {ChkPrint, ChkEmail})
        connect(box, &QCheckBox::clicked, cmdApply, [this] { cmdApply->setEnabled(true); });

    LocalizeForm(this);
    CaricaRegole();
    cmdApply->setEnabled(false);
}

void frmAuto::CaricaRegole()
{
    const bool mail = ConfigIni.AbilitaMail != 0;
    ChkEmail->setEnabled(mail);
    txtEmail->setEnabled(mail);
    // Anything but "1" in a place (a short or odd value) shows that rule off.
    ChkPrint->setChecked(ConfigIni.Auto.mid(0, 1) == u"1"_s);
    ChkEmail->setChecked(ConfigIni.Auto.mid(1, 1) == u"1"_s);
    txtEmail->setText(ConfigIni.ToEmail);
}

void frmAuto::SalvaRegole()
{
    const QString rules =
        QString(ChkPrint->isChecked() ? u'1' : u'0') + (ChkEmail->isChecked() ? u'1' : u'0');
    WriteConfigKey(u"Auto"_s, rules);
    if (ChkEmail->isChecked())
        WriteConfigKey(u"ToEmail"_s, txtEmail->text());
    ConfigIni.Auto = rules;
    ConfigIni.ToEmail = txtEmail->text();
}

void frmAuto::cmdApply_Click()
{
    ApplicaRegole();
    cmdApply->setEnabled(false);
}

void frmAuto::cmdOK_Click()
{
    ApplicaRegole();
    accept();
}

void frmAuto::cmdCancel_Click()
{
    reject();
}
