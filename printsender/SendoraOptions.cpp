#include "SendoraOptions.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "ProfileFile.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "SendoraConfig.h"
#include "clsLog.h"
#include "frmPrint.h"

#include <QCheckBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace Sendora;

SendoraOptions::SendoraOptions(frmPrint *sendWindow, QWidget *parent)
    : QDialog(parent), m_sendWindow(sendWindow)
{
    setObjectName(u"frmOptions"_s);
    setWindowTitle(u"Opzioni"_s);
    setWindowIcon(ProgramIcon());
    auto line = [this](const QString &name) {
        auto *b = new QLineEdit(this);
        b->setObjectName(name);
        connect(b, &QLineEdit::textEdited, this, [this] { cmdApply->setEnabled(true); });
        return b;
    };
    auto check = [this](const QString &name, const QString &caption) {
        auto *c = new QCheckBox(caption, this);
        c->setObjectName(name);
        connect(c, &QCheckBox::clicked, this, [this] { cmdApply->setEnabled(true); });
        return c;
    };
    auto button = [this](const QString &name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    cmdApply = button(u"cmdApply"_s, u"&Applica"_s);
    cmdOK = button(u"cmdOK"_s, u"OK"_s);
    cmdCancel = button(u"cmdCancel"_s, u"Annulla"_s);
    txtUserID = line(u"txtUserID"_s);
    txtCompany = line(u"txtCompany"_s);
    txtNumberFax = line(u"txtNumberFax"_s);
    txtTel = line(u"txtTel"_s);
    txtRetries = line(u"txtRetries"_s);
    txtDelayRetries = line(u"txtDelayRetries"_s);
    chkResolution = check(u"chkResolution"_s, u"Alta Risoluzione"_s);
    chkMail = check(u"chkMail"_s, u"Abilitazione mail"_s);
    ChkSaveRx = check(u"ChkSaveRx"_s, u"Abilita Salva nei ricevuti"_s);
    ChkRubCond = check(u"ChkRubCond"_s, u"Utilizza Rubrica Condivisa"_s);
    ChkLog = check(u"ChkLog"_s, u"Log Attivo"_s);
    chkNoFormInvio = check(u"chkNoFormInvio"_s, u"Non visualizzare finestra stato avanzamento invio fax."_s);
    chkTrayIconTX = check(u"chkTrayIconTX"_s, u"Visualizza TrayIcon all'invio di un fax."_s);
    ChkLive = check(u"ChkLive"_s, u"Lancia Quorin Live"_s);
    ChkLive->setEnabled(false); // the tray launcher's switch is the fax client's to store

    auto *form = new QFormLayout;
    form->addRow(u"Nome Utente:"_s, txtUserID);
    form->addRow(u"Azienda:"_s, txtCompany);
    form->addRow(u"Numero Fax:"_s, txtNumberFax);
    form->addRow(u"Numero di Telefono:"_s, txtTel);
    form->addRow(u"Numero tentativi reinvio:"_s, txtRetries);
    form->addRow(u"Ritardo (s):"_s, txtDelayRetries);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    for (QCheckBox *c :
         {chkResolution, chkMail, ChkSaveRx, ChkRubCond, ChkLog, chkNoFormInvio, chkTrayIconTX, ChkLive})
        layout->addWidget(c);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdApply);
    layout->addLayout(buttons);

    // A save that failed keeps the dialog open with what was typed, so the user can try again.
    connect(cmdOK, &QPushButton::clicked, this, [this] {
        if (SaveServerOptions())
            accept();
    });
    connect(cmdApply, &QPushButton::clicked, this, [this] {
        if (SaveServerOptions())
            cmdApply->setEnabled(false);
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    LocalizeForm(this);
    LoadServerOptions();
    cmdApply->setEnabled(false);
}

void SendoraOptions::LoadServerOptions()
{
    txtUserID->setText(ConfigIni.Name);
    txtCompany->setText(ConfigIni.Company);
    txtNumberFax->setText(ConfigIni.Fax);
    txtTel->setText(ConfigIni.Voice);
    txtRetries->setText(G.Retries);
    txtDelayRetries->setText(G.DelayRetries);
    chkResolution->setChecked(ConfigIni.Resolution != 0);
    chkMail->setChecked(ConfigIni.AbilitaMail != 0);
    ChkSaveRx->setChecked(IsSettingOn(G.SalvaRicevuti));
    ChkRubCond->setChecked(ConfigIni.RubricaCondivisa);
    ChkLog->setChecked(IsSettingOn(ConfigIni.Log));
    chkNoFormInvio->setChecked(IsSettingOn(ConfigIni.NoFormInvio));
    chkTrayIconTX->setChecked(IsSettingOn(ConfigIni.TrayIconTX));
}

bool SendoraOptions::SaveServerOptions()
{
    const QString path = ConfigIniPath();
    auto lockedMessage = [this, &path] {
        Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                        u"Le opzioni non sono state salvate: il file delle impostazioni %1 è bloccato da un altro "
                        u"programma. Riprovare tra qualche istante."_s.arg(QDir::toNativeSeparators(path)));
    };
    // Told at once, not after each key has waited for the lock in vain.
    if (ProfileFile::lockedByOther(path)) {
        lockedMessage();
        return false;
    }
    auto write = [&path, &lockedMessage](const QString &key, const QString &value) {
        if (ProfileFile::writeString(path, QString::fromUtf16(ConfigSection), key, value))
            return true;
        if (ProfileFile::lockedByOther(path))
            return lockedMessage(), false;
        Err().Raise(75, u"Darezi.ini"_s, u"Impossibile scrivere "_s + key + u" in "_s + path);
        ReportError(u"SaveServerOptions"_s);
        Err().Clear();
        return false;
    };
    const QList<std::pair<QString, QLineEdit *>> texts = {
        {u"Name"_s, txtUserID}, {u"Company"_s, txtCompany}, {u"Fax"_s, txtNumberFax},
        {u"Voice"_s, txtTel},   {u"Retries"_s, txtRetries}, {u"DelayRetries"_s, txtDelayRetries}};
    for (const auto &[key, box] : texts) {
        if (!write(key, box->text()))
            return false;
    }
    if (!write(u"Resolution"_s, chkResolution->isChecked() ? u"1"_s : u"0"_s) ||
        !write(u"AbilitaMail"_s, chkMail->isChecked() ? u"1"_s : u"0"_s))
        return false;
    ConfigIni.Log = ChkLog->isChecked() ? u"Y"_s : QString();
    if (!write(u"Log"_s, ConfigIni.Log))
        return false;
    G.SalvaRicevuti = ChkSaveRx->isChecked() ? u"Y"_s : QString();
    if (!write(u"SalvaRicevuti"_s, G.SalvaRicevuti))
        return false;
    if (ConfigIni.Log == u"Y") {
        AppLog().CloseLog();
        AppLog().setFileName(ProgramFolder() + u"PrinterLog.txt"_s);
        AppLog().setLogActive(true);
        AppLog().WriteLine();
    } else {
        AppLog().setLogActive(false);
    }
    G.RubricaCondivisa = ChkRubCond->isChecked() ? u"Y"_s : QString();
    ConfigIni.RubricaCondivisa = ChkRubCond->isChecked();
    if (!write(u"RubricaCondivisa"_s, G.RubricaCondivisa))
        return false;
    ConfigIni.Name = txtUserID->text();
    ConfigIni.Company = txtCompany->text();
    ConfigIni.Fax = txtNumberFax->text();
    ConfigIni.Voice = txtTel->text();
    G.Retries = txtRetries->text();
    G.DelayRetries = txtDelayRetries->text();
    ConfigIni.Resolution = chkResolution->isChecked() ? 1 : 0;
    ConfigIni.AbilitaMail = chkMail->isChecked() ? 1 : 0;
    if (m_sendWindow)
        m_sendWindow->refreshFromSettings();
    ConfigIni.NoFormInvio = chkNoFormInvio->isChecked() ? u"Y"_s : QString();
    ConfigIni.TrayIconTX = chkTrayIconTX->isChecked() ? u"Y"_s : QString();
    if (!write(u"NoFormInvio"_s, ConfigIni.NoFormInvio))
        return false;
    return write(u"TrayIconTX"_s, ConfigIni.TrayIconTX);
}
