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
    const auto shown = fileValues();
    m_shown = QHash<QString, QString>(shown.cbegin(), shown.cend());
}

QList<std::pair<QString, QString>> SendoraOptions::fileValues() const
{
    const auto flag = [](const QCheckBox *box) { return box->isChecked() ? u"Y"_s : QString(); };
    return {
        {u"Name"_s, txtUserID->text()},
        {u"Company"_s, txtCompany->text()},
        {u"Fax"_s, txtNumberFax->text()},
        {u"Voice"_s, txtTel->text()},
        {u"Retries"_s, txtRetries->text()},
        {u"DelayRetries"_s, txtDelayRetries->text()},
        {u"Resolution"_s, chkResolution->isChecked() ? u"1"_s : u"0"_s},
        {u"AbilitaMail"_s, chkMail->isChecked() ? u"1"_s : u"0"_s},
        {u"Log"_s, flag(ChkLog)},
        {u"SalvaRicevuti"_s, flag(ChkSaveRx)},
        {u"RubricaCondivisa"_s, flag(ChkRubCond)},
        {u"NoFormInvio"_s, flag(chkNoFormInvio)},
        {u"TrayIconTX"_s, flag(chkTrayIconTX)},
    };
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
    // Only what the user changed since the dialog showed it is written: a key the fax client saved
    // meanwhile (its dialog shares this file) keeps its value.
    auto write = [this, &path, &lockedMessage](const QString &key, const QString &value) {
        if (m_shown.value(key) == value)
            return true;
        if (ProfileFile::writeString(path, QString::fromUtf16(ConfigSection), key, value)) {
            m_shown.insert(key, value);
            return true;
        }
        if (ProfileFile::lockedByOther(path))
            return lockedMessage(), false;
        Err().Raise(75, u"Darezi.ini"_s,
                    u"Impossibile scrivere %1 in %2: %3."_s.arg(key, path, ProfileFile::lastWriteFailure()));
        ReportError(u"SaveServerOptions"_s);
        Err().Clear();
        return false;
    };
    for (const auto &[key, value] : fileValues()) {
        if (key == u"NoFormInvio"_s)
            break; // written last, after the send window took the new sender fields
        if (!write(key, value))
            return false;
    }
    ConfigIni.Log = ChkLog->isChecked() ? u"Y"_s : QString();
    G.SalvaRicevuti = ChkSaveRx->isChecked() ? u"Y"_s : QString();
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
